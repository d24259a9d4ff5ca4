#pragma once

#include "catalogue/catalogue.h"
#include "chat/chatsession.h"
#include "platform/udptransport.h"
#include "support/fakesink.h"
#include "support/wiredsession.h"

namespace hchat::test {

/// The real socket, counting what passes.
struct CountingTransport : UdpTransport {
    int sent = 0;
    int received = 0;
    void sendDatagram(const QByteArray &datagram) override
    {
        ++sent;
        UdpTransport::sendDatagram(datagram);
    }
};

/// A member in this process on the real link and a real UDP socket, talking
/// to a server at `endpoint` ("127.0.0.1:port"); its time runs by tick().
struct LoopbackMember {
    Catalogue catalogue = shippedCatalogue();
    FakeSink sink;
    CountingTransport transport;
    ChatSession session;

    LoopbackMember(const QString &nick, int room, const QString &endpoint)
    {
        session.setCatalogue(&catalogue);
        session.setSink(&sink);
        session.set(&ChatSettings::nick, nick);
        session.set(&ChatSettings::room, room);
        session.connection().setServerOverride(endpoint);
        session.connection().open(&transport);
        transport.receiver = [this, inner = transport.receiver](const QByteArray &d, const QString &h,
                                                                quint16 p) {
            ++transport.received;
            inner(d, h, p);
        };
    }
    ~LoopbackMember() { session.connection().close(); }
    LoopbackMember(const LoopbackMember &) = delete;
    LoopbackMember &operator=(const LoopbackMember &) = delete;

    /// Everything the transcript was told, a line each.
    QString shown() const { return (sink.texts("ShowMessage") + sink.texts("TimeStamp")).join(u'\n'); }
};

} // namespace hchat::test
