#pragma once

// A chat client for driving ChatServer in tests without sockets: the real
// DatagramLink, its polls handed straight to the server and the replies
// straight back.

#include "protocol/ackheader.h"
#include "protocol/codec.h"
#include "protocol/datagramlink.h"
#include "protocol/field.h"
#include "protocol/linkevents.h"
#include "protocol/sealedtransport.h"
#include "protocol/transport.h"
#include "protocol/wiretext.h"
#include "server/chatserver.h"
#include "server/sealedgate.h"

#include <QStringList>

namespace hchat {

struct LinkClient : LinkEvents, Transport {
    ChatServer *server = nullptr;
    Endpoint peer;
    const qint64 *now = nullptr;
    DatagramLink link{*this};

    QStringList received; ///< records handed up, in order (pages as kind 4 records)
    QStringList shown;    ///< the link's own notices
    QList<quint32> delivered;
    QList<quint32> dropped;
    QByteArray lastPoll;
    QByteArray lastReply; ///< unsealed when sealed
    QByteArray lastRaw;
    bool loseReplies = false;   ///< the network loses every reply
    QString presenceFields;     ///< sent again when the server asks us to announce
    SealedGate *gate = nullptr; ///< set by seal(): datagrams go through the server's gate
    SealEvents sealEvents;
    std::unique_ptr<SealedTransport> sealed;

    LinkClient(ChatServer *s, quint16 port, const qint64 *clock)
        : server(s), peer(Endpoint::ipv4(0x7f000001, port)), now(clock)
    {
        link.open(this);
    }
    ~LinkClient() { link.open(nullptr); } // before the sealed transport goes

    // Transport
    void sendDatagram(const QByteArray &datagram) override
    {
        lastPoll = datagram;
        if (!gate) {
            m_replies << server->handleDatagram(peer, datagram, *now);
            return;
        }
        SealedGate::Datagrams out;
        gate->handle(peer, datagram, *now, &out);
        for (const auto &[to, bytes] : out)
            if (to == peer)
                m_replies << bytes;
    }
    /// Speaks through `g` from now on, sealed under `member` to a server of `serverKey`.
    void seal(SealedGate *g, const SealKeyPair &member, const QByteArray &serverKey)
    {
        gate = g;
        link.open(nullptr); // it would clear the receiver the sealed transport sets
        sealed = std::make_unique<SealedTransport>(*this, sealEvents, member);
        sealed->setServerKey(serverKey);
        link.open(sealed.get());
        sealed->receiver = [this, up = sealed->receiver](const QByteArray &d, const QString &h, quint16 p) {
            lastReply = d;
            up(d, h, p);
        };
    }
    void setEndpoint(const QString &, quint16) override {}

    // LinkEvents
    void linkShow(const QString &line) override { shown << line; }
    void linkDispatch(int, const QString &record) override { received << record; }
    void linkPaged(const QString &from) override
    {
        received << AddI(4, Field::Kind) + AddS(from, Field::Nick);
    }
    void linkBufferSize(int) override {}
    void linkReannounce() override
    {
        if (presenceFields.isEmpty())
            return;
        link.beginAnnouncement();
        link.Send(5, presenceFields);
        link.endAnnouncement();
    }
    void linkRepeatWarning(int, const QString &) override {}
    void linkLost() override {}
    void linkRestored() override {}
    void linkDelivered(quint32 number) override { delivered << number; }
    void linkDropped(quint32 number, const QString &, const QString &) override { dropped << number; }

    /// Queues a whole record as written (`<R>kind</R>` and fields); returns its number.
    quint32 queue(const QString &record)
    {
        return link.Send(GetI(record, Field::Kind), KillS(record, QStringLiteral("R")));
    }
    void presence(const QString &nick, const QString &id, int room, int watch = -1,
                  const QString &icon = QStringLiteral("5|0"))
    {
        presenceFields = AddS(id, Field::Id) + AddS(nick, Field::Nick) + AddS(icon, Field::Icon) +
                         AddI(room, Field::Room) + AddI(watch, Field::Watch) + AddI(1400, Field::Buffer);
        link.Send(5, presenceFields);
    }
    quint32 say(int room, const QString &text, int colour = 255)
    {
        return link.Send(1,
                         AddI(colour, Field::Colour) + AddI(room, Field::Room) + AddText(text, Field::Text));
    }

    /// One poll and its reply; returns the reply (empty when none came).
    QByteArray poll()
    {
        server->finishPasswordChecks(); // staff passwords are checked off the poll loop
        link.Send(0);
        return deliver();
    }
    /// Hands the replies of the polls sent so far to the link.
    QByteArray deliver()
    {
        const QList<QByteArray> replies = std::exchange(m_replies, {});
        QByteArray last;
        for (const QByteArray &r : replies) {
            if (r.isEmpty() || loseReplies)
                continue;
            last = lastRaw = lastReply = r;
            receiver(r, {}, 0);
        }
        return last;
    }
    /// Polls until the server holds nothing more for us and nothing waits to go.
    void drain()
    {
        for (int i = 0; i < 50; ++i) {
            poll();
            if (link.lastQ() == 0 && link.outbox().isEmpty())
                break;
        }
    }

    /// The K of the last acknowledgement; -1 before any.
    int ackK() const
    {
        const qsizetype nl = lastReply.indexOf('\n');
        const auto ack = AckHeader::parse(QByteArrayView(lastReply).first(qMax<qsizetype>(nl, 0)));
        return ack ? ack->k : -1;
    }
    QByteArray token() const { return link.token().toUtf8(); }

    /// Takes the received records of a kind, without the number (`O`) the
    /// server puts on a refusal of one of ours.
    QStringList take(int kind)
    {
        QStringList out;
        for (qsizetype i = 0; i < received.size();)
            if (GetI(received[i], Field::Kind) == kind)
                out << KillS(received.takeAt(i), QStringLiteral("O"));
            else
                ++i;
        return out;
    }

private:
    QList<QByteArray> m_replies;
};

} // namespace hchat
