#include "app/memberbuttons.h"

#include "chat/chatsession.h"

#include <QGridLayout>
#include <QInputDialog>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>

namespace hchat {

MemberButtons::MemberButtons(ChatSession &session, QListView *members, QWidget *parent)
    : QWidget(parent), m_session(session), lstMembers(members)
{
    setObjectName(QStringLiteral("pnlMemberButtons"));
    auto *buttons = new QGridLayout(this);
    buttons->setContentsMargins(0, 0, 0, 0);
    buttons->setSpacing(2);
    int n = 0;
    auto memberButton = [&](QPushButton *&b, const char *name, const QString &caption) {
        b = new QPushButton(caption, this);
        b->setObjectName(QLatin1String(name));
        // The members pane keeps the width the user gave it when the buttons
        // appear: a caption too long for it is cut, and its tip says it whole.
        b->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
        b->setMinimumWidth(0);
        b->setToolTip(caption);
        buttons->addWidget(b, n / 2, n % 2);
        ++n;
    };
    memberButton(btnPage, "btnPage", tr("Page"));
    memberButton(btnPM, "btnPM", tr("Private Message"));
    memberButton(btnProfile, "btnProfile", tr("User Profile"));
    memberButton(btnBoot, "btnBoot", tr("Boot"));
    memberButton(btnIgnore, "btnIgnore", tr("Ignore"));
    memberButton(btnRefresh, "btnRefresh", tr("Refresh Members List"));
    memberButton(btnWhere, "btnWhere", tr("Where Is User"));
    memberButton(btnPageRoom, "btnPageRoom", tr("Page Room"));
    memberButton(btnGlobal, "btnGlobal", tr("Global Message"));
    memberButton(btnStats, "btnStats", tr("Statistics Report"));
    setVisible(false);

    using C = MemberCommands::Command;
    const auto all = memberButtons();
    for (const auto &[button, command] : all) {
        const C c = command;
        connect(button, &QPushButton::clicked, this, [this, c] { runMemberCommand(c); });
    }
    connect(lstMembers, &QListView::clicked, this, [this] { updateMemberButtons(); });
    connect(lstMembers, &QListView::activated, this, [this] { updateMemberButtons(); });
    connect(&m_session.roomHandling, &Rooms::firstRoomChanged, this, [this] { updateMemberButtons(); });
}

MemberCommands::Member MemberButtons::selectedMember() const
{
    const QModelIndex index = lstMembers ? lstMembers->currentIndex() : QModelIndex();
    if (!index.isValid())
        return {};
    return {m_session.memberActions.nickAt(index.row()), m_session.memberActions.idAt(index.row())};
}

std::vector<std::pair<QPushButton *, MemberCommands::Command>> MemberButtons::memberButtons() const
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

void MemberButtons::updateMemberButtons()
{
    const MemberCommands::Member member = selectedMember();
    const MemberCommands &commands = m_session.memberCommands;
    const auto buttons = memberButtons();
    for (const auto &[button, command] : buttons)
        button->setEnabled(commands.available(command, member));
    // Commands of staff and administrators are not offered to everybody.
    btnBoot->setVisible(m_session.roomHandling.isAdministrator(m_session.settings.room));
    btnGlobal->setVisible(m_session.staffMode);
    btnStats->setVisible(m_session.staffMode);
    layMemberButtons();
    btnIgnore->setText(commands.isIgnored(member.id) && !member.id.isEmpty() ? tr("Accept") : tr("Ignore"));
}

void MemberButtons::showButtons(bool visible)
{
    if (visible)
        layMemberButtons();
    setVisible(visible);
}

void MemberButtons::layMemberButtons()
{
    // Without holes, whatever is hidden; two to a row where the members pane
    // is wide enough for their captions, else one.
    auto *grid = qobject_cast<QGridLayout *>(layout());
    if (!grid)
        return;
    int widest = 0;
    for (const auto &[button, command] : memberButtons())
        widest = qMax(widest, button->isHidden() ? 0 : button->sizeHint().width());
    const int columns = parentWidget()->width() >= 2 * widest + grid->horizontalSpacing() ? 2 : 1;
    int n = 0;
    for (const auto &[button, command] : memberButtons()) {
        grid->removeWidget(button);
        if (!button->isHidden()) {
            grid->addWidget(button, n / columns, n % columns);
            ++n;
        }
    }
}

void MemberButtons::runMemberCommand(MemberCommands::Command command)
{
    using C = MemberCommands::Command;
    const MemberCommands::Member member = selectedMember();
    QString text;
    if (command == C::GlobalMessage) {
        bool ok = false;
        text = QInputDialog::getMultiLineText(window(), tr("Global Message"),
                                              tr("Message to everybody in the chat:"), QString(), &ok);
        if (!ok) {
            emit done();
            return;
        }
    } else if (command == C::Boot) {
        if (QMessageBox::question(window(), tr("Boot"), tr("Put %1 out of this room?").arg(member.nick)) !=
            QMessageBox::Yes) {
            emit done();
            return;
        }
    }
    m_session.memberCommands.run(command, member, text);
    updateMemberButtons();
    emit done();
}

} // namespace hchat
