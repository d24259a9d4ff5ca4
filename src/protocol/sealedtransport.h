#pragma once

#include "protocol/sealing.h"
#include "protocol/transport.h"

#include <QList>

#include <functional>
#include <memory>

namespace hchat {

/// Where the sealed link stands, as the status line shows it.
enum class SealState {
    Waiting,   ///< no answer yet: polls wait for a handshake or a key
    Encrypted, ///< every datagram is sealed
    Plain,     ///< fell back to today's plain datagrams ("not encrypted")
};

/// What SealedTransport tells its owner. Every call has an empty default.
class SealEvents
{
public:
    virtual ~SealEvents() = default;
    virtual void sealStateChanged(SealState) {}
    /// Trust on first use: the server offered this key and it is now the
    /// one used; keep it for the server (ServerKey).
    virtual void sealKeyLearned(const QByteArray & /*publicKey*/) {}
    /// The server offers another key than the one kept: nothing but key
    /// requests goes out until setServerKey() is called again.
    virtual void sealKeyChanged(const QByteArray & /*known*/, const QByteArray & /*offered*/) {}
};

/// The client's sealed link: decorates the real transport, so the link above
/// it keeps speaking today's datagrams byte for byte.
///
/// How the owner drives it:
/// - Construct it over the real transport with the member's key pair (kept
///   in the user's folder, SealKeyPair::loadOrCreate) and open the
///   DatagramLink on it instead of the real transport. (A link open on the
///   real transport clears its receiver when it moves: move it first.)
/// - setServerKey() with the key kept for the server (empty: unknown). With
///   one, the first poll goes out as a handshake and the link is Encrypted
///   once answered; it never falls back to plain (no downgrade). Without
///   one, key requests go out first; the key offered is taken
///   (sealKeyLearned) and the handshake follows at once.
/// - setPlainFallback(true) lets a client with no key known give up after
///   setGiveUpAfter() unanswered datagrams and speak plain (Plain, shown as
///   "not encrypted").
/// - A known key that goes unanswered that long is checked with a key
///   request: another key offered is reported (sealKeyChanged) and only key
///   requests go out until the owner accepts the new key with setServerKey().
/// - restart() when the link announces itself anew or the server changes:
///   the next poll handshakes again. setEndpoint() does that too.
class SealedTransport : public Transport
{
public:
    SealedTransport(Transport &inner, SealEvents &events, SealKeyPair member);
    ~SealedTransport() override;

    void sendDatagram(const QByteArray &datagram) override;
    void setEndpoint(const QString &host, quint16 port) override;

    /// The server's static public key (32 bytes); empty when unknown. Starts over.
    void setServerKey(const QByteArray &publicKey);
    const QByteArray &serverKey() const { return m_serverKey; }
    void setPlainFallback(bool allowed) { m_fallback = allowed; }
    /// Unanswered handshakes or key requests before giving up on plain or
    /// checking the key (default 4).
    void setGiveUpAfter(int count) { m_giveUpAfter = qMax(1, count); }
    /// The clock stamped on handshakes (ms since the epoch, tests set it).
    void setClock(std::function<qint64()> nowMs) { m_clock = std::move(nowMs); }

    /// Handshakes again with the next poll (a plain link without a key stays plain).
    void restart();
    SealState state() const { return m_state; }
    /// The server key's fingerprint, empty when none is known.
    QString fingerprint() const { return SealKeyText::fingerprint(m_serverKey); }

private:
    void receive(const QByteArray &datagram, const QString &host, quint16 port);
    void onKeyAnswer(QByteArrayView datagram);
    void handshake(const QByteArray &poll);
    void requestKey();
    void setState(SealState state);

    Transport &m_inner;
    SealEvents &m_events;
    SealKeyPair m_member;
    QByteArray m_serverKey;
    QByteArray m_offeredKey; ///< another key the server offered; set while blocked on it
    bool m_fallback = false;
    int m_giveUpAfter = 4;
    int m_unanswered = 0;
    bool m_keyRequested = false; ///< a key request went out and no key was taken since
    std::function<qint64()> m_clock;
    quint64 m_lastStamp = 0;
    SealState m_state = SealState::Waiting;
    /// Handshakes sent and not answered: a late answer to an earlier one still counts.
    QList<std::shared_ptr<SealInitiator>> m_pending;
    std::unique_ptr<SealedChannel> m_channel;
    QByteArray m_lastPoll; ///< sent again in a handshake when the server lost our session
};

} // namespace hchat
