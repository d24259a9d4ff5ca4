#include "chatserver.h"

#include "protocol/codec.h"

#include <QRandomGenerator>
#include <QStringDecoder>
#include <QTimeZone>

namespace hchat {

namespace {

// The poll header is read straight from the bytes: it is the one thing every
// datagram carries, and idle polls must cost next to nothing. Same rule as
// the codec: first opening tag, first closing tag, value between them.
QByteArrayView fieldView(QByteArrayView line, char name)
{
    const char open[3] = {'<', name, '>'};
    const char close[4] = {'<', '/', name, '>'};
    const qsizetype o = line.indexOf(QByteArrayView(open, 3));
    const qsizetype c = line.indexOf(QByteArrayView(close, 4));
    if (o < 0 || c < 0 || o + 3 > c)
        return {};
    return line.sliced(o + 3, c - o - 3);
}

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

void appendAck(QByteArray &out, int k, int q, const QByteArray &token, bool withQ, bool withL)
{
    out += "<R>0</R><K>";
    out += QByteArray::number(k);
    out += "</K>";
    if (withQ) {
        out += "<Q>";
        out += QByteArray::number(q);
        out += "</Q>";
    }
    if (withL) {
        out += "<L>";
        out += token;
        out += "</L>";
    }
    out += '\n';
}

QByteArray bareAck(int k)
{
    QByteArray out;
    appendAck(out, k, 0, {}, false, false);
    return out;
}

} // namespace

ChatServer::ChatServer(RoomStore *rooms, ServerLimits limits)
    : m_rooms(rooms), m_limits(limits), m_wallClock([] { return QDateTime::currentDateTimeUtc(); })
{
}

ChatServer::~ChatServer() = default;

void ChatServer::setStaff(const QStringList &nicks)
{
    m_staff.clear();
    for (const QString &n : nicks)
        if (!n.trimmed().isEmpty())
            m_staff << n.trimmed().toUpper();
}

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
    if (d.isEmpty() || d.size() > m_limits.maxDatagramBytes) {
        ++m_stats.refused;
        return {};
    }
    qsizetype end = d.size();
    while (end > 0 && (d[end - 1] == '\n' || d[end - 1] == '\r'))
        --end;
    const qsizetype nl = d.first(end).lastIndexOf('\n');
    const QByteArrayView header = d.sliced(nl + 1, end - nl - 1);
    const QByteArrayView records = nl >= 0 ? d.first(nl + 1) : QByteArrayView();
    const QByteArrayView kText = fieldView(header, 'K');
    // Not a poll: no reply at all, so forged datagrams reflect nothing.
    if (fieldView(header, 'R') != QByteArrayView("0") || kText.size() != 1 || kText[0] < '0' ||
        kText[0] > '9')
        return {};
    const int k = kText[0] - '0';
    const QByteArrayView tokenView = fieldView(header, 'L');
    if (m_verbose)
        log(QStringLiteral("in  %1: %2").arg(from.toString(), QString::fromUtf8(d)));

    Session *s = nullptr;
    if (!tokenView.isEmpty() && tokenView.size() <= 4) {
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
                return bareAck(10); // unknown token: announce yourself again
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

    if (!records.isEmpty()) {
        const quint64 h = hashBytes(records);
        if (k == s->lastK && h == s->lastRecordsHash && records.size() == s->lastRecordsLength) {
            ++m_stats.retransmissions;
        } else {
            // An outbox resent under a new K (its acknowledgement was lost
            // and more was queued since) starts with what we already took.
            QByteArrayView fresh = records;
            if (s->lastRecordsLength > 0 && records.size() > s->lastRecordsLength &&
                hashBytes(records.first(s->lastRecordsLength)) == s->lastRecordsHash) {
                fresh = records.sliced(s->lastRecordsLength);
                m_stats.resentSkipped += records.first(s->lastRecordsLength).count('\n');
            }
            s->lastRecordsHash = h;
            s->lastRecordsLength = int(records.size());
            processRecords(*s, fresh, nowMs);
        }
    }
    s->lastK = k;

    const QByteArray reply = buildReply(s, k, s->verified ? m_limits.maxReplyBytes : int(d.size()));
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
        appendAck(out, k, q, token, true, true);
        if (out.size() <= sizeLimit)
            return out;
        out.clear();
        appendAck(out, k, q, token, false, true);
        if (out.size() <= sizeLimit)
            return out;
        out = bareAck(k);
        return out.size() <= sizeLimit ? out : QByteArray();
    }
    // Count what fits first: the ack carries the count left behind.
    const int ackRoom = 40 + int(token.size());
    qsizetype used = ackRoom;
    int n = 0;
    for (const QByteArray &r : std::as_const(s->queue)) {
        if (used + r.size() + 1 > sizeLimit)
            break;
        used += r.size() + 1;
        ++n;
    }
    // A record too big for any reply would block the queue for good.
    if (n == 0 && !s->queue.isEmpty() && s->queue.first().size() + 1 + ackRoom > sizeLimit) {
        s->queue.removeFirst();
        log(QStringLiteral("session %1: dropped an oversized record").arg(QString::fromLatin1(token)));
    }
    out.reserve(used);
    appendAck(out, k, int(s->queue.size()) - n, token, true, true);
    for (int i = 0; i < n; ++i) {
        out += s->queue.at(i);
        out += '\n';
    }
    s->queue.remove(0, n);
    if (s->queue.isEmpty())
        s->queue = QList<QByteArray>(); // an idle session keeps no buffer
    return out;
}

void ChatServer::processRecords(Session &s, QByteArrayView records, qint64 nowMs)
{
    const qsizetype count = records.count('\n');
    if (count > m_limits.maxRecordsPerPoll) {
        ++m_stats.refused;
        notice(s, QStringLiteral("Too many records in one poll (%1, at most %2); none were taken.")
                      .arg(count)
                      .arg(m_limits.maxRecordsPerPoll));
        return;
    }
    struct Item {
        int kind;
        QString rec;
    };
    QList<Item> items;
    PollContext ctx;
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
        const int kind = toIntOrZero(QString::fromLatin1(fieldView(line, 'R')));
        const int limit = kind == 9 ? m_limits.maxBulletinRecordBytes : m_limits.maxRecordBytes;
        if (line.size() > limit) {
            ++m_stats.refused;
            notice(
                s,
                QStringLiteral("A record of %1 bytes was refused (at most %2).").arg(line.size()).arg(limit));
            continue;
        }
        // Wire text is UTF-8; anything else is read as Latin-1.
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        QString rec = utf8.decode(line);
        if (utf8.hasError())
            rec = QString::fromLatin1(line);
        if (kind == 25) {
            // A room's password rides in the room request that follows the
            // presence moving the member there: weigh it first.
            const int room = GetI(rec, QStringLiteral("#"));
            (GetI(rec, QStringLiteral("W")) == 1 ? ctx.requestedWatch : ctx.requested) << room;
            QString why;
            mayEnter(s, room, rec, &why);
        }
        items.append({kind, rec});
    }
    for (const Item &it : std::as_const(items)) {
        ++m_stats.records;
        dispatch(s, it.kind, it.rec, ctx, nowMs);
    }
}

void ChatServer::tick(qint64 nowMs)
{
    QList<Session *> idle;
    for (auto &[t, s] : m_sessions)
        if (nowMs - s->lastSeenMs > m_limits.idleMs)
            idle << s.get();
    for (Session *s : std::as_const(idle))
        endSession(s, QStringLiteral("idle"), true);
}

} // namespace hchat
