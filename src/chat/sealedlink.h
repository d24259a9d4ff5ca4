#pragma once

#include "chat/serverkeys.h"
#include "protocol/sealedtransport.h"
#include "protocol/serverendpoint.h"

#include <functional>

namespace hchat {

/// The client's side of the sealed link: puts the key held for each server
/// into the sealed transport, keeps keys learned at the first contact, and
/// tells the user when a server shows another key or speaks plain. The
/// connection talks through it as through any transport; it sits on the
/// sealed transport, which sits on the socket.
class SealedLink : public Transport, private SealEvents
{
public:
    /// inner: the real transport (not owned); member: the member's own keys.
    SealedLink(ChatSettings &settings, Transport &inner, SealKeyPair member);
    ~SealedLink() override;

    void sendDatagram(const QByteArray &datagram) override;
    /// Takes the key held for the new server: with one, only a sealed link;
    /// without, the first contact learns it and plain is a last resort.
    void setEndpoint(const QString &host, quint16 port) override;

    /// The key held for the server in use (base64), empty when none.
    QString serverKey() const;
    /// A key the user gave for the server in use (base64, checked with
    /// ServerKeys::problem); empty forgets the old one, so that the next
    /// contact learns the key again. The link starts over with it.
    void acceptServerKey(const QString &key);

    SealState state() const { return m_blocked ? SealState::Waiting : m_sealed.state(); }
    /// The fingerprint of the server's key, empty when none is known.
    QString fingerprint() const { return m_sealed.fingerprint(); }
    SealedTransport &transport() { return m_sealed; }

    /// A line for the transcript.
    std::function<void(const QString &)> notice;
    /// The keys in the settings changed: they are worth saving now.
    std::function<void()> keysChanged;

private:
    // SealEvents
    void sealStateChanged(SealState state) override;
    void sealKeyLearned(const QByteArray &publicKey) override;
    void sealKeyChanged(const QByteArray &known, const QByteArray &offered) override;

    void useKey(const QString &key);
    void tell(const QString &text);

    ServerKeys m_keys;
    SealedTransport m_sealed;
    ServerEndpoint m_endpoint;
    bool m_blocked = false; ///< the key held can't be read: nothing goes out
};

} // namespace hchat
