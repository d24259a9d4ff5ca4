#include "sealedgate.h"

#include "chatserver.h"

namespace hchat {

namespace {
// Handshake times kept past this are forgotten (see tick()).
constexpr qint64 kStampMs = 10 * 60 * 1000;
} // namespace

SealedGate::SealedGate(ChatServer *server, SealKeyPair key) : m_server(server), m_key(std::move(key)) {}

void SealedGate::handle(const Endpoint &peer, QByteArrayView d, qint64 nowMs, Datagrams *out)
{
    switch (SealWire::typeOf(d)) {
    case 0: {
        if (m_sealedOnly || m_byEndpoint.contains(peer)) {
            ++m_counters.plainRefused;
            return;
        }
        const QByteArray reply = m_server->handleDatagram(peer, d, nowMs);
        if (!reply.isEmpty())
            out->append({peer, reply});
        return;
    }
    case SealWire::Handshake:
        handshake(peer, d, nowMs, out);
        return;
    case SealWire::Data:
        data(peer, d, nowMs, out);
        return;
    case SealWire::KeyRequest:
        // Padded by the client: the answer is never larger than the request.
        if (d.size() >= SealWire::keyAnswerBytes)
            out->append({peer, SealWire::keyAnswer(m_key.publicKey)});
        return;
    default:
        ++m_counters.dropped; // answers are ours to send, not to take
        return;
    }
}

void SealedGate::handshake(const Endpoint &peer, QByteArrayView d, qint64 nowMs, Datagrams *out)
{
    // The allowances first: the key exchanges are what a flood would cost us.
    const int maxSessions = 2 * m_server->limits().maxSessions;
    if (int(m_sessions.size()) >= maxSessions || !m_server->takeHandshake(peer, nowMs) ||
        !m_allHandshakes.take(nowMs, 1, allHandshakesBurst)) {
        ++m_counters.handshakesRefused;
        return;
    }
    const auto opened = SealResponder::open(m_key, d);
    if (!opened) {
        ++m_counters.dropped;
        return;
    }
    auto &stamp = m_stamps[opened->clientKey];
    if (opened->timestampMs <= stamp.first && stamp.second != 0) {
        ++m_counters.dropped; // a replay
        return;
    }
    stamp = {opened->timestampMs, qMax<qint64>(nowMs, 1)};
    const int limit = int(opened->size - SealWire::answerOverhead);
    QByteArray reply = m_server->handleDatagram(peer, opened->poll, nowMs, limit, opened->clientKey);
    // A reply resent whole may be larger: it waits for the first sealed poll.
    if (reply.size() > limit)
        reply.clear();
    quint32 index = sealRandomIndex();
    while (m_sessions.count(index))
        index = sealRandomIndex();
    auto [channel, answer] = SealResponder::answer(*opened, index, reply);
    // The address counts as sealed once data comes under the session: a
    // handshake forged with a plain member's address must not silence her.
    m_sessions[index] = {std::move(channel), peer, nowMs, false};
    ++m_counters.handshakes;
    out->append({peer, answer});
}

void SealedGate::data(const Endpoint &peer, QByteArrayView d, qint64 nowMs, Datagrams *out)
{
    const std::optional<quint32> index = SealWire::indexOf(d);
    if (!index) {
        ++m_counters.dropped;
        return;
    }
    const auto it = m_sessions.find(*index);
    if (it == m_sessions.end() || !(it.value().endpoint == peer)) {
        // After a restart, or from a new address: the client handshakes again.
        ++m_counters.unknownSessions;
        out->append({peer, SealWire::sessionUnknown(*index)});
        return;
    }
    Peer &p = it.value();
    const std::optional<QByteArray> plain = p.channel.open(d);
    if (!plain) {
        ++m_counters.dropped;
        return;
    }
    p.lastMs = nowMs;
    if (!p.confirmed) {
        // The address's news goes under the session that spoke last; written
        // once a session, not once a datagram.
        p.confirmed = true;
        m_byEndpoint[peer] = *index;
    }
    const QByteArray reply =
        m_server->handleDatagram(peer, *plain, nowMs, WireLimits::maxReplyBytes, p.channel.peerKey());
    if (!reply.isEmpty())
        out->append({peer, p.channel.seal(reply)});
}

QByteArray SealedGate::sealFor(const Endpoint &to, const QByteArray &plain)
{
    const auto index = m_byEndpoint.constFind(to);
    if (index == m_byEndpoint.cend())
        return plain;
    const auto it = m_sessions.find(*index);
    return it == m_sessions.end() ? plain : it.value().channel.seal(plain);
}

SealedGate::Datagrams SealedGate::takeNews()
{
    Datagrams news = m_server->takeNews();
    for (auto &[to, bytes] : news)
        bytes = sealFor(to, bytes);
    return news;
}

void SealedGate::tick(qint64 nowMs)
{
    for (auto it = m_sessions.begin(); it != m_sessions.end();) {
        const Peer &p = it.value();
        if (nowMs - p.lastMs <= (p.confirmed ? idleMs : unconfirmedMs)) {
            ++it;
            continue;
        }
        const auto e = m_byEndpoint.constFind(p.endpoint);
        if (e != m_byEndpoint.cend() && *e == it.key())
            m_byEndpoint.remove(p.endpoint);
        it = m_sessions.erase(it);
    }
    // A replayed handshake older than this opens a session nobody can use
    // and repeats a poll the chat server has taken already.
    for (auto it = m_stamps.begin(); it != m_stamps.end();)
        it = nowMs - it.value().second > kStampMs ? m_stamps.erase(it) : std::next(it);
}

} // namespace hchat
