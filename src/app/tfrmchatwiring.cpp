// TfrmChat's rooms, member commands and private messages: the widgets
// forward to the session's handlers and show what they report.
#include "app/memberbuttons.h"
#include "app/roombar.h"
#include "app/tfrmchat.h"
#include "app/tfrmpm.h"
#include "app/webbar.h"
#include "settings/widgettools.h"

#include <QAction>
#include <QLabel>
#include <QMenu>

namespace hchat {

void TfrmChat::wireChatCommands()
{
    Rooms &rooms = m_session.roomHandling();

    // "Show 2nd Room" goes through the rooms handling, which announces it;
    // the widgets follow what it did.
    QAction *showSecond = toggle(&ChatSettings::showSecond);
    disconnect(showSecond, &QAction::toggled, this, nullptr);
    connect(showSecond, &QAction::toggled, this,
            [this](bool on) { m_session.roomHandling().setShowSecond(on); });
    connect(&rooms, &Rooms::roomListChanged, this, &TfrmChat::updateRoomHeadings);
    connect(&rooms, &Rooms::roomsSelected, this, [this] { applyLayout(); });
    connect(&rooms, &Rooms::roomApplied, this, [this](int, const QString &caption) {
        lblCaption->setText(caption);
        webBar->lblWebCaption->setText(caption);
        applyWebSlim();
    });
    roomBar->fillRoomChoosers();
    memberButtons->updateMemberButtons();

    // Private messages: one window per correspondent; past a few, new
    // conversations wait for the user to open them.
    TfrmPM::route(m_session, this);
    connect(&m_session.memberCommands(), &MemberCommands::privateMessageRequested, this,
            [this](const QString &nick, const QString &id) { TfrmPM::Open(m_session, nick, id, this); });
    auto *openWaiting = named<QAction>("mnuOpenWaitingPM", tr("Open Waiting Private Message"), this);
    openWaiting->setShortcut(QKeySequence(PrivateMessages::openWaitingShortcut()));
    openWaiting->setEnabled(false);
    connect(openWaiting, &QAction::triggered, this, [this] { TfrmPM::OpenWaiting(m_session, this); });
    connect(&m_session.privateMessages(), &PrivateMessages::waitingChanged, this, [openWaiting](int count) {
        openWaiting->setEnabled(count > 0);
        openWaiting->setText(count > 0 ? tr("Open Waiting Private Message (%1)").arg(count)
                                       : tr("Open Waiting Private Message"));
    });
    addAction(openWaiting); // the shortcut works wherever the focus is in the window
    mnuPUChat->insertAction(mnuProperties, openWaiting);
}

} // namespace hchat
