#include "chatserver.h"

#include "protocol/ackheader.h"
#include "protocol/codec.h"
#include "protocol/field.h"
#include "protocol/pollheader.h"
#include "protocol/recordkind.h"
#include "protocol/wirelimits.h"
#include "protocol/wiretext.h"

#include <QRandomGenerator>
#include <QTimeZone>

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
    return records.indexOf(QByteArrayView("<R>5</R>")) >= 0;
}

// Our client numbers every record; a poll whose first record has no number
// comes from a client that does not.
bool numbered(QByteArrayView records)
{
    const qsizetype nl = records.indexOf('\n');
    return !fieldBytes(nl < 0 ? records : records.first(nl), Field::RecordNumber).isEmpty();
}

QByteArray bareAck(int k)
{
    QByteArray out;
    AckHeader::append(out, k, -1, {}, 0);
    return out;
}

} // namespace

ChatServer::ChatServer(RoomStore *rooms, ServerLimits limits)
    : m_rooms(rooms), m_limits(limits), m_wallClock([] { return QDateTime::currentDateTimeUtc(); })
{
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
    return serverClock(m_wallClock());
}

Session *ChatServer::openSession(const Endpoint &from, qint64 nowMs)
{
    if (int(m_sessions.size()) >= m_limits.maxSessions) {
        // Make room by dropping the oldest session whose token never came
        // back: a flood of first polls must not lock real clients out.
        Session *oldest = nullptr;
        for (auto &[t, s] : m_sessions)
            if (!s->verified && (!oldest || s->lastSeenMs < oldest->lastSeenMs))
                oldest = s.get();
        if (!oldest)
            return nullptr;
        endSession(oldest, QStringLiteral("evicted"), true);
    }
    static constexpr char alphabet[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    quint32 token = 0;
    do {
        token = 0;
        for (int i = 0; i < 4; ++i)
            token |= quint32(quint8(alphabet[QRandomGenerator::global()->bounded(62)])) << (8 * i);
    } while (m_sessions.count(token));
    auto s = std::make_unique<Session>();
    s->token = token;
    s->peer = from;
    s->openedMs = s->lastSeenMs = nowMs;
    Session *raw = s.get();
    m_sessions.emplace(token, std::move(s));
    m_pendingByPeer.insert(from, token);
    ++m_stats.sessionsOpened;
    log(QStringLiteral("session %1 opened for %2")
            .arg(QString::fromLatin1(tokenText(token)), from.toString()));
    return raw;
}

void ChatServer::endSession(Session *s, const QString &reason, bool announceDeparture)
{
    if (announceDeparture && s->announced && (s->room >= 0 || s->watch >= 0)) {
        const QList<int> concerned{s->room, s->watch};
        s->room = s->watch = -1;
        broadcastToRooms(concerned, memberRecord(*s), s);
    }
    log(QStringLiteral("session %1 ended (%2)%3")
            .arg(QString::fromLatin1(tokenText(s->token)), reason,
                 s->nick.isEmpty() ? QString() : QStringLiteral(": ") + s->nick));
    m_pendingByPeer.remove(s->peer, s->token);
    ++m_stats.sessionsEnded;
    m_sessions.erase(s->token);
}

QByteArray ChatServer::handleDatagram(const Endpoint &from, QByteArrayView d, qint64 nowMs)
{
    ++m_stats.polls;
    m_nowMs = nowMs;
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
        log(QStringLiteral("in  %1: %2").arg(from.toString(), QString::fromUtf8(d)));

    Session *s = nullptr;
    if (!tokenView.isEmpty() && tokenView.size() <= WireLimits::maxTokenChars) {
        auto it = m_sessions.find(packToken(tokenView));
        // A token is good only from the address it was given to.
        if (it != m_sessions.end() && it->second->peer == from)
            s = it->second.get();
    }
    if (s) {
        if (!s->verified) {
            s->verified = true;
            m_pendingByPeer.remove(from, s->token);
        }
    } else {
        // First poll of a session, or a repeat of it whose answer was lost:
        // the repeat starts with the same records.
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
        if (!s) {
            if (!tokenView.isEmpty() && !carriesPresence(records))
                return bareAck(AckHeader::announceAgain); // unknown token: announce yourself again
            if (tokenView.isEmpty() && records.isEmpty())
                return bareAck(k); // a token would not fit in the reply yet
            s = openSession(from, nowMs);
            if (!s) {
                ++m_stats.refused;
                QByteArray out = bareAck(k);
                const QByteArray full = "<R>1</R><M>The chat server is full; please try again later.</M>\n";
                if (out.size() + full.size() <= d.size())
                    out += full;
                return out;
            }
        }
    }
    s->lastSeenMs = nowMs;
    // The client's echo confirms the last reply: its records need not go again.
    s->echoesReplies = header->echoesReplies;
    // Assigned, not cleared: a cleared list keeps its buffer, and an idle
    // session must not hold on to the size of its biggest reply.
    if (!s->held.isEmpty() && (!s->echoesReplies || header->lastReply == s->replyNumber))
        s->held = QList<QByteArray>();

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
            PollContext ctx;
            ctx.echoesReplies = header->echoesReplies;
            ctx.lastReply = header->lastReply;
            processRecords(*s, fresh, ctx, nowMs);
        }
    }
    s->lastK = k;

    const QByteArray reply = buildReply(s, k, s->verified ? WireLimits::maxReplyBytes : int(d.size()));
    if (m_verbose)
        log(QStringLiteral("out %1: %2").arg(from.toString(), QString::fromUtf8(reply)));
    if (s->leaving)
        endSession(s, QStringLiteral("left"), false);
    return reply;
}

