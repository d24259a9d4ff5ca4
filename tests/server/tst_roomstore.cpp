// The server's data store reading what it finds on disk: damaged files are
// set aside, never served as "no rooms" nor silently written over.
#include "protocol/codec.h"
#include "server/roomstore.h"
#include "support/smalldisk.h"
#include "support/testfiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace hchat;
using hchat::test::readFile;
using hchat::test::writeFile;

class TestRoomStore : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    QStringList logged;
    QString path(const char *name) const { return dir.path() + '/' + name; }
    std::unique_ptr<RoomStore> loaded()
    {
        auto store = std::make_unique<RoomStore>(dir.path());
        store->log = [this](const QString &line) { logged << line; };
        if (!store->load())
            return nullptr;
        return store;
    }

private slots:
    void init()
    {
        logged.clear();
        for (const QString &f : QDir(dir.path()).entryList(QDir::Files))
            QFile::remove(dir.filePath(f));
        QDir(path("bulletins")).removeRecursively();
    }

    void damagedRoomsFileIsSetAside_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("garbage") << QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16);
        QTest::newRow("numbers out of range") << QByteArray("<#>99999999999</#><N>Evil</N>\n<#>1000</#>\n"
                                                            "<#>-1</#><N>Minus</N>\n");
    }
    void damagedRoomsFileIsSetAside()
    {
        QFETCH(QByteArray, file);
        writeFile(path("rooms.txt"), file);
        const auto store = loaded();
        QVERIFY(store);
        // The seeded rooms, served and saved; the damaged file kept beside them.
        QCOMPARE(GetS(store->fields(0), "N"), QStringLiteral("Support Room"));
        QCOMPARE(store->rooms().size(), 10);
        QVERIFY(readFile(path("rooms.txt")).contains("<N>Support Room</N>"));
        QCOMPARE(readFile(path("rooms.txt.damaged")), file);
        QCOMPARE(logged.size(), 1);
        QVERIFY(logged.first().contains("set aside"));
        // A second damaged file does not replace the first one set aside.
        writeFile(path("rooms.txt"), "junk");
        QVERIFY(loaded());
        QCOMPARE(readFile(path("rooms.txt.damaged")), file);
        QCOMPARE(readFile(path("rooms.txt.damaged.1")), QByteArray("junk"));
    }

    void goodLinesSurviveBadOnes()
    {
        // Latin-1 names from an older server, a line cut off mid-record and
        // a number that would wrap onto room 0.
        const QByteArray file = "<#>0</#><N>Support Room</N>\n<#>4</#><N>Caf\xe9</N><S>pw</S>\n"
                                "<#>99999999999</#><N>Evil</N>\n<#>5</#><N>Cut";
        writeFile(path("rooms.txt"), file);
        writeFile(path("bulletins.txt"), "<#>4</#><M>Grand opening||Friday</M>\n<#>x</#><M>lost</M>\n");
        const auto store = loaded();
        QVERIFY(store);
        QCOMPARE(store->rooms(), (QList<int>{0, 4, 5}));
        QCOMPARE(GetS(store->fields(0), "N"), QStringLiteral("Support Room"));
        QCOMPARE(GetS(store->fields(4), "N"), QString::fromUtf8("Café"));
        QCOMPARE(store->bulletin(4), QStringLiteral("Grand opening\r\nFriday"));
        // Both files as they were, before the next save drops what was skipped.
        QCOMPARE(readFile(path("rooms.txt.damaged")), file);
        QCOMPARE(logged.size(), 3);
        QVERIFY(logged.join('\n').contains("skipped 1 line"));
        // The old bulletins file is read once: its bulletin lives on in the folder.
        QVERIFY(!QFile::exists(path("bulletins.txt")));

        // The next save writes the name back as UTF-8, not as damage.
        QVERIFY(store->setFields(7, "<N>Seven</N>"));
        QVERIFY(readFile(path("rooms.txt")).contains("<N>Caf\xc3\xa9</N>"));
        QCOMPARE(loaded()->bulletin(4), QStringLiteral("Grand opening\r\nFriday"));
    }

    void failedSaveChangesNothing()
    {
        hchat::test::SmallDisk small;
        if (!small.available())
            QSKIP(qPrintable(small.skipReason()));
        RoomStore store(small.path());
        QVERIFY(store.load());
        QVERIFY(store.setBulletin(3, "old news"));
        const QByteArray rooms = readFile(small.path() + "/rooms.txt");
        small.fill();
        QString error;
        QVERIFY(!store.setFields(3, "<N>New</N>", &error));
        QVERIFY(!error.isEmpty());
        QVERIFY(!store.setBulletin(3, "new news"));
        // What is served is what is stored.
        QCOMPARE(GetS(store.fields(3), "N"), QStringLiteral("Vacant"));
        QCOMPARE(store.bulletin(3), QStringLiteral("old news"));
        QCOMPARE(readFile(small.path() + "/rooms.txt"), rooms);
        small.free();
        QVERIFY(store.setFields(3, "<N>New</N>"));
    }
};

QTEST_GUILESS_MAIN(TestRoomStore)
#include "tst_roomstore.moc"
