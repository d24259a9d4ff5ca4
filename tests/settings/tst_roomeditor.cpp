// What the room tab sends, at its limits.
#include "protocol/wirelimits.h"
#include "protocol/wiretext.h"
#include "settings/roomeditor.h"

#include <QtTest>

using namespace hchat;

class TestRoomEditor : public QObject
{
    Q_OBJECT

private slots:
    void bulletinFitsItsLimitAndOneDatagram_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("characters");
        QTest::newRow("8000 exactly") << QString(8000, 'a') << 8000;
        QTest::newRow("8001") << QString(8001, 'a') << 8000;
        QTest::newRow("breaks count twice") << QString("a\n").repeated(3000) << 7999;
        QTest::newRow("two-byte letters") << QString(9000, QChar(0xE9)) << 4000;
        QTest::newRow("no half of a pair") << QString::fromUtf8("😀").repeated(3000) << 4000;
        // A typed bar before a bar travels behind a backslash.
        QTest::newRow("escapes count") << QString(8000, '|') << 4000;
    }
    void bulletinFitsItsLimitAndOneDatagram()
    {
        QFETCH(QString, text);
        QFETCH(int, characters);
        const QString fitted = RoomEditor::fitBulletin(text);
        QCOMPARE(fitted.size(), characters);
        QVERIFY(!fitted.back().isHighSurrogate());
        QVERIFY(!fitted.endsWith(u'\r'));
        // The server takes it as it stands.
        QVERIFY(encodeText(fitted).toUtf8().size() <= WireLimits::maxBulletinBytes);
    }

    void approvedRootsNeverHoldTheSiteBase()
    {
        const QStringList roots{"http://127.0.0.1:8080/", " http://ok.example/ ", "HTTP://127.0.0.1:8080/",
                                "", "http://ok.example/"};
        QCOMPARE(RoomEditor::approvedRoots(roots, "http://127.0.0.1:8080/"),
                 QStringList{"http://ok.example/"});
        // Without a catalogue there is no base to take out, and no empty root goes in.
        QCOMPARE(RoomEditor::approvedRoots({"", "http://a/"}, QString()), QStringList{"http://a/"});
    }
};

QTEST_GUILESS_MAIN(TestRoomEditor)
#include "tst_roomeditor.moc"
