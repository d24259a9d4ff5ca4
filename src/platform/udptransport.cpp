#include "platform/udptransport.h"

#include <QHostInfo>
#include <QNetworkDatagram>
#include <QVariant>

namespace hchat {

UdpTransport::UdpTransport(QObject *parent) : QObject(parent)
{
    // Both address families where the system has them, IPv4 alone otherwise.
    if (!udpChat.bind(QHostAddress::Any, 0))
        udpChat.bind(QHostAddress::AnyIPv4, 0);
    udpChat.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, QVariant(receiveBufferSize));
    connect(&udpChat, &QUdpSocket::readyRead, this, &UdpTransport::udpChatDataAvailable);
}

void UdpTransport::sendDatagram(const QByteArray &datagram)
{
    if (m_address.isNull() || m_port == 0)
        return;
    udpChat.writeDatagram(datagram, m_address, m_port);
}

void UdpTransport::setEndpoint(const QString &host, quint16 port)
{
    if (m_lookupId >= 0) {
        QHostInfo::abortHostLookup(m_lookupId);
        m_lookupId = -1;
    }
    m_host = host;
    m_port = port;
    m_address.clear();
    QHostAddress literal;
    if (literal.setAddress(host)) {
        m_address = literal;
        return;
    }
    m_lookupId = QHostInfo::lookupHost(host, this, &UdpTransport::hostFound);
}

void UdpTransport::hostFound(const QHostInfo &info)
{
    if (info.lookupId() != m_lookupId)
        return; // an endpoint we have left since
    m_lookupId = -1;
    const QList<QHostAddress> addresses = info.addresses();
    for (const QHostAddress &a : addresses) {
        if (a.protocol() == QAbstractSocket::IPv4Protocol) {
            m_address = a;
            return;
        }
    }
    if (!addresses.isEmpty()) {
        m_address = addresses.first();
        return;
    }
    emit lookupFailed(m_host);
}

bool UdpTransport::fromServer(const QHostAddress &address, quint16 port) const
{
    if (m_address.isNull() || port != m_port)
        return false;
    return address.isEqual(m_address,
                           QHostAddress::ConvertV4MappedToIPv4 | QHostAddress::ConvertV4CompatToIPv4);
}

void UdpTransport::udpChatDataAvailable()
{
    while (udpChat.hasPendingDatagrams()) {
        const QNetworkDatagram datagram = udpChat.receiveDatagram();
        if (datagram.senderAddress().isNull())
            break; // a read error: leave the rest for the next readyRead
        if (!fromServer(datagram.senderAddress(), quint16(datagram.senderPort())))
            continue;
        if (receiver)
            receiver(datagram.data(), datagram.senderAddress().toString(), quint16(datagram.senderPort()));
    }
}

} // namespace hchat
