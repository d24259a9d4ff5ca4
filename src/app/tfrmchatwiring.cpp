// TfrmChat's rooms, text entry, member commands and private messages: the
// widgets forward to the session's handlers and show what they report.
#include "app/tfrmchat.h"
#include "app/tfrmpm.h"
#include "app/webbar.h"

#include <QAction>
#include <QComboBox>
#include <QGridLayout>
#include <QInputDialog>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QToolButton>

namespace hchat {

MemberCommands::Member TfrmChat::selectedMember() const
{
    const QModelIndex index = lstMembers ? lstMembers->currentIndex() : QModelIndex();
    if (!index.isValid())
        return {};
    return {m_session.memberActions.nickAt(index.row()), m_session.memberActions.idAt(index.row())};
}

void TfrmChat::fillRoomChoosers()
{
    const QStringList items = m_session.roomHandling.chooserItems();
    for (QComboBox *box : {cmbRoom1, cmbRoom2}) {
        const QSignalBlocker block(box);
        box->clear();
        box->addItems(items);
    }
    selectRoomChoosers();
}

void TfrmChat::selectRoomChoosers()
{
    const ChatSettings &s = m_session.settings;
    if (GetIndex(s.room) >= cmbRoom1->count() || GetIndex(s.room2) >= cmbRoom2->count()) {
        fillRoomChoosers(); // a room beyond the list: give it an item first
        return;
    }
    const QSignalBlocker b1(cmbRoom1), b2(cmbRoom2);
    cmbRoom1->setCurrentIndex(GetIndex(s.room));
    cmbRoom2->setCurrentIndex(GetIndex(s.room2));
}

std::vector<std::pair<QPushButton *, MemberCommands::Command>> TfrmChat::memberButtons() const
{
    using C = MemberCommands::Command;
    return {{btnPage, C::Page},
            {btnPM, C::PrivateMessage},
            {btnProfile, C::UserProfile},
            {btnBoot, C::Boot},
            {btnIgnore, C::Ignore},
            {btnRefresh, C::RefreshMembers},
            {btnWhere, C::WhereIs},
            {btnPageRoom, C::PageRoom},
            {btnGlobal, C::GlobalMessage},
            {btnStats, C::StatisticsReport}};
}

void TfrmChat::updateMemberButtons()
{
    const MemberCommands::Member member = selectedMember();
    const MemberCommands &commands = m_session.memberCommands;
    const auto buttons = memberButtons();
    for (const auto &[button, command] : buttons)
        button->setEnabled(commands.available(command, member));
    // Commands of staff and administrators are not offered to everybody.
    btnBoot->setVisible(m_session.roomHandling.isAdministrator(m_session.settings.room));
    btnGlobal->setVisible(m_session.staffMode());
    btnStats->setVisible(m_session.staffMode());
    layMemberButtons();
    btnIgnore->setText(commands.isIgnored(member.id) && !member.id.isEmpty() ? tr("Accept") : tr("Ignore"));
}

void TfrmChat::layMemberButtons()
{
    // Without holes, whatever is hidden; two to a row where the members pane
    // is wide enough for their captions, else one.
    auto *grid = qobject_cast<QGridLayout *>(pnlMemberButtons->layout());
    if (!grid)
        return;
    int widest = 0;
    for (const auto &[button, command] : memberButtons())
        widest = qMax(widest, button->isHidden() ? 0 : button->sizeHint().width());
    const int columns = pnlRight->width() >= 2 * widest + grid->horizontalSpacing() ? 2 : 1;
    int n = 0;
    for (const auto &[button, command] : memberButtons()) {
        grid->removeWidget(button);
        if (!button->isHidden()) {
            grid->addWidget(button, n / columns, n % columns);
            ++n;
        }
    }
}

void TfrmChat::runMemberCommand(MemberCommands::Command command)
{
    using C = MemberCommands::Command;
    const MemberCommands::Member member = selectedMember();
    QString text;
    if (command == C::GlobalMessage) {
        bool ok = false;
        text = QInputDialog::getMultiLineText(this, tr("Global Message"),
                                              tr("Message to everybody in the chat:"), QString(), &ok);
        if (!ok) {
            backToEntry();
            return;
        }
    } else if (command == C::Boot) {
        if (QMessageBox::question(this, tr("Boot"), tr("Put %1 out of this room?").arg(member.nick)) !=
            QMessageBox::Yes) {
            backToEntry();
            return;
        }
    }
    m_session.memberCommands.run(command, member, text);
    updateMemberButtons();
    backToEntry();
}

void TfrmChat::wireChatCommands()
{
    Rooms &rooms = m_session.roomHandling;

    // Room choosers, swap and "Show 2nd Room": every change goes through the
    // rooms handling, which announces it; the widgets follow what it did.
    connect(cmbRoom1, &QComboBox::activated, this, [this](int index) {
        m_session.roomHandling.setFirstRoom(index);
        backToEntry();
    });
    connect(cmbRoom2, &QComboBox::activated, this, [this](int index) {
        m_session.roomHandling.setSecondRoom(index);
        backToEntry();
    });
    connect(btnSwap, &QToolButton::clicked, this, [this] {
        m_session.roomHandling.swap();
        backToEntry();
    });
    disconnect(mnuPUChat2nd, &QAction::toggled, this, nullptr);
    connect(mnuPUChat2nd, &QAction::toggled, this,
            [this](bool on) { m_session.roomHandling.setShowSecond(on); });
    connect(&rooms, &Rooms::roomListChanged, this, &TfrmChat::fillRoomChoosers);
    connect(&rooms, &Rooms::roomListChanged, this, &TfrmChat::updateRoomHeadings);
    connect(&rooms, &Rooms::roomsSelected, this, [this] {
        selectRoomChoosers();
        applyLayout();
    });
    connect(&rooms, &Rooms::firstRoomChanged, this, [this] { updateMemberButtons(); });
    connect(&rooms, &Rooms::roomApplied, this,
            [this](int, const QString &caption, const QString &webUrl, int icon) {
                lblCaption->setText(caption);
                webBar->setCaption(caption);
                applyWebSlim();
                // The web button and the room icon are read where they are used.
                btnWeb->setProperty("roomUrl", webUrl);
                btnWeb->setToolTip(Rooms::webButtonAddress(webUrl, m_session.settings.web));
                setProperty("roomIcon", icon);
            });
    fillRoomChoosers();

    // The text entry: Enter sends, Shift+Enter breaks the line, Up/Down recall.
    m_session.textEntry.attach(
        memText, [this] { return memText->toPlainText(); },
        [this](const QString &text) {
            memText->setPlainText(text);
            memText->moveCursor(QTextCursor::End);
        });

    // Member buttons.
    using C = MemberCommands::Command;
    const auto buttons = memberButtons();
    for (const auto &[button, command] : buttons) {
        const C c = command;
        connect(button, &QPushButton::clicked, this, [this, c] { runMemberCommand(c); });
    }
    connect(lstMembers, &QListView::clicked, this, [this] { updateMemberButtons(); });
    connect(lstMembers, &QListView::activated, this, [this] { updateMemberButtons(); });
    updateMemberButtons();

    // Private messages: one window per correspondent; past a few, new
    // conversations wait for the user to open them.
    TfrmPM::route(m_session, this);
    connect(&m_session.memberCommands, &MemberCommands::privateMessageRequested, this,
            [this](const QString &nick, const QString &id) { TfrmPM::Open(m_session, nick, id, this); });
    mnuOpenWaitingPM = new QAction(tr("Open Waiting Private Message"), this);
    mnuOpenWaitingPM->setObjectName(QStringLiteral("mnuOpenWaitingPM"));
    mnuOpenWaitingPM->setShortcut(QKeySequence(PrivateMessages::openWaitingShortcut()));
    mnuOpenWaitingPM->setEnabled(false);
    connect(mnuOpenWaitingPM, &QAction::triggered, this, [this] { TfrmPM::OpenWaiting(m_session, this); });
    connect(&m_session.privateMessages, &PrivateMessages::waitingChanged, this, [this](int count) {
        mnuOpenWaitingPM->setEnabled(count > 0);
        mnuOpenWaitingPM->setText(count > 0 ? tr("Open Waiting Private Message (%1)").arg(count)
                                            : tr("Open Waiting Private Message"));
    });
    addAction(mnuOpenWaitingPM); // the shortcut works wherever the focus is in the window
    mnuPUChat->insertAction(mnuProperties, mnuOpenWaitingPM);
}

} // namespace hchat
