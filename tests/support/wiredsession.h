#pragma once

#include "catalogue/catalogue.h"
#include "chat/chatsession.h"
#include "protocol/codec.h"
#include "support/fakesink.h"
#include "support/faketransport.h"
#include "support/shippedcatalogue.h"

#include <QStringList>

namespace hchat::test {

/// A session on the real datagram link over a fake transport, playing the
/// server by hand: pump() carries the outbox out and acknowledges it, so
/// `wire` holds every record that left, once, in order.
struct WiredSession {
    Catalogue catalogue = shippedCatalogue();
    FakeSink sink;
    FakeTransport transport;
    ChatSession session;
    QStringList wire; ///< records that left, without LF

    explicit WiredSession(const QString &nick = QStringLiteral("Ann"))
    {
        session.setCatalogue(&catalogue);
        session.setSink(&sink);
        session.setProgramFolder(QStringLiteral("/opt/hchat/"));
        session.set(&ChatSettings::nick, nick);
        session.setOwnId(QStringLiteral("ANNANNAN!"));
        session.set(&ChatSettings::memberId, QStringLiteral("ANNANNAN"));
        session.connection().open(&transport);
    }

    /// Polls until the outbox is empty, acknowledging every poll.
    void pump()
    {
        DatagramLink &link = session.connection().link();
        for (int i = 0; i < 20 && !link.outbox().isEmpty(); ++i) {
            session.Send(0);
            const QList<QByteArray> lines = transport.last().split('\n');
            for (const QByteArray &l : lines)
                if (!l.isEmpty() && !l.startsWith("<R>0</R>"))
                    wire << KillS(QString::fromUtf8(l), QStringLiteral("O")); // the link's record number
            acknowledge(QString());
        }
    }

    /// A reply of the server to the last poll: its acknowledgement and records.
    void acknowledge(const QString &records)
    {
        const int k = session.connection().link().sequence();
        static int serial = 0; // numbered replies: the link drops a repeat
        QString datagram =
            QStringLiteral("<R>0</R><K>%1</K><Q>0</Q><L>T</L><Y>%2</Y>\n").arg(k).arg(++serial % 999999 + 1);
        if (!records.isEmpty())
            datagram += records + u'\n';
        transport.deliver(datagram.toUtf8());
    }

    /// Carries the outbox out first, then delivers the server's records in
    /// the answer to a poll (the link takes records from nothing else).
    void serverSays(const QString &records)
    {
        pump();
        session.Send(0);
        acknowledge(records);
    }

    /// Records that left of one kind.
    QStringList sent(int kind) const
    {
        const QString tag = QStringLiteral("<R>%1</R>").arg(kind);
        QStringList out;
        for (const QString &r : wire)
            if (r.startsWith(tag))
                out << r;
        return out;
    }
    /// The kinds of the records that left, in order.
    QList<int> kinds() const
    {
        QList<int> out;
        for (const QString &r : wire)
            out << r.section(QStringLiteral("</R>"), 0, 0).mid(3).toInt();
        return out;
    }
};

} // namespace hchat::test
