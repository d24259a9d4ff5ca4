#pragma once

// A minimal client for driving ChatServer in tests without sockets: keeps
// an outbox, numbers its polls like the real link and collects what the
// server sends back.

#include "protocol/codec.h"
#include "server/chatserver.h"

#include <QStringList>

namespace hchat {

struct PollClient {
    ChatServer *server = nullptr;
    Endpoint peer;
    qint64 *now = nullptr;
    QByteArray token;
    int k = 0;
    QByteArray outbox;
    qsizetype lastSent = 0;
    QStringList received; ///< records after the acknowledgement, in order
    QByteArray lastReply;
    int lastAckK = -1;
    int lastQ = 0;

    PollClient(ChatServer *s, quint16 port, qint64 *clock)
        : server(s), peer(Endpoint::ipv4(0x7f000001, port)), now(clock)
    {
    }

    void queue(const QString &record) { outbox += record.toUtf8() + '\n'; }

    void presence(const QString &nick, const QString &id, int room, int watch = -1,
                  const QString &icon = "5|0")
    {
        queue(AddI(5, "R") + AddS(id, "E") + AddS(nick, "N") + AddS(icon, "I") + AddI(room, "#") +
              AddI(watch, "W") + AddI(1400, "T"));
    }
    void say(int room, const QString &text, int colour = 255)
    {
        queue(AddI(1, "R") + AddI(colour, "F") + AddI(room, "#") + AddS(text, "M"));
    }

    /// The next poll datagram, advancing K like the real link does.
    QByteArray datagram()
    {
        if (!outbox.isEmpty() && outbox.size() != lastSent)
            k = (k + 1) % 10;
        lastSent = outbox.size();
        QByteArray d = outbox + "<R>0</R><K>" + QByteArray::number(k) + "</K>";
        if (!token.isEmpty())
            d += "<L>" + token + "</L>";
        return d + "\r\n";
    }

    /// Hands a reply to the client as the link would.
    void receive(const QByteArray &reply)
    {
        lastReply = reply;
        const qsizetype nl = reply.indexOf('\n');
        if (nl < 0)
            return;
        const QString ack = QString::fromUtf8(reply.left(nl));
        lastAckK = GetI(ack, "K");
        lastQ = GetI(ack, "Q");
        if (lastAckK == k) {
            outbox.remove(0, lastSent);
            lastSent = 0;
        }
        const QString l = GetS(ack, "L");
        if (!l.isEmpty())
            token = l.toUtf8();
        for (const QByteArray &line : reply.mid(nl + 1).split('\n'))
            if (!line.isEmpty())
                received << QString::fromUtf8(line);
    }

    /// One full round trip; returns the reply.
    QByteArray poll()
    {
        const QByteArray reply = server->handleDatagram(peer, datagram(), *now);
        receive(reply);
        return reply;
    }

    /// Polls until the server holds nothing more for us.
    void drain()
    {
        for (int i = 0; i < 50; ++i) {
            poll();
            if (lastQ == 0 && outbox.isEmpty())
                break;
        }
    }

    QStringList take(int kind)
    {
        QStringList out;
        for (qsizetype i = 0; i < received.size();)
            if (GetI(received[i], "R") == kind)
                out << received.takeAt(i);
            else
                ++i;
        return out;
    }
};

} // namespace hchat
