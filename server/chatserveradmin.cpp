// Record handlers of ChatServer: proving room administration and staff
// rights (kind 28), and the bound on password guesses.
//
// A member asks with kind 28 whether a password administers a room. The
// room's own administrator password makes the session that room's
// administrator; a staff nick's password (from the staff file) proves the
// session's staff rights. Either holds until the session ends, and only
// for that session: the answer carrying the room's whole record, passwords
// included, goes to it alone. Room 0 is the staff's own.
#include "chatserver.h"

#include "protocol/codec.h"
#include "protocol/field.h"
#include "protocol/recordkind.h"
#include "protocol/records.h"

namespace hchat {

namespace {

size_t guessKey(const QString &subject, const QString &offered)
{
    return qHash(subject + u'\n' + offered, size_t(0x5bd1e995));
}

QString wrongAdminPassword(bool granted, int room)
{
    return granted ? QStringLiteral("That is not your staff password; your staff rights are not confirmed.")
                   : QStringLiteral("The administrator password for room %1 is wrong.").arg(room);
}

} // namespace

ChatServer::Guess ChatServer::weighGuess(Session &s, const QString &offered, const QString &subject,
                                         const std::function<std::optional<bool>()> &right)
{
    if (offered.isEmpty())
        return Guess::Wrong;
    const size_t key = guessKey(subject, offered);
    for (const size_t known : s.wrongGuesses)
        if (known == key)
            return Guess::Wrong;
    if (!m_guesses.allowed(s.guesses, s.peer, m_nowMs))
        return Guess::Blocked;
    const std::optional<bool> verdict = right();
    if (!verdict)
        return Guess::Deferred;
    if (*verdict)
        return Guess::Right;
    ++m_stats.refused;
    m_guesses.failed(s.guesses, s.peer, m_nowMs);
    s.wrongGuesses[s.nextWrongGuess] = key;
    s.nextWrongGuess = quint8((s.nextWrongGuess + 1) % s.wrongGuesses.size());
    return Guess::Wrong;
}

QString ChatServer::tooManyGuesses()
{
    return QStringLiteral("Too many wrong passwords from your address; please try again in a minute.");
}

void ChatServer::revokeRights(int room, bool admin, const Session *keep)
{
    for (auto &[t, other] : m_sessions) {
        if (other.get() == keep)
            continue;
        (admin ? other->adminRooms : other->grantedRooms).removeAll(room);
    }
}

void ChatServer::onAdminCheck(Session &s, const QString &rec, PollContext &)
{
    const std::optional<int> number = RoomStore::roomNumber(GetS(rec, Field::Room));
    if (!number || m_rooms->fields(*number).isEmpty()) {
        notice(s, QStringLiteral("There is no such room."), GetI(rec, Field::RecordNumber));
        return;
    }
    const int room = *number;
    const QString offered = CommandRecord::decode(rec).adminPassword.remove(u'_');
    const QString stored = m_rooms->adminPassword(room);
    const bool staffNick = m_staff.isStaffNick(s.nick);
    const bool granted = administers(s, room);
    // A staff nick's password proves staff rights in any room, one open to
    // all included.
    const bool proving = staffNick && !isStaff(s);
    QString refusal;
    if (!granted && room == 0 && !staffNick) {
        refusal = QStringLiteral("Room 0 is administered by staff only.");
    } else if ((!granted || proving) && !offered.isEmpty()) {
        // One guess, whichever it is meant for: the room's password is
        // cheap to compare; the staff password's hash is not, and is
        // weighed off the poll loop, answered when done.
        const QString subject = QStringLiteral("admin %1 %2 %3").arg(room).arg(stored, s.nick);
        bool busy = false;
        const auto right = [&]() -> std::optional<bool> {
            if (room != 0 && offered == stored) {
                s.adminRooms << room;
                return true;
            }
            if (!proving)
                return false;
            busy = !m_checks.submit({s.token, s.serial, room, s.nick, offered, m_staff.hashOf(s.nick),
                                     guessKey(subject, offered)},
                                    m_nowMs);
            return std::nullopt;
        };
        switch (weighGuess(s, offered, subject, right)) {
        case Guess::Right:
            break;
        case Guess::Deferred:
            if (!busy)
                return;
            ++m_stats.refused;
            refusal = QStringLiteral("The server is busy checking passwords; please try again in a minute.");
            break;
        case Guess::Blocked:
            refusal = tooManyGuesses();
            log(QStringLiteral("session %1: password guesses for room %2 held back (%3)")
                    .arg(QString::fromLatin1(tokenText(s.token)))
                    .arg(room)
                    .arg(s.peer.toString()));
            break;
        case Guess::Wrong:
            refusal = wrongAdminPassword(granted, room);
            break;
        }
    }
    answerAdminCheck(s, room, refusal);
}

bool ChatServer::administers(const Session &s, int room) const
{
    return isStaff(s) ||
           (room != 0 && (s.adminRooms.contains(room) || m_rooms->adminPassword(room).isEmpty()));
}

void ChatServer::answerAdminCheck(Session &s, int room, const QString &refusal)
{
    if (!refusal.isEmpty())
        notice(s, refusal);
    const bool granted = administers(s, room);
    RoomFlags flags = m_rooms->flags(room);
    flags.administrator = granted;
    flags.staff = isStaff(s);
    // The stored record as it was written: its fields in their stored order.
    QString whole = granted ? KillS(m_rooms->fields(room), Field::RoomHas) : QString();
    // A room without an administrator password is open to every member's
    // settings, its access password not: that goes only to a session that
    // proved it, the administrator password, or staff.
    if (granted && !isStaff(s) && !s.adminRooms.contains(room) && !s.grantedRooms.contains(room))
        whole = KillS(whole, Field::AccessPassword);
    enqueue(s, AddKind(RecordKind::AdminCheck) + AddI(room, Field::Room) + whole + flags.field());
}

void ChatServer::takePasswordChecks()
{
    for (const PasswordChecks::Done &d : m_checks.takeDone()) {
        const auto it = m_sessions.find(d.job.token);
        // The session may have ended meanwhile, or taken another nick.
        if (it == m_sessions.end() || it->second->serial != d.job.serial || it->second->nick != d.job.nick)
            continue;
        Session &s = *it->second;
        const bool granted = administers(s, d.job.room);
        QString refusal;
        if (d.right) {
            s.provedStaff = s.nick.toUpper();
            log(QStringLiteral("session %1: %2 proved staff rights from %3")
                    .arg(QString::fromLatin1(tokenText(s.token)), s.nick, s.peer.toString()));
        } else {
            ++m_stats.refused;
            m_guesses.failed(s.guesses, s.peer, m_nowMs);
            s.wrongGuesses[s.nextWrongGuess] = d.job.guessKey;
            s.nextWrongGuess = quint8((s.nextWrongGuess + 1) % s.wrongGuesses.size());
            refusal = wrongAdminPassword(granted, d.job.room);
        }
        if (!m_rooms->fields(d.job.room).isEmpty())
            answerAdminCheck(s, d.job.room, refusal);
    }
}

void ChatServer::finishPasswordChecks()
{
    m_checks.waitIdle();
    takePasswordChecks();
}

} // namespace hchat
