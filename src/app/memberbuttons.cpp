#include "app/memberbuttons.h"

#include "chat/chatsession.h"
#include "settings/widgettools.h"

#include <QGridLayout>
#include <QInputDialog>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>

#include <tuple>

namespace hchat {

MemberButtons::MemberButtons(ChatSession &session, QListView *members, QWidget *parent)
    : QWidget(parent), m_session(session), lstMembers(members)
{
    setObjectName(QStringLiteral("pnlMemberButtons"));
    auto *buttons = flushLayout<QGridLayout>(this, 2);
    using C = MemberCommands::Command;
    const std::tuple<const char *, QString, C> items[] = {
        {"btnPage", tr("Page"), C::Page},
        {"btnPM", tr("Private Message"), C::PrivateMessage},
        {"btnProfile", tr("User Profile"), C::UserProfile},
        {"btnBoot", tr("Boot"), C::Boot},
        {"btnIgnore", tr("Ignore"), C::Ignore},
        {"btnRefresh", tr("Refresh Members List"), C::RefreshMembers},
        {"btnWhere", tr("Where Is User"), C::WhereIs},
        {"btnPageRoom", tr("Page Room"), C::PageRoom},
        {"btnGlobal", tr("Global Message"), C::GlobalMessage},
        {"btnStats", tr("Statistics Report"), C::StatisticsReport}};
    for (const auto &[name, caption, command] : items) {
        auto *b = named<QPushButton>(name, caption, this);
        // The members pane keeps the width the user gave it when the buttons
        // appear: a caption too long for it is cut, and its tip says it whole.
        b->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
        b->setMinimumWidth(0);
        b->setToolTip(caption);
        buttons->addWidget(b, int(m_buttons.size()) / 2, int(m_buttons.size()) % 2);
        m_buttons.emplace_back(b, command);
        connect(b, &QPushButton::clicked, this, [this, c = command] { runMemberCommand(c); });
    }
    setVisible(false);
    connect(lstMembers, &QListView::clicked, this, [this] { updateMemberButtons(); });
    connect(lstMembers, &QListView::activated, this, [this] { updateMemberButtons(); });
    connect(&m_session.roomHandling(), &Rooms::firstRoomChanged, this, [this] { updateMemberButtons(); });
}

MemberCommands::Member MemberButtons::selectedMember() const
{
    const QModelIndex index = lstMembers ? lstMembers->currentIndex() : QModelIndex();
    if (!index.isValid())
        return {};
    return {m_session.memberActions().nickAt(index.row()), m_session.memberActions().idAt(index.row())};
}

QPushButton *MemberButtons::button(MemberCommands::Command command) const
{
    for (const auto &[button, c] : m_buttons)
        if (c == command)
            return button;
    return nullptr;
}

void MemberButtons::updateMemberButtons()
{
    const MemberCommands::Member member = selectedMember();
    const MemberCommands &commands = m_session.memberCommands();
    using C = MemberCommands::Command;
    for (const auto &[button, command] : m_buttons)
        button->setEnabled(commands.available(command, member));
    // Commands of staff and administrators are not offered to everybody.
    button(C::Boot)->setVisible(m_session.roomHandling().isAdministrator(m_session.settings().room));
    button(C::GlobalMessage)->setVisible(m_session.staffMode());
    button(C::StatisticsReport)->setVisible(m_session.staffMode());
    layMemberButtons();
    button(C::Ignore)->setText(commands.isIgnored(member.id) && !member.id.isEmpty() ? tr("Accept")
                                                                                     : tr("Ignore"));
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
    auto *grid = static_cast<QGridLayout *>(layout()); // made so in the constructor
    int widest = 0;
    for (const auto &[button, command] : m_buttons)
        widest = qMax(widest, button->isHidden() ? 0 : button->sizeHint().width());
    const int columns = parentWidget()->width() >= 2 * widest + grid->horizontalSpacing() ? 2 : 1;
    int n = 0;
    for (const auto &[button, command] : m_buttons) {
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
    bool go = true;
    if (command == C::GlobalMessage) {
        text = QInputDialog::getMultiLineText(window(), tr("Global Message"),
                                              tr("Message to everybody in the chat:"), QString(), &go);
    } else if (command == C::Boot) {
        go = QMessageBox::question(window(), tr("Boot"), tr("Put %1 out of this room?").arg(member.nick)) ==
             QMessageBox::Yes;
    }
    if (go) {
        m_session.memberCommands().run(command, member, text);
        updateMemberButtons();
    }
    emit done();
}

} // namespace hchat
