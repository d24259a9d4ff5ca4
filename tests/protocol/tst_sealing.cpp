#include "protocol/sealedtransport.h"
#include "protocol/sealing.h"
#include "support/faketransport.h"
#include "support/testfiles.h"

#include <QTemporaryDir>
#include <QTest>
#include <sodium.h>

using namespace hchat;
using namespace hchat::test;

namespace {

struct Events : SealEvents {
    QList<SealState> states;
    QByteArrayList learned;
    QList<QPair<QByteArray, QByteArray>> changed;
    void sealStateChanged(SealState s) override { states << s; }
    void sealKeyLearned(const QByteArray &k) override { learned << k; }
    void sealKeyChanged(const QByteArray &a, const QByteArray &b) override { changed.append({a, b}); }
};

// A client's SealedTransport over a fake wire, with the server's half played here.
struct Client {
    FakeTransport wire;
    Events events;
    SealedTransport sealed{wire, events, SealKeyPair::generate()};
    QByteArrayList received;
    Client()
    {
        sealed.receiver = [this](const QByteArray &d, const QString &, quint16) { received << d; };
    }
};

const QByteArray poll = "<R>5</R><O>1</O><N>Ann</N>\n<R>0</R><K>1</K>\r\n";

} // namespace

class TestSealing : public QObject
{
    Q_OBJECT

private slots:
    void handshakeThenSealedBothWays()
    {
        const SealKeyPair server = SealKeyPair::generate();
        Client c;
        c.sealed.setServerKey(server.publicKey);
        c.sealed.sendDatagram(poll);
        const QByteArray hs = c.wire.take().value(0);
        QCOMPARE(hs.size(), SealWire::minHandshakeBytes);
        auto opened = SealResponder::open(server, hs);
        QVERIFY(opened);
        QCOMPARE(opened->poll, poll);
        QCOMPARE(opened->clientKey.size(), SealWire::keyBytes);
        // Someone else's server key opens nothing.
        QVERIFY(!SealResponder::open(SealKeyPair::generate(), hs));
        auto [channel, answer] = SealResponder::answer(*opened, 77, "<R>0</R><K>1</K><Q>0</Q><L>ab</L>\n");
        QVERIFY(answer.size() <= hs.size());
        c.wire.deliver(answer);
        QCOMPARE(c.sealed.state(), SealState::Encrypted);
        QCOMPARE(c.received, QByteArrayList{"<R>0</R><K>1</K><Q>0</Q><L>ab</L>\n"});
        c.sealed.sendDatagram("second");
        QCOMPARE(channel.open(c.wire.take().value(0)).value_or(""), "second");
        c.wire.deliver(channel.seal("reply"));
        c.wire.deliver("<R>0</R><K>2</K>\n"); // plain from the server's address: forged
        QCOMPARE(c.received.size(), 2);
        QCOMPARE(c.received.last(), "reply");
        // The server lost the session: the last poll goes out as a new handshake.
        c.wire.deliver(SealWire::sessionUnknown(channel.localIndex()));
        QCOMPARE(c.sealed.state(), SealState::Waiting);
        QCOMPARE(SealResponder::open(server, c.wire.take().value(0))->poll, "second");
    }

