#pragma once

#include "chat/iddirectory.h"
#include "chat/memberlist.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

namespace hchat {

class ChatSession;

/// The members of the first room (and those watching it as their second
/// room), kept current from member records, and the directory of every
/// member's ID seen. The window shows `members()` through RosterModel and
/// `lblCount()` in its label.
class Roster : public QObject
{
    Q_OBJECT
public:
    /// directory: the session's "nick=ID" lines, which the roster keeps.
    Roster(ChatSession &session, QStringList &directory, QObject *parent = nullptr);

    /// One member record (kind 5 or 15); an empty record is ignored.
    void DoUser(const QString &record);

    /// Row of the entry with this nick and the ID's last character; -1 if none.
    int MemberIndex(const QString &nick, const QString &id) const;
    /// The ID of a nick from the directory: with a tag (character code) the
    /// first line whose ID ends in that character, without (0) the first line
    /// of the nick. Empty when unknown.
    QString GetID(const QString &nick, int tag = 0) const;
    /// The ID of the entry at `row`, from the directory.
    QString idAt(int row) const;

    /// Code of the last character of an ID; 0 for an empty ID.
    static int TagOf(const QString &id);

    const MemberList &members() const { return m_list; }
    MemberList &members() { return m_list; }
    int count() const { return m_list.count(); }
    const RosterEntry &entry(int row) const { return m_list.at(row); }

    /// Gives an entry another icon (Ignore uses 30); keeps the order.
    void setEntryIcon(int row, int icon);
    /// Empties the list (a new first room); the directory stays.
    void clear();

    /// Text of `lblCount`: the entry count and " users", or a member's ID
    /// while staff look at one.
    QString lblCount() const { return m_label; }
    void setLblCount(const QString &text);

    /// One chat-timer tick: the new-arrival countdown; at 1 every new-arrival
    /// state (13) is cleared.
    void tick();
    /// Ticks until the new-arrival states are cleared.
    int newArrivalCountdown() const { return m_newArrivalCountdown; }

    /// Seams of the rooms handling, called for the user's own record.
    /// selectRoom1 selects the room in `cmbRoom1` and runs its room change; it
    /// is called only when the room differs from the first room. selectRoom2
    /// selects the watched room in `cmbRoom2` without running its change.
    /// Neither announces anything back: during the room-change hold-off the
    /// rooms handling ignores them, since the record describes the state
    /// before our last announcement.
    std::function<void(int room)> selectRoom1;
    std::function<void(int watched)> selectRoom2;

    static constexpr int IgnoredIcon = 30;
    static constexpr int WatchingState = 12;
    static constexpr int NewArrivalState = 13;

signals:
    void lblCountChanged(const QString &text);

private:
    void updateCount();
    void notice(const QString &text);

    ChatSession &m_session;
    MemberList m_list;
    IdDirectory m_directory;
    QString m_label;
    int m_newArrivalCountdown = 0;
    /// Members whose departure said they only took a new nick: their next
    /// arrival is no news.
    QStringList m_renamed;
};

} // namespace hchat
