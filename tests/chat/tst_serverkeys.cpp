// The client's trust in server keys: what it sends, shows and keeps.
#include "chat/sealedlink.h"
#include "support/faketransport.h"

#include <QTest>

#include <memory>

using namespace hchat;

static char type(const QByteArray &datagram)
{
    return datagram.isEmpty() ? char(0) : datagram.front();
}
static QString keyText(const SealKeyPair &pair)
{
    return SealKeyText::encode(pair.publicKey);
}

class TestServerKeys : public QObject
{
    Q_OBJECT

    ChatSettings settings;
    FakeTransport wire;
    QStringList notices;
    int saves = 0;
    std::unique_ptr<SealedLink> link;

    void open(const QString &key, const ServerEndpoint &to = {QStringLiteral("127.0.0.1"), 5500})
    {
        settings.serverKeys[0] = key;
        link = std::make_unique<SealedLink>(settings, wire, SealKeyPair::generate());
        link->notice = [this](const QString &line) { notices << line; };
        link->keysChanged = [this] { ++saves; };
        link->setEndpoint(to.host, to.port);
    }
    void polls(int count)
    {
        for (int i = 0; i < count; ++i)
            link->sendDatagram("<R>0</R><K>0</K>\n");
    }

private slots:
    void init()
    {
        link.reset();
        settings = ChatSettings();
        wire.take();
        notices.clear();
        saves = 0;
    }

    // Plain text goes out and comes in only for a client that holds no key;
    // a key it can't read stops everything rather than trusting anew.
    void plainOnlyWithoutAKey_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<bool>("plain");
        QTest::addColumn<QString>("told");
        QTest::newRow("key held") << keyText(SealKeyPair::generate()) << false << QString();
        QTest::newRow("no key") << QString() << true << "not encrypted";
        QTest::newRow("damaged key") << "AAAA" << false << "damaged";
    }
    void plainOnlyWithoutAKey()
    {
        QFETCH(QString, key);
        QFETCH(bool, plain);
        QFETCH(QString, told);
        open(key);
        polls(12);
        QCOMPARE(wire.sent.isEmpty(), told == "damaged");
        const auto isPlain = [](const QByteArray &d) { return type(d) == '<'; };
        QCOMPARE(std::any_of(wire.sent.cbegin(), wire.sent.cend(), isPlain), plain);
        QVERIFY(told.isEmpty() ? notices.isEmpty() : notices.join(u'\n').contains(told));
        QByteArrayList got;
        link->receiver = [&got](const QByteArray &d, const QString &, quint16) { got << d; };
        wire.deliver("<R>0</R><K>1</K><Q>0</Q><L>T</L>\n");
        QCOMPARE(got.size(), plain ? 1 : 0);
    }

    // Without a key the first contact teaches it, fingerprint shown: kept
    // for an address of the settings, for this run only for another.
    void firstContactLearnsTheKey_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<bool>("stored");
        QTest::newRow("a server of the settings") << "127.0.0.1" << true;
        QTest::newRow("--server elsewhere") << "192.0.2.9" << false;
    }
    void firstContactLearnsTheKey()
    {
        QFETCH(QString, address);
        QFETCH(bool, stored);
        open(QString(), {address, 5500});
        polls(1);
        const SealKeyPair server = SealKeyPair::generate();
        wire.deliver(SealWire::keyAnswer(server.publicKey));
        QVERIFY(notices.join(u'\n').contains(SealKeyText::fingerprint(server.publicKey)));
        QCOMPARE(settings.serverKeys[0] == keyText(server), stored);
        QCOMPARE(saves, stored ? 1 : 0);
    }

    // Another key than the one kept: both fingerprints and the way out are
    // shown, and nothing but key requests goes out until the user decides.
    void changedKeyIsRefused()
    {
        const SealKeyPair kept = SealKeyPair::generate();
        const SealKeyPair shown = SealKeyPair::generate();
        open(keyText(kept));
        polls(6);
        wire.deliver(SealWire::keyAnswer(shown.publicKey));
        const QString said = notices.join(u'\n');
        QVERIFY2(said.contains(SealKeyText::fingerprint(kept.publicKey) + ", shown " +
                               SealKeyText::fingerprint(shown.publicKey) + ". Nothing is sent") &&
                     said.contains("Properties → Server key"),
                 qPrintable(said));
        wire.take();
        polls(6);
        QCOMPARE(wire.sent.size(), 6);
        for (const QByteArray &d : std::as_const(wire.sent))
            QCOMPARE(type(d), SealWire::KeyRequest);
        QCOMPARE(settings.serverKeys[0], keyText(kept));
        // Accepted by the user: kept, and the next poll handshakes under it.
        link->acceptServerKey(keyText(shown));
        polls(1);
        QCOMPARE(type(wire.last()), SealWire::Handshake);
        QCOMPARE(settings.serverKeys[0], keyText(shown));
    }
};

QTEST_GUILESS_MAIN(TestServerKeys)
#include "tst_serverkeys.moc"
