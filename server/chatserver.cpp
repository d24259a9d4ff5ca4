#include "chatserver.h"

#include "protocol/ackheader.h"
#include "protocol/codec.h"
#include "protocol/field.h"
#include "protocol/pollheader.h"
#include "protocol/recordkind.h"
#include "protocol/records.h"
#include "protocol/wirelimits.h"
#include "protocol/wiretext.h"

#include <QRandomGenerator>
#include <QScopeGuard>
#include <QTimeZone>

#include <algorithm>

namespace hchat {

namespace {

quint32 packToken(QByteArrayView t)
{
    quint32 v = 0;
    for (qsizetype i = 0; i < t.size() && i < 4; ++i)
        v |= quint32(quint8(t[i])) << (8 * i);
    return v;
}

quint64 hashBytes(QByteArrayView b)
{
    return qHashBits(b.data(), size_t(b.size()), 0x5a17c3e1u);
}

// Does any record of the datagram announce presence (kind 5)? A poll with an
// unknown token only opens a session when it does.
bool carriesPresence(QByteArrayView records)
{
    static const QByteArray presence = AddKind(RecordKind::Presence).toUtf8();
    return records.indexOf(presence) >= 0;
}

// Our client numbers every record; a poll whose first record has no number
// comes from a client that does not.
bool numbered(QByteArrayView records)
{
    const qsizetype nl = records.indexOf('\n');
    return !fieldBytes(nl < 0 ? records : records.first(nl), Field::RecordNumber).isEmpty();
}

QByteArray bareAck(int k, QByteArrayView token = {})
{
    QByteArray out;
    AckHeader::append(out, k, -1, token, 0);
    return out;
}

// K = 10 names the token the poll carried: the client takes it only when it
// is its own, so a stranger's poll from its address does not make it announce.
QByteArray announceAgain(QByteArrayView pollToken)
{
    return bareAck(AckHeader::announceAgain,
                   pollToken.size() <= WireLimits::maxTokenChars ? pollToken : QByteArrayView());
}

} // namespace

ChatServer::ChatServer(RoomStore *rooms, ServerLimits limits)
    : m_rooms(rooms), m_limits(limits), m_wallClock([] { return QDateTime::currentDateTimeUtc(); })
{
    Q_ASSERT(rooms); // the handlers use the store without checking
}

ChatServer::~ChatServer() = default;

void ChatServer::setLog(std::function<void(const QString &)> log, bool verbose)
{
    m_log = std::move(log);
    m_verbose = verbose;
}

void ChatServer::log(const QString &line) const
{
    if (m_log)
        m_log(line);
}

QByteArray ChatServer::tokenText(quint32 token)
{
    QByteArray t;
    for (int i = 0; i < 4 && (token >> (8 * i)) & 0xff; ++i)
        t += char((token >> (8 * i)) & 0xff);
    return t;
}

QString ChatServer::serverClock(const QDateTime &utc)
{
    static const QTimeZone zone = [] {
        QTimeZone z("America/Denver");
        return z.isValid() ? z : QTimeZone(-7 * 3600);
    }();
    return utc.toTimeZone(zone).toString(QStringLiteral("hh:mm:ss"));
}

QString ChatServer::zoneTime() const
{
    // Converting to the zone costs more than the rest of a relayed line:
    // once a second is enough.
    const QDateTime now = m_wallClock();
    const qint64 second = now.toSecsSinceEpoch();
    if (second != m_zoneSecond || m_zoneText.isEmpty()) {
        m_zoneSecond = second;
        m_zoneText = serverClock(now);
    }
    return m_zoneText;
}

Session *ChatServer::openSession(const Endpoint &from, qint64 nowMs, QString *why)
{
    // Room is made among the sessions whose token never came back: a flood
    // of first polls, forged or not, must not lock real clients out. The
    // address's own sessions first: one host never takes more than its share.
    if (source(from).sessions.size() >= m_limits.maxSessionsPerAddress &&
        !evictUnconfirmed(source(from).sessions)) {
        *why = QStringLiteral("Too many connections from your address; please try again later.");
        return nullptr;
    }
    if (int(m_sessions.size()) >= m_limits.maxSessions) {
        Session *oldest = oldestUnconfirmed();
        if (!oldest) {
            *why = QStringLiteral("The chat server is full; please try again later.");
            return nullptr;
        }
        endSession(oldest, QStringLiteral("evicted"), false);
    }
    const quint32 token = freshToken();
    auto s = std::make_unique<Session>();
    s->token = token;
    s->peer = from;
    s->openedMs = s->lastSeenMs = nowMs;
    s->serial = ++m_serial;
    Session *raw = s.get();
    m_sessions.emplace(token, std::move(s));
    m_pendingByPeer.insert(from, token);
    m_unconfirmed.emplace_back(token, raw->serial);
    source(from).sessions.append(token);
    ++m_stats.sessionsOpened;
    return raw;
}

quint32 ChatServer::freshToken() const
{
    static constexpr char alphabet[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    quint32 token = 0;
    do {
        token = 0;
        for (int i = 0; i < 4; ++i)
            token |= quint32(quint8(alphabet[QRandomGenerator::global()->bounded(62)])) << (8 * i);
    } while (m_sessions.count(token));
    return token;
}

void ChatServer::restoreMembers(qint64 nowMs)
{
    if (!m_memberStore)
        return;
    m_nowMs = nowMs;
    const qint64 wall = m_wallClock().toMSecsSinceEpoch();
    auto stored = m_memberStore->load();
    m_lineNumber = m_memberStore->lineNumber;
    for (std::unique_ptr<Session> &s : stored) {
        const qint64 silent = qMax<qint64>(0, wall - s->lastSeenMs);
        if (silent >= m_limits.awayMs || m_byId.contains(s->id) || (s->room < 0 && s->watch < 0))
            continue;
        // Nobody knows its new token: the member comes back by announcing
        // itself, and takes this session over with what waited for it.
        s->formerToken = s->token;
        s->token = freshToken();
        s->lastSeenMs = s->openedMs = nowMs - silent;
        s->serial = ++m_serial;
        const int room = std::exchange(s->room, -1);
        const int watch = std::exchange(s->watch, -1);
        Session *raw = s.get();
        m_sessions.emplace(raw->token, std::move(s));
        source(raw->peer).sessions.append(raw->token);
        place(*raw, room, watch);
        index(*raw, true);
        setAway(*raw, true);
    }
    m_membersSavedMs = nowMs;
}

void ChatServer::persist(qint64 nowMs, bool force)
{
    // A member's last poll is written at least every 10 s, so a restart
    // knows who was there lately even when nothing else changed.
    // Bindings at most once a second: each save writes every one of them.
    if (m_memberKeys && (force || nowMs - m_keysSavedMs >= 1000)) {
        m_memberKeys->save();
        m_keysSavedMs = nowMs;
    }
    if (!m_memberStore || !m_memberStore->isEnabled() ||
        (!force && !m_membersChanged && nowMs - m_membersSavedMs < 10000))
        return;
    std::vector<const Session *> members;
    for (const auto &[t, s] : m_sessions)
        if (s->verified && s->announced && !s->leaving && (s->room >= 0 || s->watch >= 0))
            members.push_back(s.get());
    m_memberStore->lineNumber = m_lineNumber;
    m_memberStore->save(members, m_wallClock().toMSecsSinceEpoch(), nowMs);
    m_membersChanged = false;
    m_membersSavedMs = nowMs;
}

void ChatServer::setAway(Session &s, bool away)
{
    s.away = away;
    s.silentSince = away ? serverClock(m_wallClock().addMSecs(-(m_nowMs - s.lastSeenMs))) : QString();
    s.record.clear();
    broadcastToRooms({s.room, s.watch}, memberRecord(s), &s);
    if (away)
        trimQueue(s);
    else
        tellMissed(s);
    m_membersChanged = true;
}

void ChatServer::tellMissed(Session &s)
{
    if (s.missed > 0)
        notice(s, QStringLiteral("%1 records meant for you were dropped while you were away.")
                      .arg(std::exchange(s.missed, 0)));
}

bool ChatServer::evictUnconfirmed(const QList<quint32> &tokens)
{
    for (const quint32 t : tokens) {
        auto it = m_sessions.find(t);
        if (it != m_sessions.end() && !it->second->verified) {
            endSession(it->second.get(), QStringLiteral("evicted"), false);
            return true;
        }
    }
    return false;
}

Session *ChatServer::oldestUnconfirmed()
{
    while (!m_unconfirmed.empty()) {
        const auto [token, serial] = m_unconfirmed.front();
        auto it = m_sessions.find(token);
        if (it != m_sessions.end() && it->second->serial == serial && !it->second->verified)
            return it->second.get();
        m_unconfirmed.pop_front(); // confirmed or gone since
    }
    return nullptr;
}

void ChatServer::confirm(Session &s, const PollContext &ctx)
{
    s.verified = true;
    m_pendingByPeer.remove(s.peer, s.token);
    log(QStringLiteral("session %1 opened for %2")
            .arg(QString::fromLatin1(tokenText(s.token)), s.peer.toString()));
    const QByteArray first = std::exchange(s.firstRecords, {});
    PollContext firstPoll = ctx;
    processRecords(s, first, firstPoll);
    // What a session taken over was sent meanwhile came along with it; else
    // it gets the lines said in its rooms since its first poll: it was not
    // in them yet.
    if (firstPoll.tookOverQueue)
        return;
    const QByteArray own = s.id.toUtf8();
    for (const int room : {s.room, s.watch == s.room ? -1 : s.watch}) {
        const auto recent = m_recentLines.constFind(room);
        if (room < 0 || recent == m_recentLines.cend())
            continue;
        for (const RecentLine &line : recent->lines)
            if (line.ms >= s.openedMs && fieldBytes(line.lines.bytes, Field::Id) != own)
                enqueueBytes(s, line.lines.bytes, line.lines.records);
    }
}

void ChatServer::endSession(Session *s, const QString &reason, bool announceDeparture)
{
    const QList<int> concerned{s->room, s->watch};
    m_membersChanged = true;
    place(*s, -1, -1);
    if (announceDeparture && s->announced && (concerned[0] >= 0 || concerned[1] >= 0))
        broadcastToRooms(concerned, memberRecord(*s), s);
    index(*s, false);
    // Sessions that never heard back from their address are counted, not
    // logged one by one: a flood of forged first polls would fill the log.
    if (s->verified)
        log(QStringLiteral("session %1 ended (%2)%3")
                .arg(QString::fromLatin1(tokenText(s->token)), reason,
                     s->nick.isEmpty() ? QString() : QStringLiteral(": ") + s->nick));
    else
        ++m_stats.unconfirmedEnded;
    m_pendingByPeer.remove(s->peer, s->token);
    source(s->peer).sessions.removeOne(s->token);
    ++m_stats.sessionsEnded;
    m_sessions.erase(s->token);
}

QByteArray ChatServer::handleDatagram(const Endpoint &from, QByteArrayView d, qint64 nowMs, int replyLimit,
                                      QByteArrayView memberKey)
{
    ++m_stats.polls;
    m_nowMs = nowMs;
    m_memberKey = memberKey; // the caller keeps it alive until we return
    replyLimit = qMin(replyLimit, WireLimits::maxReplyBytes);
    takePasswordChecks();
    if (d.isEmpty() || d.size() > WireLimits::maxPollBytes) {
        ++m_stats.refused;
        return {};
    }
    qsizetype end = d.size();
    while (end > 0 && (d[end - 1] == '\n' || d[end - 1] == '\r'))
        --end;
    const qsizetype nl = d.first(end).lastIndexOf('\n');
    const std::optional<PollHeader> header = PollHeader::parse(d.sliced(nl + 1, end - nl - 1));
    // Not a poll: no reply at all, so forged datagrams reflect nothing.
    if (!header)
        return {};
    const QByteArrayView records = nl >= 0 ? d.first(nl + 1) : QByteArrayView();
    const int k = header->k;
    const QByteArrayView tokenView = header->token;
    if (m_verbose)
        log(QStringLiteral("in  %1: %2").arg(from.toString(), hidePasswords(QString::fromUtf8(d))));

    Session *s = nullptr;
    if (!tokenView.isEmpty()) {
        // The right token is always served: wrong ones forged with a
        // member's address must not silence her.
        auto it = tokenView.size() <= WireLimits::maxTokenChars ? m_sessions.find(packToken(tokenView))
                                                                : m_sessions.end();
        // A token is good only from the address it was given to.
        if (it != m_sessions.end() && it->second->peer == from)
            s = it->second.get();
    }
    const bool byToken = s != nullptr;
    if (!s) {
        // A repeat of a first poll whose answer was lost: the repeat starts
        // with the same records.
        for (auto p = m_pendingByPeer.constFind(from); p != m_pendingByPeer.cend() && p.key() == from; ++p) {
            auto it = m_sessions.find(p.value());
            if (it == m_sessions.end())
                continue;
            Session *pending = it->second.get();
            if (pending->lastRecordsLength > 0 && records.size() >= pending->lastRecordsLength &&
                hashBytes(records.first(pending->lastRecordsLength)) == pending->lastRecordsHash) {
                s = pending;
                break;
            }
        }
    }
    if (!s) {
        if (!tokenView.isEmpty()) {
            // Not a token of this address: a client whose session ended, or a
            // guess. A handful are answered; past that they go unanswered.
            if (!m_wrongTokens[from].take(nowMs, m_limits.wrongTokenIntervalMs, m_limits.wrongTokenBurst)) {
                ++m_stats.wrongTokensDropped;
                return {};
            }
            if (!carriesPresence(records))
                return announceAgain(tokenView); // announce yourself again
        } else if (records.isEmpty()) {
            return bareAck(k); // a token would not fit in the reply yet
        }
        QString why;
        s = openSession(from, nowMs, &why);
        if (!s) {
            ++m_stats.refused;
            QByteArray out = bareAck(k);
            const QByteArray refusal =
                (AddKind(RecordKind::ChatLine) + ChatLineRecord{.text = why}.encode()).toUtf8() + '\n';
            if (out.size() + refusal.size() <= d.size())
                out += refusal;
            return out;
        }
        // The session it follows, named by its token: weighed when the
        // presence takes that session over (an ID is no proof, a token is).
        if (header->previousToken.size() <= WireLimits::maxTokenChars)
            s->previousToken = packToken(header->previousToken);
    }
    s->lastSeenMs = nowMs;
    s->toldNews = false;
    m_polling = s;
    const auto notPolling = qScopeGuard([this] { m_polling = nullptr; });
    if (s->away && byToken)
        setAway(*s, false); // back before it counted its link lost
    // The client's echo confirms the last reply: its records need not go again.
    s->echoesReplies = header->echoesReplies;
    // Assigned, not cleared: a cleared list keeps its buffer, and an idle
    // session must not hold on to the size of its biggest reply.
    if (!s->held.isEmpty() && (!s->echoesReplies || header->lastReply == s->replyNumber))
        s->held = QList<QByteArray>();
    PollContext ctx;
    ctx.echoesReplies = header->echoesReplies;
    ctx.lastReply = header->lastReply;

    if (!s->verified && !byToken) {
        // Until the token comes back, records are kept, not run: the poll may
        // come from anybody who put that address on it. A repeat may carry
        // more than the first one did.
        if (records.size() > s->firstRecords.size()) {
            s->firstRecords = records.toByteArray();
            s->lastRecordsHash = hashBytes(records);
            s->lastRecordsLength = int(records.size());
        }
        s->lastK = k;
        return buildReply(s, k, qMin(int(d.size()), replyLimit));
    }
    if (!s->verified)
        confirm(*s, ctx);

    if (!records.isEmpty()) {
        const quint64 h = hashBytes(records);
        if (k == s->lastK && h == s->lastRecordsHash && records.size() == s->lastRecordsLength) {
            ++m_stats.retransmissions;
        } else {
            // A client that does not number its records resends its outbox
            // under a new K when our acknowledgement was lost and it queued
            // more since: the part we took is skipped. Numbered records are
            // told apart one by one.
            QByteArrayView fresh = records;
            if (!numbered(records) && s->lastRecordsLength > 0 && records.size() > s->lastRecordsLength &&
                hashBytes(records.first(s->lastRecordsLength)) == s->lastRecordsHash) {
                fresh = records.sliced(s->lastRecordsLength);
                m_stats.resentSkipped += records.first(s->lastRecordsLength).count('\n');
            }
            s->lastRecordsHash = h;
            s->lastRecordsLength = int(records.size());
            m_membersChanged = true;
            processRecords(*s, fresh, ctx);
        }
    }
    s->lastK = k;

    QByteArray reply;
    if (s->leaving && !s->announced) {
        // Its presence was refused: K = 10 takes nothing of the poll, so the
        // client keeps its records and announces itself again; the notice
        // says why.
        reply = announceAgain(tokenView);
        for (const Session::Waiting &w : std::as_const(s->queue))
            if (reply.size() + w.bytes.size() < replyLimit)
                reply += w.bytes + '\n';
    } else {
        reply = buildReply(s, k, replyLimit, ctx.firstLine);
    }
    if (m_verbose)
        log(QStringLiteral("out %1: %2").arg(from.toString(), hidePasswords(QString::fromUtf8(reply))));
    if (s->leaving)
        endSession(s, s->announced ? QStringLiteral("left") : QStringLiteral("refused"), false);
    return reply;
}

int ChatServer::pendingRecords(const Session &s) const
{
    const qsizetype list = s.roomList ? s.roomList->size() - s.roomListSent : 0;
    const quint64 changes = s.announced ? m_roomChangesMade - s.roomsSeen : 0;
    return int(list + qsizetype(changes) + s.queueRecords);
}

QByteArray ChatServer::buildReply(Session *s, int k, int sizeLimit, quint32 line)
{
    const QByteArray token = tokenText(s->token);
    QByteArray out;
    if (!s->verified) {
        // Until the token comes back, never send more than we were sent. The
        // records waiting to run count in Q, so the client comes back at once.
        const int q = pendingRecords(*s) + int(s->firstRecords.count('\n'));
        AckHeader::append(out, k, q, token, 0);
        if (out.size() <= sizeLimit)
            return out;
        out.clear();
        AckHeader::append(out, k, -1, token, 0);
        if (out.size() <= sizeLimit)
            return out;
        out = bareAck(k);
        return out.size() <= sizeLimit ? out : QByteArray();
    }
    if (!s->held.isEmpty()) {
        // The last reply was not confirmed: the same records under the same
        // number, so a client that did take them knows them again.
        ++m_stats.repliesResent;
        AckHeader::append(out, k, pendingRecords(*s), token, s->replyNumber, line);
        for (const QByteArray &r : std::as_const(s->held)) {
            out += r;
            out += '\n';
        }
        return out;
    }
    // The acknowledgement has room of its own; the records fill the rest:
    // the room list, the room records changed since, then what was queued,
    // oldest first.
    const qsizetype room = sizeLimit - WireLimits::maxAckBytes;
    qsizetype used = 0;
    QList<QByteArray> sent;
    const auto fits = [&](const QByteArray &r) { return used + r.size() + 1 <= room; };
    const auto take = [&](const QByteArray &r) {
        used += r.size() + 1;
        sent << r;
    };
    // Fallen behind the changes kept: the whole list again.
    if (s->announced && !m_roomChanges.empty() && s->roomsSeen + 1 < m_roomChanges.front().first)
        sendRoomList(*s);
    while (s->roomList && s->roomListSent < s->roomList->size() && fits(s->roomList->at(s->roomListSent)))
        take(s->roomList->at(s->roomListSent++));
    if (s->roomList && s->roomListSent >= s->roomList->size())
        s->roomList.reset();
    if (!s->roomList && s->announced) {
        while (s->roomsSeen < m_roomChangesMade) {
            const auto &[made, changed] =
                m_roomChanges.at(size_t(s->roomsSeen + 1 - m_roomChanges.front().first));
            const QByteArray r = m_rooms->publicRecord(changed);
            if (!fits(r))
                break;
            take(r);
            s->roomsSeen = made;
        }
    }
    while (!s->roomList && (!s->announced || s->roomsSeen >= m_roomChangesMade) && !s->queue.isEmpty()) {
        Session::Waiting &w = s->queue.first();
        if (fits(w.bytes)) {
            take(w.bytes);
        } else {
            // A run of lines goes in part: as many whole lines as fit.
            const qsizetype cut = w.records > 1 ? w.bytes.lastIndexOf('\n', room - used - 1) : -1;
            if (cut > 0) {
                const QByteArray part = w.bytes.first(cut);
                const int n = int(part.count('\n')) + 1;
                take(part);
                w.bytes = w.bytes.sliced(cut + 1);
                w.records -= n;
                s->queueBytes -= part.size() + 1;
                s->queueRecords -= n;
                break;
            }
            // A reply kept small (the answer to a handshake) leaves the rest for the next poll.
            if (!sent.isEmpty() || sizeLimit < WireLimits::maxReplyBytes)
                break;
            // A record too big for any reply would block the queue for good.
            log(QStringLiteral("session %1: dropped an oversized record").arg(QString::fromLatin1(token)));
        }
        s->queueBytes -= w.bytes.size() + 1;
        s->queueRecords -= w.records;
        s->queue.removeFirst();
    }
    if (s->queue.isEmpty())
        s->queue = QList<Session::Waiting>(); // an idle session keeps no buffer
    quint32 number = 0;
    if (!sent.isEmpty())
        m_membersChanged = true;
    if (!sent.isEmpty() && s->echoesReplies) {
        s->replyNumber = NumberWindow::next(s->replyNumber);
        number = s->replyNumber;
        s->held = sent;
    }
    out.reserve(WireLimits::maxAckBytes + used);
    AckHeader::append(out, k, pendingRecords(*s), token, number, line);
    for (const QByteArray &r : std::as_const(sent)) {
        out += r;
        out += '\n';
    }
    return out;
}

void ChatServer::processRecords(Session &s, QByteArrayView records, PollContext &ctx)
{
    const qsizetype count = records.count('\n');
    if (count > WireLimits::maxRecordsPerPoll) {
        ++m_stats.refused;
        notice(s, QStringLiteral("Too many records in one poll (%1, at most %2); none were taken.")
                      .arg(count)
                      .arg(WireLimits::maxRecordsPerPoll));
        return;
    }
    struct Item {
        int kind;
        quint32 number;
        QString rec;
    };
    QList<Item> items;
    qsizetype pos = 0;
    while (pos < records.size()) {
        qsizetype nl = records.indexOf('\n', pos);
        if (nl < 0)
            nl = records.size();
        QByteArrayView line = records.sliced(pos, nl - pos);
        pos = nl + 1;
        while (!line.isEmpty() && line.back() == '\r')
            line.chop(1);
        if (line.isEmpty())
            continue;
        const int kind = toIntOrZero(fieldBytes(line, Field::Kind));
        const quint32 number = quint32(qMax(0, toIntOrZero(fieldBytes(line, Field::RecordNumber))));
        const int limit = WireLimits::maxRecordBytesOf(kind);
        if (line.size() > limit) {
            ++m_stats.refused;
            notice(
                s,
                QStringLiteral("A record of %1 bytes was refused (at most %2).").arg(line.size()).arg(limit),
                number);
            continue;
        }
        const QString rec = decodeWireLine(line);
        if (kind == kindNumber(RecordKind::RoomEntry)) {
            // A room's password rides in the room request that follows the
            // presence moving the member there: weigh it first.
            const RoomEntryRecord entry = RoomEntryRecord::decode(rec);
            const int room = entry.room.value_or(0);
            // Weighed once a room a poll (its request below hears the
            // verdict), and two rooms a poll, a member's own two, are enough.
            if (!ctx.entryVerdicts.contains(room) && ctx.entryVerdicts.size() < 2) {
                QString why;
                mayEnter(s, room, rec, &why);
                ctx.entryVerdicts.insert(room, why);
            }
        }
        items.append({kind, number, rec});
    }
    // Presence first: a client back after an outage sends the lines it kept
    // and announces itself in the same poll, and the lines need the presence.
    // Of several presences the last says where the member is: it runs, and
    // of those before it only the last one leaving the chat (a rename leaves
    // under the old nick first), so a poll full of them costs two at most.
    const auto isPresence = [](const Item &it) { return it.kind == kindNumber(RecordKind::Presence); };
    const auto leavingPresence = [&](const Item &it) {
        return isPresence(it) && PresenceRecord::decode(it.rec).room < 0;
    };
    const auto last = std::find_if(items.crbegin(), items.crend(), isPresence);
    const auto leaving =
        last == items.crend() ? items.crend() : std::find_if(std::next(last), items.crend(), leavingPresence);
    if (leaving != items.crend())
        ctx.followingNick = PresenceRecord::decode(last->rec).nick;
    for (const bool presence : {true, false}) {
        if (!presence && s.leaving && !s.announced)
            return; // its presence was refused: nothing more of the poll is taken
        for (const Item &it : std::as_const(items)) {
            if (isPresence(it) != presence)
                continue;
            if (it.number > 0 && !s.records.take(it.number)) {
                ++m_stats.resentSkipped;
                continue;
            }
            if (presence && &it != &*last && (leaving == items.crend() || &it != &*leaving))
                continue;
            ctx.presenceFollows = presence && &it != &*last;
            if (it.kind != kindNumber(RecordKind::ChatLine))
                relayLines(s, ctx); // what others see stays in the order it was sent
            ++m_stats.records;
            ctx.recordNumber = it.number;
            dispatch(s, it.kind, it.rec, ctx);
        }
    }
    relayLines(s, ctx);
}

void ChatServer::tick(qint64 nowMs)
{
    m_nowMs = nowMs;
    takePasswordChecks();
    m_guesses.prune(nowMs);
    // Sessions whose token never came back go within seconds, oldest first.
    while (Session *s = oldestUnconfirmed()) {
        if (nowMs - s->openedMs <= m_limits.unconfirmedMs)
            break;
        endSession(s, QStringLiteral("unconfirmed"), false);
    }
    // A member in a room is kept a while after it fell silent (asleep, a
    // new network, a restart of ours): away, with what is said waiting.
    QList<Session *> idle, away;
    for (auto &[t, s] : m_sessions) {
        const qint64 silent = nowMs - s->lastSeenMs;
        if (s->verified && s->announced && (s->room >= 0 || s->watch >= 0)) {
            if (silent > m_limits.awayMs)
                idle << s.get();
            else if (silent > m_limits.lostMs && !s->away)
                away << s.get();
        } else if (silent > m_limits.idleMs) {
            idle << s.get();
        }
    }
    for (Session *s : std::as_const(away))
        setAway(*s, true);
    for (Session *s : std::as_const(idle))
        endSession(s, QStringLiteral("idle"), true);
    for (auto it = m_sources.begin(); it != m_sources.end();)
        it = it->idle(nowMs) ? m_sources.erase(it) : std::next(it);
    for (auto it = m_wrongTokens.begin(); it != m_wrongTokens.end();)
        it = it->whole(nowMs) ? m_wrongTokens.erase(it) : std::next(it);
    for (auto it = m_recentLines.begin(); it != m_recentLines.end();) {
        while (!it->lines.empty() && nowMs - it->lines.front().ms > m_limits.unconfirmedMs) {
            it->bytes -= it->lines.front().lines.bytes.size();
            it->lines.pop_front();
        }
        it = it->lines.empty() ? m_recentLines.erase(it) : std::next(it);
    }
    if (m_stats.unconfirmedEnded != m_unconfirmedLogged && nowMs - m_unconfirmedLoggedMs >= 60000) {
        log(QStringLiteral("%1 session(s) ended before their token came back (first polls from "
                           "forged or unreachable addresses)")
                .arg(m_stats.unconfirmedEnded - m_unconfirmedLogged));
        m_unconfirmedLogged = m_stats.unconfirmedEnded;
        m_unconfirmedLoggedMs = nowMs;
    }
}

} // namespace hchat
