#pragma once

#include "protocol/transport.h"

#include <QByteArrayList>
#include <QStringList>

namespace hchat {

/// A transport that keeps every datagram sent and lets the test play the
/// server: deliver() hands a datagram to the receiver as if it came from the
/// current endpoint.
class FakeTransport : public Transport
{
public:
    void sendDatagram(const QByteArray &datagram) override
    {
        sent.append(datagram);
        sentTo.append(host + u':' + QString::number(port));
    }
    void setEndpoint(const QString &h, quint16 p) override
    {
        host = h;
        port = p;
        ++endpointChanges;
    }

    void deliver(const QByteArray &datagram)
    {
        if (receiver)
            receiver(datagram, host, port);
    }
    /// The last datagram sent, or empty.
    QByteArray last() const { return sent.isEmpty() ? QByteArray() : sent.last(); }
    /// Takes the datagrams sent so far.
    QByteArrayList take()
    {
        QByteArrayList out;
        out.swap(sent);
        sentTo.clear();
        return out;
    }

    QByteArrayList sent;
    QStringList sentTo; ///< "host:port" each datagram went to
    QString host;
    quint16 port = 0;
    int endpointChanges = 0;
};

} // namespace hchat
