#include "protocol/sealedtransport.h"

#include <QDateTime>

namespace hchat {

namespace {
// Handshakes kept for a late answer: the link polls again before a slow one comes.
constexpr qsizetype kPendingHandshakes = 4;
} // namespace

SealedTransport::SealedTransport(Transport &inner, SealEvents &events, SealKeyPair member)
    : m_inner(inner), m_events(events), m_member(std::move(member)),
      m_clock([] { return QDateTime::currentMSecsSinceEpoch(); })
{
    m_inner.receiver = [this](const QByteArray &datagram, const QString &host, quint16 port) {
        receive(datagram, host, port);
    };
}

SealedTransport::~SealedTransport()
{
    m_inner.receiver = nullptr;
}

void SealedTransport::setEndpoint(const QString &host, quint16 port)
{
    m_inner.setEndpoint(host, port);
    restart();
}

void SealedTransport::setServerKey(const QByteArray &publicKey)
{
    m_serverKey = publicKey;
    m_offeredKey.clear();
    m_channel.reset();
    m_pending.clear();
    m_unanswered = 0;
    setState(SealState::Waiting);
}

void SealedTransport::restart()
{
    m_channel.reset();
    m_pending.clear();
    m_unanswered = 0;
    if (m_state == SealState::Plain && m_serverKey.isEmpty())
        return;
    setState(SealState::Waiting);
}

void SealedTransport::sendDatagram(const QByteArray &datagram)
{
    m_lastPoll = datagram;
    switch (m_state) {
    case SealState::Plain:
        m_inner.sendDatagram(datagram);
        return;
    case SealState::Encrypted:
        m_inner.sendDatagram(m_channel->seal(datagram));
        return;
    case SealState::Waiting:
        break;
    }
    if (!m_offeredKey.isEmpty()) {
        // The key changed: nothing of ours reaches that server until the owner decides.
        requestKey();
        return;
    }
    if (m_serverKey.isEmpty()) {
        if (m_fallback && m_unanswered >= m_giveUpAfter) {
            m_pending.clear();
            setState(SealState::Plain);
            m_inner.sendDatagram(datagram);
            return;
        }
        requestKey();
        ++m_unanswered;
        return;
    }
    // A known key going unanswered: ask whether the server has another.
    if (m_unanswered >= m_giveUpAfter)
        requestKey();
    handshake(datagram);
}

void SealedTransport::handshake(const QByteArray &poll)
{
    auto initiator = std::make_shared<SealInitiator>(m_member, m_serverKey);
    m_lastStamp = qMax(m_lastStamp + 1, quint64(qMax<qint64>(0, m_clock())));
    const QByteArray bytes = initiator->handshake(poll, m_lastStamp);
    if (bytes.isEmpty())
        return; // an unusable key, or a poll no datagram could carry
    m_pending.append(std::move(initiator));
    if (m_pending.size() > kPendingHandshakes)
        m_pending.removeFirst();
    m_inner.sendDatagram(bytes);
    ++m_unanswered;
}

void SealedTransport::requestKey()
{
    m_keyRequested = true;
    m_inner.sendDatagram(SealWire::keyRequest());
}

void SealedTransport::setState(SealState state)
{
    if (state == m_state)
        return;
    m_state = state;
    m_events.sealStateChanged(state);
}

void SealedTransport::receive(const QByteArray &datagram, const QString &host, quint16 port)
{
    const auto deliver = [&](const QByteArray &plain) {
        if (receiver && !plain.isEmpty())
            receiver(plain, host, port);
    };
    switch (SealWire::typeOf(datagram)) {
    case 0:
        // Plain only once we fell back: anyone can forge the server's address.
        if (m_state == SealState::Plain)
            deliver(datagram);
        return;
    case SealWire::HandshakeAnswer:
        if (m_state != SealState::Waiting)
            return;
        for (const auto &initiator : std::as_const(m_pending)) {
            auto opened = initiator->answer(datagram);
            if (!opened)
                continue;
            m_channel = std::make_unique<SealedChannel>(std::move(opened->first));
            m_pending.clear();
            m_unanswered = 0;
            setState(SealState::Encrypted);
            deliver(opened->second);
            return;
        }
        return;
    case SealWire::Data:
        if (m_channel)
            if (auto plain = m_channel->open(datagram))
                deliver(*plain);
        return;
    case SealWire::KeyAnswer:
        onKeyAnswer(datagram);
        return;
    case SealWire::SessionUnknown:
        // The server lost our session (a restart): handshake again at once.
        if (m_channel && SealWire::indexOf(datagram) == m_channel->remoteIndex()) {
            m_channel.reset();
            m_unanswered = 0;
            setState(SealState::Waiting);
            if (!m_lastPoll.isEmpty())
                handshake(m_lastPoll);
        }
        return;
    default:
        return;
    }
}

void SealedTransport::onKeyAnswer(QByteArrayView datagram)
{
    // Only an answer to a request of ours: anyone who forges the server's
    // address could otherwise offer a key unasked and stop the link.
    if (m_state != SealState::Waiting || !m_keyRequested || datagram.size() != SealWire::keyAnswerBytes)
        return;
    const QByteArray offered = datagram.sliced(1).toByteArray();
    if (!SealKeyText::usable(offered))
        return;
    if (offered == m_serverKey) {
        m_keyRequested = false;
        m_offeredKey.clear(); // the server stands by the key we keep
    } else if (m_serverKey.isEmpty()) {
        m_keyRequested = false;
        m_serverKey = offered;
        m_unanswered = 0;
        m_events.sealKeyLearned(offered);
        if (!m_lastPoll.isEmpty())
            handshake(m_lastPoll);
    } else if (offered != m_serverKey && offered != m_offeredKey) {
        m_offeredKey = offered;
        m_pending.clear();
        m_events.sealKeyChanged(m_serverKey, offered);
    }
}

} // namespace hchat
