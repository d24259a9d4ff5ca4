#include "chat/sealedlink.h"

#include <QCoreApplication>

namespace hchat {

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("SealedLink", text);
}

} // namespace

SealedLink::SealedLink(ChatSettings &settings, Transport &inner, SealKeyPair member)
    : m_keys(settings), m_sealed(inner, *this, std::move(member))
{
    m_sealed.receiver = [this](const QByteArray &datagram, const QString &host, quint16 port) {
        if (receiver)
            receiver(datagram, host, port);
    };
}

SealedLink::~SealedLink()
{
    m_sealed.receiver = nullptr;
}

void SealedLink::sendDatagram(const QByteArray &datagram)
{
    if (!m_blocked)
        m_sealed.sendDatagram(datagram);
}

void SealedLink::setEndpoint(const QString &host, quint16 port)
{
    m_endpoint = ServerEndpoint{host, port};
    m_sealed.setEndpoint(host, port);
    useKey(m_keys.keyFor(m_endpoint));
}

QString SealedLink::serverKey() const
{
    return m_keys.keyFor(m_endpoint);
}

void SealedLink::acceptServerKey(const QString &key)
{
    const QString k = key.trimmed();
    if (m_keys.setKeyFor(m_endpoint, k) && keysChanged)
        keysChanged();
    useKey(k);
}

void SealedLink::useKey(const QString &key)
{
    const QByteArray bytes = SealKeyText::decode(key);
    // A key held but unreadable (a hand-edited file) is still a key: taking
    // whatever the server offers instead would undo the trust it stood for.
    m_blocked = !key.isEmpty() && bytes.isEmpty();
    if (m_blocked)
        tell(tr("The key kept for the server %1 is damaged: nothing is sent to it. Paste its key in "
                "Properties → Server key, or clear that box to take the key the server shows.")
                 .arg(m_endpoint.toString()));
    m_sealed.setPlainFallback(key.isEmpty());
    m_sealed.setServerKey(bytes);
}

void SealedLink::sealStateChanged(SealState state)
{
    if (state == SealState::Plain)
        tell(tr("The server %1 does not answer the sealed link: the link is not encrypted, and anyone on "
                "the way can read what is sent.")
                 .arg(m_endpoint.toString()));
}

void SealedLink::sealKeyLearned(const QByteArray &publicKey)
{
    const bool kept = m_keys.setKeyFor(m_endpoint, SealKeyText::encode(publicKey));
    if (kept && keysChanged)
        keysChanged();
    const QString where =
        kept ? tr("kept from now on")
             : tr("kept for this run (the address is not among the servers of the settings)");
    tell(tr("First contact with the server %1: its key is %2. Fingerprint %3: compare it with the one "
            "the server's administrator gives you.")
             .arg(m_endpoint.toString(), where, SealKeyText::fingerprint(publicKey)));
}

void SealedLink::sealKeyChanged(const QByteArray &known, const QByteArray &offered)
{
    tell(tr("The server %1 shows another key than the one kept for it: kept %2, shown %3. Nothing is sent "
            "to it. If its administrator made a new key, paste it in Properties → Server key, or clear "
            "that box to accept the key shown.")
             .arg(m_endpoint.toString(), SealKeyText::fingerprint(known), SealKeyText::fingerprint(offered)));
}

void SealedLink::tell(const QString &text)
{
    if (notice)
        notice(text);
}

} // namespace hchat
