#pragma once

#include "protocol/transport.h"

#include <QHostAddress>
#include <QObject>
#include <QUdpSocket>

class QHostInfo;

namespace hchat {

/// The chat socket `udpChat`: one UDP socket on any local port, talking to
/// the current chat server. Datagrams from anywhere else are dropped, since
/// anyone can send UDP to our port.
class UdpTransport : public QObject, public Transport
{
    Q_OBJECT
public:
    /// Room for one whole datagram of the chat server.
    static constexpr int receiveBufferSize = 8192;

    /// Binds the socket to any free local port.
    explicit UdpTransport(QObject *parent = nullptr);

    bool isBound() const { return udpChat.state() == QAbstractSocket::BoundState; }
    quint16 localPort() const { return udpChat.localPort(); }

    void sendDatagram(const QByteArray &datagram) override;
    /// A host name is looked up in the background; until it is known,
    /// datagrams are dropped as if lost (the link polls again).
    void setEndpoint(const QString &host, quint16 port) override;

    /// The server's address once known; null while a lookup runs or failed.
    QHostAddress serverAddress() const { return m_address; }

    QUdpSocket udpChat;

signals:
    /// The endpoint's host name could not be resolved.
    void lookupFailed(const QString &host);

private slots:
    void udpChatDataAvailable();

private:
    void hostFound(const QHostInfo &info);
    bool fromServer(const QHostAddress &address, quint16 port) const;

    QString m_host;
    QHostAddress m_address;
    quint16 m_port = 0;
    int m_lookupId = -1;
};

} // namespace hchat
