// Record handlers of ChatServer: members, chat lines and member commands.
#include "chatserver.h"

#include "protocol/codec.h"
#include "protocol/field.h"
#include "protocol/newsdatagram.h"
#include "protocol/recordkind.h"
#include "protocol/records.h"
#include "protocol/wirelimits.h"
#include "protocol/wiretext.h"

#include <QScopeGuard>

#include <algorithm>

namespace hchat {

namespace {

constexpr int tokenClaimBurst = 5; // see ServerLimits::tokenClaimIntervalMs

// Identity fields are relayed inside other records: a value carrying a tag of
// its own would let one member rewrite another field of what others receive.
// Line breaks go first, so that taking them out cannot join a tag either.
QString untag(QString v)
{
    v.remove(u'\r');
    v.remove(u'\n');
    return stripFieldTags(v);
}

// Did `s`'s first poll name `old`'s token (or the one it had before a restart)?
bool provesSession(const Session &s, const Session &old)
{
    return s.previousToken != 0 && (s.previousToken == old.token || s.previousToken == old.formerToken);
}

} // namespace

void ChatServer::dispatch(Session &s, int kind, const QString &rec, PollContext &ctx)
{
    const auto k = static_cast<RecordKind>(kind);
    if (k == RecordKind::Presence) {
        onPresence(s, rec, ctx);
        return;
    }
    if (k == RecordKind::Poll)
        return; // an empty kind 0 record rides ahead of bulletins: nothing to do
    if (!s.announced) {
        notice(s, QStringLiteral("Please announce yourself (presence) first."), ctx.recordNumber);
        return;
    }
    // Messages and pages cost a line of the member's allowance; boots,
    // bulletins and resets are written to disk at once and cost an edit.
    enum class Cost { None, Line, Edit };
    struct Handler {
        RecordKind kind;
        Cost cost;
        void (ChatServer::*handle)(Session &, const QString &, PollContext &);
    };
    static constexpr Handler handlers[] = {
        {RecordKind::ChatLine, Cost::None, &ChatServer::onChatLine},
        {RecordKind::GlobalMessage, Cost::Line, &ChatServer::onGlobal},
        {RecordKind::PrivateMessage, Cost::Line, &ChatServer::onPrivate},
        {RecordKind::Page, Cost::Line, &ChatServer::onPage},
        {RecordKind::Profile, Cost::None, &ChatServer::onProfile},
        {RecordKind::RoomRecord, Cost::None, &ChatServer::onRoomRecord},
        {RecordKind::Boot, Cost::Edit, &ChatServer::onBoot},
        {RecordKind::SaveBulletin, Cost::Edit, &ChatServer::onBulletin},
        {RecordKind::RoomRecordRequest, Cost::None, &ChatServer::onRoomRecordRequest},
        {RecordKind::RoomListRequest, Cost::None, &ChatServer::onRoomList},
        {RecordKind::RoomListSetup, Cost::None, &ChatServer::onRoomList},
        {RecordKind::WhereIs, Cost::None, &ChatServer::onWhereIs},
        {RecordKind::RefreshMembers, Cost::None, &ChatServer::onRefresh},
        {RecordKind::Statistics, Cost::None, &ChatServer::onStatistics},
        {RecordKind::RoomUsage, Cost::None, &ChatServer::onRoomUsage},
        {RecordKind::Bulletin, Cost::None, &ChatServer::onBulletinRequest},
        {RecordKind::ResetRoom, Cost::Edit, &ChatServer::onReset},
        {RecordKind::RoomEntry, Cost::None, &ChatServer::onRoomRequest},
        {RecordKind::AdminCheck, Cost::None, &ChatServer::onAdminCheck},
    };
    const auto h =
        std::find_if(std::begin(handlers), std::end(handlers), [k](const Handler &e) { return e.kind == k; });
    if (h == std::end(handlers)) {
        if (m_verbose)
            log(QStringLiteral("session %1: ignored kind %2")
                    .arg(QString::fromLatin1(tokenText(s.token)))
                    .arg(kind));
        return;
    }
    if ((h->cost == Cost::Line && throttled(s, ctx.recordNumber)) ||
        (h->cost == Cost::Edit && !mayEdit(s, ctx)))
        return;
    (this->*h->handle)(s, rec, ctx);
}

bool ChatServer::isStaff(const Session &s) const
{
    // The proof holds for the nick it was given for, not for a nick taken later.
    return !s.provedStaff.isEmpty() && s.provedStaff == s.nick.toUpper() && m_staff.isStaffNick(s.nick);
}

QString ChatServer::staffOnly(const Session &s, const QString &action) const
{
    QString text = QStringLiteral("Only staff may %1.").arg(action);
    if (!isStaff(s) && m_staff.isStaffNick(s.nick))
        text += QStringLiteral(" Staff give their staff password first, as the administrator "
                               "password in the settings' Chat Room tab.");
    return text;
}

void ChatServer::enqueue(Session &s, const QString &record)
{
    enqueueBytes(s, record.toUtf8());
}

void ChatServer::enqueueBytes(Session &s, const QByteArray &record, int records)
{
    m_membersChanged = true;
    s.queue.append({record, records});
    // Only to a member of ours that proved its address (our clients echo
    // reply numbers) and is not silent: it polls at once.
    if (m_limits.news && !s.toldNews && s.verified && s.echoesReplies && !s.away && &s != m_polling &&
        m_nowMs - s.newsMs >= m_limits.newsIntervalMs && m_news.size() < m_limits.maxSessions) {
        s.toldNews = true;
        s.newsMs = m_nowMs;
        m_news.append({s.peer, NewsDatagram::build(tokenText(s.token))});
    }
    s.queueBytes += record.size() + 1;
    s.queueRecords += records;
    trimQueue(s);
}

void ChatServer::trimQueue(Session &s)
{
    // A member who never polls must not hold the server's memory: the
    // oldest records go.
    const int maxRecords = s.away ? m_limits.awayQueuedRecords : m_limits.maxQueuedRecords;
    const auto over = [&](int records, qsizetype bytes) {
        return s.queueRecords - records > maxRecords || s.queueBytes - bytes > m_limits.maxQueuedBytes;
    };
    const int before = s.queueRecords;
    const auto countMissed = qScopeGuard([&] { s.missed += before - s.queueRecords; });
    while (!s.queue.isEmpty() && over(0, 0)) {
        Session::Waiting &w = s.queue.first();
        if (s.queue.size() > 1 || w.records == 1) {
            s.queueBytes -= w.bytes.size() + 1;
            s.queueRecords -= w.records;
            s.queue.removeFirst();
            continue;
        }
        // A run of lines bigger than the bounds alone: its oldest lines go.
        int n = 0;
        qsizetype cut = 0;
        while (n < w.records - 1 && over(n, cut)) {
            cut = w.bytes.indexOf('\n', cut) + 1;
            ++n;
        }
        w.bytes = w.bytes.sliced(cut);
        w.records -= n;
        s.queueBytes -= cut;
        s.queueRecords -= n;
        if (over(0, 0)) { // its last line alone is too much
            s.queue.clear();
            s.queueBytes = 0;
            s.queueRecords = 0;
        }
    }
}

void ChatServer::sendRoomList(Session &s)
{
    s.roomList = m_rooms->publicList();
    s.roomListSent = 0;
    s.roomsSeen = m_roomChangesMade;
}

void ChatServer::roomChanged(int room)
{
    m_roomChanges.emplace_back(++m_roomChangesMade, room);
    if (m_roomChanges.size() > maxRoomChanges)
        m_roomChanges.pop_front();
}

bool ChatServer::mayEdit(Session &s, PollContext &ctx)
{
    if (s.edits.take(m_nowMs, m_limits.editIntervalMs, m_limits.editBurst))
        return true;
    ++m_stats.refused;
    if (!std::exchange(ctx.editsNoticed, true))
        notice(s, QStringLiteral("Too many changes to rooms at once; some were not made."), ctx.recordNumber);
    return false;
}

void ChatServer::place(Session &s, int room, int watch)
{
    if (room == s.room && watch == s.watch)
        return;
    for (const int r : {s.room, s.watch}) {
        const auto members = m_inRoom.find(r);
        if (r < 0 || members == m_inRoom.end())
            continue;
        members->removeOne(&s);
        if (members->isEmpty())
            m_inRoom.erase(members);
    }
    s.room = room;
    s.watch = watch;
    for (const int r : {room, watch}) {
        if (r < 0)
            continue;
        QList<Session *> &members = m_inRoom[r];
        if (!members.contains(&s))
            members.append(&s);
    }
    s.record.clear();
}

void ChatServer::index(Session &s, bool add)
{
    if (!s.announced || s.id.isEmpty())
        return;
    const QString nick = s.nick.toCaseFolded();
    if (add) {
        m_byId.insert(s.id, &s);
        m_byPrefix.insert(s.idPrefix(), &s);
        m_byNick.insert(nick, &s);
        return;
    }
    if (m_byId.value(s.id) == &s)
        m_byId.remove(s.id);
    m_byPrefix.remove(s.idPrefix(), &s);
    m_byNick.remove(nick, &s);
}

void ChatServer::notice(Session &s, const QString &text, quint32 refused)
{
    // The number goes before the text, where nothing typed can stand in for it.
    enqueue(s,
            AddKind(RecordKind::ChatLine) + ChatLineRecord{.recordNumber = refused, .text = text}.encode());
}

QByteArray ChatServer::memberRecord(Session &s, int kind) const
{
    // Away: the icon's away state, and since when it has not been heard
    // (Z, server time), which a reader that does not know it skips.
    if (s.record.isEmpty()) {
        MemberRecord r{.nick = s.nick, .id = s.id, .room = s.room, .watch = s.watch};
        r.icon = s.away ? s.icon.section(u'|', 0, 0) + QStringLiteral("|4") : s.icon;
        r.silentSince = s.away ? s.silentSince : QString();
        s.record = r.encode().toUtf8();
    }
    if (kind == kindNumber(RecordKind::Presence))
        return s.record;
    static const qsizetype kindBytes = AddKind(RecordKind::Presence).size();
    return AddKind(static_cast<RecordKind>(kind)).toUtf8() + s.record.sliced(kindBytes);
}

QByteArray ChatServer::departureRecord(const Session &s, const QString &renamedTo) const
{
    MemberRecord r{.nick = s.nick, .id = s.id};
    r.icon = s.icon;
    r.renamed = renamedTo;
    return r.encode().toUtf8();
}

void ChatServer::broadcastToRooms(const QList<int> &rooms, const QByteArray &record, const Session *except,
                                  int records)
{
    // One copy to each member, however many of the rooms it is in.
    const quint64 mark = ++m_broadcasts;
    for (const int r : rooms) {
        const auto members = m_inRoom.constFind(r);
        if (r < 0 || members == m_inRoom.cend())
            continue;
        for (Session *o : *members) {
            if (o == except || !o->announced || o->mark == mark)
                continue;
            o->mark = mark;
            enqueueBytes(*o, record, records);
        }
    }
}

void ChatServer::sendRoster(Session &s, int room, int kind, bool includeSelf)
{
    if (room < 0)
        return;
    // More than a queue holds would only push the first ones out again.
    int left = m_limits.maxQueuedRecords;
    for (Session *o : m_inRoom.value(room)) {
        if (o->announced && (o != &s || includeSelf) && left-- > 0)
            enqueueBytes(s, memberRecord(*o, kind));
    }
}

Session *ChatServer::findMember(const QString &nick, const QString &id)
{
    // The connection with that ID; when it is gone, the newest one of the
    // same user (8-character prefix); else the first member with that nick.
    if (Session *o = id.isEmpty() ? nullptr : m_byId.value(id); o && o->room >= 0)
        return o;
    Session *found = nullptr;
    if (id.size() >= 8) {
        const QString prefix = id.left(8);
        for (auto it = m_byPrefix.constFind(prefix); it != m_byPrefix.cend() && it.key() == prefix; ++it)
            if ((*it)->room >= 0 && (!found || (*it)->openedMs > found->openedMs))
                found = *it;
        if (found)
            return found;
    }
    if (nick.isEmpty())
        return nullptr;
    const QString folded = nick.toCaseFolded();
    for (auto it = m_byNick.constFind(folded); it != m_byNick.cend() && it.key() == folded; ++it)
        if ((*it)->room >= 0 && (!found || (*it)->openedMs < found->openedMs))
            found = *it;
    return found;
}

void ChatServer::onPresence(Session &s, const QString &rec, PollContext &ctx)
{
    const PresenceRecord presence = PresenceRecord::decode(rec);
    const QString nick = untag(presence.nick).trimmed().left(WireLimits::maxNickFieldChars);
    const QString id = untag(presence.id).left(WireLimits::maxIdFieldChars);
    if (nick.isEmpty() || id.isEmpty()) {
        notice(s, QStringLiteral("A presence record without nick or ID was refused."), ctx.recordNumber);
        return;
    }
    int room = presence.room;
    int watch = presence.watch;
    const bool first = !s.announced;
    const int oldRoom = s.room;
    const int oldWatch = s.watch;

    // A refused first presence ends the session, and nothing of its poll is
    // taken: the client keeps its records and announces itself again later.
    // The refusal is told to an address once in a while: clients retry
    // every few seconds and would see it each time.
    auto refuseId = [&](const QString &why) {
        ++m_stats.refused;
        if (first)
            s.leaving = true;
        SourceState &src = source(s.peer);
        if (m_nowMs >= src.quietUntilMs) {
            src.quietUntilMs = m_nowMs + m_limits.lostMs;
            notice(s, why);
        }
    };
    // An ID bound to a member key is that member's alone: under another key
    // or plain it is refused, so nobody who sees it can take it or lock her out.
    const QByteArray boundKey = m_memberKeys ? m_memberKeys->keyOf(id) : QByteArray();
    if (!boundKey.isEmpty() && boundKey != m_memberKey) {
        refuseId(QStringLiteral("Your member ID belongs to another member key; it is let in only over an "
                                "encrypted connection proving that key."));
        return;
    }
    Session *holder = m_byId.value(id);
    if (holder == &s)
        holder = nullptr;
    // The same client run announcing itself again (new token after a lost
    // link) takes over its old session. From another address only once that
    // session counts as lost: an ID is no proof, everybody sees it.
    const bool elsewhere = holder && !(holder->peer == s.peer);
    // Naming an old token from elsewhere hands over what waited for the
    // member: a host gets a few tries a minute, so guessing the token is
    // hopeless even while she is away for minutes.
    const bool proves =
        elsewhere && provesSession(s, *holder) &&
        source(s.peer).tokenClaims.left(m_nowMs, m_limits.tokenClaimIntervalMs, tokenClaimBurst);
    if (elsewhere && s.previousToken != 0 && !proves)
        source(s.peer).tokenClaims.take(m_nowMs, m_limits.tokenClaimIntervalMs, tokenClaimBurst);
    if (elsewhere && !proves && m_nowMs - holder->lastSeenMs < m_limits.lostMs) {
        refuseId(QStringLiteral("Your member ID is in use from another address; you are let in once "
                                "that connection has been silent for %1 seconds.")
                     .arg(m_limits.lostMs / 1000));
        return;
    }
    // A new ID costs the address part of its allowance: one address cannot
    // become a crowd of members (each a new private-message window elsewhere).
    SourceState &src = source(s.peer);
    if (id != s.id && !src.recentIds.contains(id)) {
        if (!src.newIds.take(m_nowMs, m_limits.newIdIntervalMs, m_limits.maxSessionsPerAddress)) {
            refuseId(QStringLiteral("Your address changes its member ID too often; please wait a minute."));
            return;
        }
        src.recentIds.prepend(id);
        if (src.recentIds.size() > 2 * m_limits.maxSessionsPerAddress)
            src.recentIds.removeLast();
    }
    if (boundKey.isEmpty() && !m_memberKey.isEmpty() && m_memberKeys)
        m_memberKeys->bind(id, m_memberKey.toByteArray());
    if (holder) {
        takeOver(s, *holder, ctx);
        endSession(holder, QStringLiteral("replaced"), holder->room != room || holder->watch != watch);
        tellMissed(s);
    }
    // A new nick: the old one leaves first, so no list keeps both.
    if (!first && room >= 0 && nick != s.nick && (oldRoom >= 0 || oldWatch >= 0))
        broadcastToRooms({oldRoom, oldWatch}, departureRecord(s, nick), &s);
    index(s, false);
    s.nick = nick;
    s.id = id;
    s.icon = untag(presence.icon).left(12);
    if (s.icon.isEmpty())
        s.icon = QStringLiteral("0");
    s.announced = true;
    s.record.clear();
    index(s, true);

    if (room < 0) {
        // Leaving the chat (sent as kind 51): departure to the rooms concerned.
        place(s, -1, -1);
        const QString next = untag(ctx.followingNick).trimmed().left(WireLimits::maxNickFieldChars);
        broadcastToRooms({oldRoom, oldWatch},
                         departureRecord(s, ctx.presenceFollows && next != nick ? next : QString()), &s);
        // A presence of the same poll follows (a rename): the member stays.
        s.leaving = !ctx.presenceFollows;
        return;
    }
    if (first) {
        log(QStringLiteral("session %1: %2 (%3) in room %4")
                .arg(QString::fromLatin1(tokenText(s.token)), nick, id)
                .arg(room));
        sendRoomList(s);
    }
    bool enteredRoom = false;
    bool enteredWatch = false;
    if (room != oldRoom) {
        QString why;
        enteredRoom = mayEnter(s, room, QString(), &why);
        if (!enteredRoom) {
            refuse(s, room, false, why, ctx);
            room = oldRoom;
        }
    }
    if (watch != oldWatch && watch >= 0) {
        QString why;
        enteredWatch = mayEnter(s, watch, QString(), &why);
        if (!enteredWatch) {
            refuse(s, watch, true, why, ctx);
            watch = -1;
        }
    }
    if (!RoomStore::validRoom(watch))
        watch = -1;
    place(s, room, watch);
    broadcastToRooms({oldRoom, oldWatch, s.room, s.watch}, memberRecord(s), &s);
    if (enteredRoom)
        welcome(s, room, true, !first, ctx);
    if (enteredWatch)
        welcome(s, watch, false, !first, ctx);
}

void ChatServer::takeOver(Session &s, Session &old, PollContext &ctx)
{
    // The records the old session took are taken: the client resends what
    // it kept, and only what the old session never saw runs now.
    s.records = old.records;
    s.records.mark(ctx.recordNumber);
    s.lines = old.lines;
    s.guesses = old.guesses; // a new session is no fresh start for a guesser
    if (s.colour < 0)
        s.colour = old.colour;
    // Private messages stay with the address (and port) they belong to, or
    // go to the client that names the old token (a network change): an ID
    // is no secret. Rights proved by password need both: anybody can put
    // that address on a first poll, only the client knows its old token.
    const bool proved = provesSession(s, old);
    if (!(s.peer == old.peer) && !proved) {
        s.missed += old.missed + old.queueRecords + int(old.held.size());
        return;
    }
    if (s.peer == old.peer && proved) {
        s.grantedRooms = old.grantedRooms;
        s.adminRooms = old.adminRooms;
        s.provedStaff = old.provedStaff;
    }
    ctx.tookOverQueue = true;
    // What was waiting for the old session goes to the new one, with the last
    // reply again unless the client's echo says it took it.
    QList<Session::Waiting> waiting;
    if (!(ctx.echoesReplies && ctx.lastReply == old.replyNumber))
        for (const QByteArray &r : std::as_const(old.held))
            waiting.append({r, int(r.count('\n')) + 1});
    s.missed += old.missed;
    s.queue = waiting + old.queue + s.queue;
    s.queueBytes = 0;
    s.queueRecords = 0;
    for (const Session::Waiting &w : std::as_const(s.queue)) {
        s.queueBytes += w.bytes.size() + 1;
        s.queueRecords += w.records;
    }
    trimQueue(s);
}

bool ChatServer::throttled(Session &s, quint32 refused)
{
    // Each line costs 1/linesPerSecond of a second on the member's clock; the
    // clock may run up to a burst of lines ahead of now (an outbox kept
    // through an outage goes out in one go).
    if (s.lines.take(m_nowMs, 1000 / WireLimits::linesPerSecond, WireLimits::lineBurst)) {
        s.rateNoticed = false;
        return false;
    }
    ++m_stats.refused;
    if (!s.rateNoticed) {
        s.rateNoticed = true;
        notice(s,
               QStringLiteral("You are sending too fast (more than %1 lines a second); "
                              "some lines were not delivered.")
                   .arg(WireLimits::linesPerSecond),
               refused);
    }
    return true;
}

void ChatServer::onChatLine(Session &s, const QString &rec, PollContext &ctx)
{
    const ChatLineRecord line = ChatLineRecord::decode(rec);
    const int room = line.room.value_or(s.room);
    const QString &text = line.text;
    if (text.isEmpty())
        return;
    if (room < 0 || (room != s.room && room != s.watch)) {
        notice(s, QStringLiteral("You are not in room %1; the line was not sent.").arg(room),
               ctx.recordNumber);
        return;
    }
    if (throttled(s, ctx.recordNumber))
        return;
    ++m_stats.chatLines;
    s.colour = line.colour.value_or(0);
    if (chatLineObserver)
        chatLineObserver(s.nick, room, text);
    // Numbered in the order relayed, right after the kind, where nothing
    // typed can stand in for it; the acknowledgement names the poll's first.
    m_lineNumber = NumberWindow::next(m_lineNumber);
    if (ctx.firstLine == 0)
        ctx.firstLine = m_lineNumber;
    const QString out =
        AddKind(RecordKind::ChatLine) + ChatLineRecord{.lineNumber = m_lineNumber,
                                                       .colour = s.colour,
                                                       .id = s.id,
                                                       .room = room,
                                                       .time = zoneTime(),
                                                       .text = s.nick + QStringLiteral(":  ") + text}
                                            .encode();
    // Relayed with the lines next to it (relayLines()).
    Session::Waiting &run = ctx.lines[room];
    if (run.bytes.isEmpty()) {
        run = {out.toUtf8(), 1};
    } else {
        run.bytes += '\n' + out.toUtf8();
        ++run.records;
    }
}

void ChatServer::relayLines(Session &s, PollContext &ctx)
{
    for (auto it = ctx.lines.cbegin(); it != ctx.lines.cend(); ++it) {
        const int room = it.key();
        broadcastToRooms({room}, it->bytes, &s, it->records);
        // Kept a few seconds for members whose token is on its way back.
        RecentLines &recent = m_recentLines[room];
        recent.lines.push_back({m_nowMs, *it});
        recent.bytes += it->bytes.size();
        while (recent.lines.size() > 1 && recent.bytes > maxRecentBytes) {
            recent.bytes -= recent.lines.front().lines.bytes.size();
            recent.lines.pop_front();
        }
    }
    ctx.lines.clear();
}

void ChatServer::onGlobal(Session &s, const QString &rec, PollContext &)
{
    if (!isStaff(s)) {
        notice(s, staffOnly(s, QStringLiteral("send a global message")), GetI(rec, Field::RecordNumber));
        return;
    }
    const ChatLineRecord in = ChatLineRecord::decode(rec);
    if (in.text.isEmpty())
        return;
    // No room tag: every client shows it in its first room.
    const ChatLineRecord out{.colour = in.colour.value_or(0),
                             .id = s.id,
                             .time = zoneTime(),
                             .text = s.nick + QStringLiteral(":  ") + in.text};
    const QByteArray record = (AddKind(RecordKind::ChatLine) + out.encode()).toUtf8();
    for (auto &[t, other] : m_sessions)
        if (other.get() != &s && other->announced)
            enqueueBytes(*other, record);
    notice(s, QStringLiteral("Global message sent to %1 members.").arg(sessionCount() - 1));
}

void ChatServer::onPrivate(Session &s, const QString &rec, PollContext &)
{
    PrivateMessageRecord pm = PrivateMessageRecord::decode(rec);
    pm.nick = untag(pm.nick);
    pm.id = untag(pm.id);
    Session *to = findMember(pm.nick, pm.id);
    if (!to) {
        // Marked automatic, so no client ever answers it; the number tells
        // the sender which message it answers.
        enqueue(s, AddKind(RecordKind::PrivateMessage) +
                       PrivateMessageRecord{.recordNumber = pm.recordNumber,
                                            .nick = pm.nick,
                                            .id = pm.id,
                                            .text = QStringLiteral("%1 is not in the chat").arg(pm.nick),
                                            .automatic = true}
                           .encode());
        return;
    }
    pm = {.nick = s.nick, .id = s.id, .text = pm.text, .automatic = pm.automatic};
    if (s.colour >= 0)
        pm.colour = s.colour;
    enqueue(*to, AddKind(RecordKind::PrivateMessage) + pm.encode());
}

void ChatServer::onPage(Session &s, const QString &rec, PollContext &ctx)
{
    const QString page = AddKind(RecordKind::Page) + CommandRecord{.nick = s.nick, .id = s.id}.encode();
    const CommandRecord in = CommandRecord::decode(rec);
    const QString nick = untag(in.nick);
    if (nick.isEmpty() && in.id.isEmpty()) {
        // Page Room: everybody in the sender's room.
        const int room = in.room.value_or(s.room);
        if (room >= 0 && (room == s.room || room == s.watch)) {
            if (!ctx.pagedRooms.contains(room)) // once a poll pages a room enough
                broadcastToRooms({room}, page.toUtf8(), &s);
            ctx.pagedRooms << room;
        } else
            notice(s, QStringLiteral("You are not in room %1.").arg(room));
        return;
    }
    Session *to = findMember(nick, in.id);
    if (!to) {
        notice(s, QStringLiteral("%1 is not in the chat.").arg(nick), GetI(rec, Field::RecordNumber));
        return;
    }
    enqueue(*to, page);
}

void ChatServer::onProfile(Session &s, const QString &rec, PollContext &)
{
    const ProfileRecord in = ProfileRecord::decode(rec);
    const QString nick = untag(in.nick);
    if (nick.isEmpty() && in.id.isEmpty()) {
        s.awayUser = in.url.left(WireLimits::maxProfileChars);
        s.awayText = in.text.left(WireLimits::maxProfileChars);
        return;
    }
    const Session *t = findMember(nick, in.id);
    const ProfileRecord answer = t ? ProfileRecord{t->nick, t->id, t->awayUser, t->awayText}
                                   : ProfileRecord{.nick = nick}; // no E: not in the chat
    enqueue(s, AddKind(RecordKind::Profile) + answer.encode());
}

void ChatServer::onWhereIs(Session &s, const QString &rec, PollContext &)
{
    const CommandRecord in = CommandRecord::decode(rec);
    const QString nick = untag(in.nick);
    const Session *t = findMember(nick, in.id);
    const MemberRecord answer =
        t ? MemberRecord{.nick = t->nick, .id = t->id, .room = t->room, .watch = t->watch}
          : MemberRecord{.nick = nick, .hasWatch = false};
    enqueue(s, answer.encode(RecordKind::WhereIs));
}

void ChatServer::onRefresh(Session &s, const QString &rec, PollContext &ctx)
{
    const int room = CommandRecord::decode(rec).room.value_or(s.room);
    // Once a room a poll, and two rooms (a member's own two) are enough.
    if (ctx.refreshed.contains(room) || ctx.refreshed.size() >= 2)
        return;
    ctx.refreshed << room;
    sendRoster(s, room, 15, true);
}

void ChatServer::onStatistics(Session &s, const QString &rec, PollContext &)
{
    if (!isStaff(s)) {
        notice(s, staffOnly(s, QStringLiteral("ask for the statistics report")));
        return;
    }
    const int room = CommandRecord::decode(rec).room.value_or(s.room);
    QMap<int, int> perRoom;
    int announced = 0;
    for (auto &[t, other] : m_sessions) {
        announced += other->announced ? 1 : 0;
        if (other->announced && other->room >= 0)
            ++perRoom[other->room];
    }
    QString rooms;
    for (auto it = perRoom.cbegin(); it != perRoom.cend(); ++it)
        rooms += QStringLiteral(" %1:%2").arg(it.key()).arg(it.value());
    const QStringList lines{
        QStringLiteral("Sessions: %1, members: %2").arg(sessionCount()).arg(announced),
        QStringLiteral("Members by room:%1").arg(rooms.isEmpty() ? QStringLiteral(" none") : rooms),
        QStringLiteral("Polls: %1, records: %2, lines relayed: %3, refused: %4")
            .arg(m_stats.polls)
            .arg(m_stats.records)
            .arg(m_stats.chatLines)
            .arg(m_stats.refused)};
    for (const QString &l : lines)
        enqueue(s, AddKind(RecordKind::Statistics) + ChatLineRecord{.room = room, .text = l}.encode());
}

void ChatServer::onRoomUsage(Session &s, const QString &, PollContext &ctx)
{
    if (std::exchange(ctx.usageSent, true))
        return; // once a poll is enough
    QMap<int, int> perRoom;
    for (auto it = m_inRoom.cbegin(); it != m_inRoom.cend(); ++it) {
        const int key = it.key();
        const auto n =
            std::count_if(it->cbegin(), it->cend(), [key](const Session *o) { return o->room == key; });
        if (n > 0)
            perRoom.insert(key, int(n));
    }
    for (auto it = perRoom.cbegin(); it != perRoom.cend(); ++it) {
        const QString name = untag(m_rooms->facts(it.key()).name);
        const QString text = QStringLiteral("Room %1  %2: %3 users")
                                 .arg(QString::number(it.key()), name, QString::number(it.value()));
        enqueue(s, AddKind(RecordKind::ChatLine) + ChatLineRecord{.room = s.room, .text = text}.encode());
    }
}

} // namespace hchat
