#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

namespace hchat {

class ChatSession;
struct RoomRecord;

/// The rooms handling: keeps the room list from room records, changes the
/// first and the watched second room on the user's request and announces
/// every change to the server (presence and an entry request, kind 25),
/// applies the first room's record to the window, and goes back when the
/// server refuses entry.
///
/// Changes asked for while the room-change hold-off runs are held, the latest
/// wins, and carried out at the tick the hold-off ends; so quick clicks never
/// flood the server and no choice is lost. Room changes coming back from the
/// server with the own member record are ignored during the hold-off: they
/// describe the state before our last announcement.
class Rooms : public QObject
{
    Q_OBJECT
    Q_MOC_INCLUDE("protocol/records.h")
public:
    /// Room numbers above this are never stored (room records are few and small).
    static constexpr int maxRoom = 999;
    /// Ticks the hold-off lasts after presence (the link sets it).
    static constexpr int holdOffTicks = 12;
    /// Starts the hold-off: presence went out.
    void holdOff(int ticks) { m_holdOff = ticks; }
    /// Ticks left of the hold-off.
    int holdOffLeft() const { return m_holdOff; }

    explicit Rooms(ChatSession &session, QObject *parent = nullptr);

    // Records from the server.
    /// Kind 7: stores the room record (without `R`) under its room number and
    /// applies it when it is the first room's.
    void onRoomRecord(const QString &record);
    /// Kind 25: entry refused. Shows the notice and goes back.
    void onRoomAnswer(const QString &record);
    /// Kind 15: one member of a room's list. The server lists a room only to
    /// whoever it let in, so the first room's welcome waits for its list: the
    /// room's record alone (the room list) may come before a refusal.
    void onMemberListed(const QString &record);
    /// Kind 28: the server's answer to an administrator password. Granted,
    /// it carries the room's whole record: the room list keeps it without
    /// the passwords and adminGranted() hands it on whole.
    void onAdminAnswer(const QString &record);

    // Room administration (the settings dialog's room tab).
    /// Asks the server whether `password` administers the room (kind 28).
    void requestAdmin(int room, const QString &password);
    /// Asks for the room's bulletin (kind 20); it arrives as the session's
    /// bulletinArrived().
    void requestBulletin(int room);
    /// A room record written by its administrator (its `#` is set here):
    /// kept in the room list without its passwords, applied at once when it
    /// is the first room's, and sent as kind 7.
    void writeRoom(int room, const RoomRecord &record);
    /// Sends a bulletin: the outbox goes out first (kind 0), then kind 9.
    void writeBulletin(int room, const QString &text);
    /// Staff: resets the room on the server (kind 21).
    void resetRoom(int room);

    // User actions (`cmbRoom1`, `cmbRoom2`, `btnSwap`, "Show 2nd Room").
    void setFirstRoom(int room);
    void setSecondRoom(int room);
    void swap();
    void setShowSecond(bool on);

    /// The own member record named another first room (the roster's seam).
    void followOwnRoom(int room);
    /// The own member record named the watched room: selected, not announced.
    void followOwnWatched(int watched);

    /// Announces the current rooms (start-up, re-announce): presence and kind
    /// 25 for the first room and, when watched, for the second; then asks for
    /// the room list, which may have changed while we were away.
    void announce();
    /// "Room Usage" (kind 17): the server answers with a line per room in use.
    void requestRoomUsage();
    /// Asks the server to set up the room list (kind 27) when room 0 is still
    /// "Vacant", as unlocking the room settings does. True when it was sent.
    bool requestRoomSetup();

    /// The stored room list is loaded: the chosen rooms are kept within it.
    void listLoaded();

    /// One chat-timer tick: lowers the hold-off and carries out a held
    /// change once it is over.
    void tick();

    // State for the window.
    int firstRoom() const;
    int secondRoom() const; ///< `Room2`, also while not watched
    bool showSecond() const;
    bool hasHeldChange() const { return m_held; }
    /// The chooser texts: one per room number from 0, "number name".
    QStringList chooserItems() const;
    /// "number name", or the number alone for a room without a name.
    QString roomLabel(int room) const;
    /// The user may administer the room: staff, or a typed administrator
    /// password (the pass list) that equals the record's when the record
    /// carries one. The server has the last word on every admin record.
    bool isAdministrator(int room) const;
    /// What the web button opens: the room's address (`U`) when it is an
    /// http or https address, otherwise the configured `Web` address when
    /// that is one, otherwise nothing. A room's settings come from whoever
    /// administers it, so local files and scripts are never opened.
    static QString webButtonAddress(const QString &roomUrl, const QString &configured);

signals:
    /// The room list changed: refill the choosers.
    void roomListChanged();
    /// First room, second room or the watched flag changed (carried out):
    /// select the choosers, show or hide the second transcript.
    void roomsSelected(int first, int second, bool showSecond);
    /// The first room changed: the roster starts empty for it.
    void firstRoomChanged(int room);
    /// A room record was applied to the window: the caption line, the web
    /// button's address and the room icon.
    void roomApplied(int room, const QString &caption, const QString &webUrl, int icon);
    /// The server accepted an administrator password (or our staff rights)
    /// for the room: its whole record, passwords included.
    void adminGranted(int room, const RoomRecord &record);
    /// The server refused the administrator password for the room.
    void adminRefused(int room);

private:
    struct Choice {
        int first = 0;
        int second = 0;
        bool show = false;
    };
    void request(const Choice &choice);
    void carryOut(const Choice &choice, bool presence = true);
    void sendEntry(int room, bool watched);
    void applyRoom(int room);
    /// The room list's record of a room; empty when it has none.
    RoomRecord roomRecord(int room) const;
    /// Puts an entry in the room list and applies it to the first room.
    void keep(int room, const QString &entry);
    void showWelcome(int room);
    void notice(const QString &text);
    Choice current() const;

    ChatSession &m_session;
    int m_holdOff = 0; ///< ticks in which the own member record can't move us
    bool m_held = false;
    Choice m_heldChoice;
    int m_previousFirst = -1;
    int m_welcomeRoom = -1; ///< entered, its welcome not shown yet
};

} // namespace hchat