    void sealedDataDropped_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::newRow("flipped bit") << "flip";
        QTest::newRow("replay") << "replay";
        QTest::newRow("another key") << "other";
        QTest::newRow("too old") << "old";
    }
    void sealedDataDropped()
    {
        QFETCH(QString, fault);
        const QByteArray k1(32, 'a'), k2(32, 'b');
        SealedChannel from(1, 2, k1, k2, {}), to(2, 1, k2, k1, {});
        QByteArray d = from.seal("hello");
        QVERIFY(to.open(d));
        // The wire is XChaCha20-Poly1305, nonce = 16 zero bytes and the counter.
        const QByteArray second = from.seal("hello");
        QByteArray generic(second.size() - 13, Qt::Uninitialized);
        unsigned char nonce[24] = {};
        nonce[16] = 1;
        crypto_aead_xchacha20poly1305_ietf_encrypt(
            reinterpret_cast<unsigned char *>(generic.data()), nullptr,
            reinterpret_cast<const unsigned char *>("hello"), 5,
            reinterpret_cast<const unsigned char *>(second.constData()), 13, nullptr, nonce,
            reinterpret_cast<const unsigned char *>(k1.data()));
        QCOMPARE(second.sliced(13), generic);
        if (fault == "flip")
            d = from.seal("hello"), d[d.size() - 3] ^= 4;
        if (fault == "other")
            d = SealedChannel(1, 2, QByteArray(32, 'c'), k2, {}).seal("hello");
        if (fault == "old") {
            d = from.seal("old");
            for (int i = 0; i < int(CounterWindow::span); ++i)
                QVERIFY(to.open(from.seal("x")));
        }
        QVERIFY(!to.open(d));
        // Out of order within the window is fine.
        const QByteArray a = from.seal("a"), b = from.seal("b");
        QVERIFY(to.open(b) && to.open(a));
    }

    void keyLearnedOrChanged()
    {
        const SealKeyPair server = SealKeyPair::generate();
        Client c;
        c.sealed.setGiveUpAfter(2);
        c.wire.deliver(SealWire::keyAnswer(SealKeyPair::generate().publicKey)); // unasked: a forgery
        c.sealed.sendDatagram(poll);
        QCOMPARE(c.wire.take(), QByteArrayList{SealWire::keyRequest()});
        QVERIFY(c.events.learned.isEmpty());
        c.wire.deliver(SealWire::keyAnswer(server.publicKey));
        QCOMPARE(c.events.learned, QByteArrayList{server.publicKey});
        QCOMPARE(SealResponder::open(server, c.wire.take().value(0))->poll, poll);
        // The handshakes go unanswered; a key request asks why and shows another key.
        c.sealed.sendDatagram(poll);
        c.sealed.sendDatagram(poll);
        QVERIFY(c.wire.take().contains(SealWire::keyRequest()));
        const QByteArray other = SealKeyPair::generate().publicKey;
        c.wire.deliver(SealWire::keyAnswer(other));
        QCOMPARE(c.events.changed.value(0), qMakePair(server.publicKey, other));
        c.sealed.sendDatagram(poll);
        c.sealed.sendDatagram(poll);
        QCOMPARE(c.wire.take(), QByteArrayList({SealWire::keyRequest(), SealWire::keyRequest()}));
        QCOMPARE(c.sealed.state(), SealState::Waiting);
        // The server stands by the key we keep: handshakes go out again.
        c.wire.deliver(SealWire::keyAnswer(server.publicKey));
        c.sealed.sendDatagram(poll);
        QCOMPARE(SealWire::typeOf(c.wire.take().last()), char(SealWire::Handshake));
    }

    void plainOnlyWithoutKeyAndWhenAllowed()
    {
        for (const bool known : {false, true}) {
            Client c;
            c.sealed.setGiveUpAfter(2);
            c.sealed.setPlainFallback(true);
            if (known)
                c.sealed.setServerKey(SealKeyPair::generate().publicKey);
            for (int i = 0; i < 3; ++i)
                c.sealed.sendDatagram(poll);
            QCOMPARE(c.wire.sent.contains(poll), !known);
            QCOMPARE(c.sealed.state(), known ? SealState::Waiting : SealState::Plain);
        }
    }

    void keysAndFingerprints()
    {
        const SealKeyPair pair = SealKeyPair::generate();
        const QString fp = SealKeyText::fingerprint(pair.publicKey);
        QVERIFY2(QRegularExpression("^[A-Z2-7]{4}(-[A-Z2-7]{4}){3}$").match(fp).hasMatch(), qPrintable(fp));
        QCOMPARE(SealKeyText::decode(" " + SealKeyText::encode(pair.publicKey) + "\n"), pair.publicKey);
        QVERIFY(SealKeyText::decode(SealKeyText::encode(pair.publicKey).left(40)).isEmpty());
        QVERIFY(SealKeyText::decode(SealKeyText::encode(QByteArray(32, 0)))
                    .isEmpty()); // turns every exchange to zeros

        QTemporaryDir dir;
        const QString path = dir.filePath("key");
        const auto made = SealKeyPair::loadOrCreate(path);
        QVERIFY(made && made->isValid());
        QCOMPARE(QFile(path).permissions() & (QFile::ReadGroup | QFile::ReadOther), QFile::Permissions());
        QCOMPARE(SealKeyPair::loadOrCreate(path)->publicKey, made->publicKey);
        // A damaged key file is kept for its owner to look at, never replaced.
        writeFile(path, "not a key");
        QVERIFY(!SealKeyPair::loadOrCreate(path));
        QCOMPARE(readFile(path), "not a key");
    }
};

QTEST_GUILESS_MAIN(TestSealing)
#include "tst_sealing.moc"
