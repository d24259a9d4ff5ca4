#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

namespace hchat {

/// Carries datagrams between the link and one chat server. The real one is a
/// UDP socket (platform layer); tests use a recording fake. Implementations
/// deliver only datagrams that come from the current endpoint: anyone can send
/// UDP to the client's port.
class Transport
{
public:
    virtual ~Transport() = default;

    /// Sends one datagram to the current endpoint. Never blocks; a datagram
    /// that can't go out is lost like any UDP datagram.
    virtual void sendDatagram(const QByteArray &datagram) = 0;
    /// Points the transport at another server; later datagrams go there and
    /// only datagrams from there are delivered.
    virtual void setEndpoint(const QString &host, quint16 port) = 0;

    /// Set by the transport's user: called once for each datagram received
    /// from the current endpoint, with its sender.
    std::function<void(const QByteArray &datagram, const QString &fromHost, quint16 fromPort)> receiver;
};

} // namespace hchat
