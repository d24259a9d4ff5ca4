#pragma once

#include "chat/membercommands.h"

#include <QWidget>

#include <utility>
#include <vector>

class QListView;
class QPushButton;

namespace hchat {

class ChatSession;

/// The member buttons under the members list (`pnlMemberButtons`): the member
/// commands for the member chosen in `lstMembers`, shown while the list asks
/// for them. The commands run through the session's MemberCommands.
class MemberButtons : public QWidget
{
    Q_OBJECT
public:
    MemberButtons(ChatSession &session, QListView *lstMembers, QWidget *parent);

    /// Enables, shows and names the buttons for the chosen member and the
    /// user's rights.
    void updateMemberButtons();
    /// Shown (laid out first) or hidden, as the members list asks.
    void showButtons(bool visible);

signals:
    /// A command ran or was called off: the focus goes back to the entry.
    void done();

private:
    void layMemberButtons();
    QPushButton *button(MemberCommands::Command command) const;
    void runMemberCommand(MemberCommands::Command command);
    MemberCommands::Member selectedMember() const;

    ChatSession &m_session;
    QListView *lstMembers = nullptr;
    std::vector<std::pair<QPushButton *, MemberCommands::Command>> m_buttons; ///< in their order
};

} // namespace hchat
