#pragma once

#include <QObject>
#include <QString>

namespace hchat {

class ChatSession;

/// The member commands of the members menu and buttons. The records they
/// send are defined here and nowhere else (see docs/protocol.md); the window
/// asks `available()` to show or enable a command and calls `run()`.
class MemberCommands : public QObject
{
    Q_OBJECT
public:
    enum class Command {
        Page,
        PrivateMessage,
        UserProfile,
        Boot,
        Ignore,
        RefreshMembers,
        WhereIs,
        PageRoom,
        GlobalMessage,
        StatisticsReport,
    };

    /// The member a command addresses: the nick and full ID of the selection.
    struct Member {
        QString nick;
        QString id;
    };

    /// Quiet period set by a refresh: the list that comes back is not announced.
    static constexpr int refreshQuietTicks = 10;

    explicit MemberCommands(ChatSession &session, QObject *parent = nullptr);

    /// The fields (after `R`) of a command's record. `text` is the message of
    /// Private Message and Global Message as typed (it goes through
    /// AddText), `adminPassword` goes with Boot.
    static QString recordFor(Command command, const Member &member, int room, const QString &text = {},
                             const QString &adminPassword = {});

    /// Whether the command may be offered now: Boot to the room's
    /// administrator or staff, Global Message and Statistics Report to staff,
    /// member commands only with a member that is not the user.
    bool available(Command command, const Member &selected) const;

    /// Carries out a command: sends its record, or toggles Ignore; Private
    /// Message without text asks the window to open the private-message
    /// window. False when the command is not available or has nothing to send.
    bool run(Command command, const Member &member = {}, const QString &text = {});

    /// Adds the member's 8-character prefix to the ignore list, or removes
    /// it; gives the roster entry icon 30 and shows 555 or 556 after the nick.
    /// True when the member is ignored afterwards.
    bool toggleIgnore(const Member &member);
    bool isIgnored(const QString &id) const;

    /// Kind 6 received: a member's profile, shown in the first transcript.
    void onProfile(const QString &record);
    /// Kind 13 received: where a member is, shown in the first transcript.
    void onWhereIs(const QString &record);

signals:
    /// Private Message without text: open the window for this correspondent.
    void privateMessageRequested(const QString &nick, const QString &id);
    /// A member was ignored or accepted again (the roster icon already set).
    void ignoreChanged(const QString &nick, const QString &id, bool ignored);

private:
    void notice(const QString &text);

    ChatSession &m_session;
};

} // namespace hchat