QByteArray ChatServer::buildReply(Session *s, int k, int sizeLimit)
{
    const QByteArray token = tokenText(s->token);
    QByteArray out;
    if (!s->verified) {
        // Until the token comes back, never send more than we were sent.
        const int q = int(s->queue.size());
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
        AckHeader::append(out, k, int(s->queue.size()), token, s->replyNumber);
        for (const QByteArray &r : std::as_const(s->held)) {
            out += r;
            out += '\n';
        }
        return out;
    }
    // The acknowledgement has room of its own; the records fill the rest.
    const qsizetype room = sizeLimit - WireLimits::maxAckBytes;
    qsizetype used = 0;
    int n = 0;
    for (const QByteArray &r : std::as_const(s->queue)) {
        if (used + r.size() + 1 > room)
            break;
        used += r.size() + 1;
        ++n;
    }
    // A record too big for any reply would block the queue for good.
    if (n == 0 && !s->queue.isEmpty() && s->queue.first().size() + 1 > room) {
        s->queue.removeFirst();
        log(QStringLiteral("session %1: dropped an oversized record").arg(QString::fromLatin1(token)));
    }
    quint32 number = 0;
    if (n > 0 && s->echoesReplies) {
        s->replyNumber = NumberWindow::next(s->replyNumber);
        number = s->replyNumber;
        s->held = s->queue.first(n);
    }
    out.reserve(WireLimits::maxAckBytes + used);
    AckHeader::append(out, k, int(s->queue.size()) - n, token, number);
    for (int i = 0; i < n; ++i) {
        out += s->queue.at(i);
        out += '\n';
    }
    s->queue.remove(0, n);
    if (s->queue.isEmpty())
        s->queue = QList<QByteArray>(); // an idle session keeps no buffer
    return out;
}

void ChatServer::processRecords(Session &s, QByteArrayView records, PollContext &ctx, qint64 nowMs)
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
        const int limit = kind == kindNumber(RecordKind::SaveBulletin) ? WireLimits::maxBulletinRecordBytes
                                                                       : WireLimits::maxRecordBytes;
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
            const int room = GetI(rec, Field::Room);
            (GetI(rec, Field::Watch) == 1 ? ctx.requestedWatch : ctx.requested) << room;
            QString why;
            mayEnter(s, room, rec, &why);
        }
        items.append({kind, number, rec});
    }
    // Presence first: a client back after an outage sends the lines it kept
    // and announces itself in the same poll, and the lines need the presence.
    for (const bool presence : {true, false}) {
        for (const Item &it : std::as_const(items)) {
            if ((it.kind == kindNumber(RecordKind::Presence)) != presence)
                continue;
            if (it.number > 0 && !s.records.take(it.number)) {
                ++m_stats.resentSkipped;
                continue;
            }
            ++m_stats.records;
            ctx.recordNumber = it.number;
            dispatch(s, it.kind, it.rec, ctx, nowMs);
        }
    }
}

void ChatServer::tick(qint64 nowMs)
{
    m_guesses.prune(nowMs);
    QList<Session *> idle;
    for (auto &[t, s] : m_sessions)
        if (nowMs - s->lastSeenMs > m_limits.idleMs)
            idle << s.get();
    for (Session *s : std::as_const(idle))
        endSession(s, QStringLiteral("idle"), true);
}

} // namespace hchat
