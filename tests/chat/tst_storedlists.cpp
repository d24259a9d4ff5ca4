#include "catalogue/catalogue.h"
#include "chat/chatsession.h"
#include "chat/storedlists.h"
#include "protocol/codec.h"
#include "protocol/field.h"
#include "support/testfiles.h"

#include <QDir>
#include <QDirIterator>
#include <QTemporaryDir>
#include <QTest>

using namespace hchat;
using hchat::test::readFile;
using hchat::test::writeFile;

namespace {

Catalogue listCatalogue(const QString &folder, bool withNames = true)
{
    QStringList lines;
    for (int n = 0; n <= 274; ++n)
        lines << QStringLiteral("%1,").arg(n);
    if (withNames) {
        lines[270] = "270,Rooms.lst";
        lines[271] = "271,RoomPass.lst";
        lines[272] = "272,Ignore.lst";
        lines[273] = "273,Favourites.lst";
        lines[274] = "274,Keywords.lst";
    }
    Catalogue c(lines);
    c.setProgramFolder(folder);
    return c;
}

void fill(ChatSession &s)
{
    s.setRoomEntry(0, "<#>0</#><N>Lobby</N><S>AdminSecret1</S><B>EntryKey1</B><I>3</I>");
    s.setRoomEntry(3, "<#>3</#><N>Grüße</N><B>Zugang-ß</B>"); // rooms 1 and 2 unknown
    s.setPassEntry(0, "<S>AdminSecret1</S><B>EntryKey1</B>");
    s.setPassEntry(2, "<S>My||Pass</S>");
    s.setIgnoreList({"AbCdEfGh", "12345678"});
    s.setFavourites({"http://127.0.0.1:8080/mon/"});
    s.setKeywords({"halvex", "alert|read", "bell=Media/Chord.wav"});
}

} // namespace

class TestStoredLists : public QObject
{
    Q_OBJECT
private slots:
    void scramble_data();
    void scramble();
    void recordFieldsInPlace();
    void roundTrip();
    void absentFilesAreCreated();
    void nothingSavedBeforeLoad();
    void handEditedKeywordsKeptUntilChanged();
    void unreadableFileIsLeftAlone();
    void garbageLoads();
    void listNamesStayInTheProgramFolder_data();
    void listNamesStayInTheProgramFolder();
    void boundRooms_data();
    void boundRooms();
};

void TestStoredLists::scramble_data()
{
    QTest::addColumn<QString>("plain");
    QTest::newRow("word") << "secret";
    QTest::newRow("empty") << "";
    QTest::newRow("non-ASCII") << "pässwörd€";
    QTest::newRow("line break marker") << "a||b";
    QTest::newRow("looks scrambled") << "*ab";
    QTest::newRow("tags") << "<S>x</S>";
    QTest::newRow("long") << QString(300, u'q');
}

void TestStoredLists::scramble()
{
    QFETCH(QString, plain);
    const QString stored = StoredLists::scramble(plain);
    QCOMPARE(StoredLists::unscramble(stored), plain);
    if (!plain.isEmpty()) {
        QVERIFY(!stored.contains(plain));
        QVERIFY(!stored.contains(u'<') && !stored.contains(u'|'));
    }
    // A value written by hand, not in the stored form, reads as itself.
    if (!plain.startsWith(u'*'))
        QCOMPARE(StoredLists::unscramble(plain), plain);
}

void TestStoredLists::recordFieldsInPlace()
{
    const QString record = "<#>3</#><S>one</S><N>Room</N><B>two</B><M>S and B</M>";
    const QString stored = StoredLists::scrambleRecord(record);
    QVERIFY(!stored.contains("one") && !stored.contains("two"));
    QVERIFY(stored.startsWith("<#>3</#><S>*"));
    QCOMPARE(GetS(stored, "N"), QStringLiteral("Room"));
    QCOMPARE(GetS(stored, "M"), QStringLiteral("S and B"));
    QVERIFY(stored.indexOf("<S>") < stored.indexOf("<N>")); // field stays where it was
    QCOMPARE(StoredLists::unscrambleRecord(stored), record);

    const QString dup = "<S>first</S><S>second</S>";
    QVERIFY(!StoredLists::scrambleRecord(dup).contains("second"));
    QCOMPARE(StoredLists::unscrambleRecord(StoredLists::scrambleRecord(dup)), dup);
    const QString broken = "<S>open only";
    QCOMPARE(StoredLists::scrambleRecord(broken), broken);
}

void TestStoredLists::roundTrip()
{
    QTemporaryDir dir;
    const Catalogue cat = listCatalogue(dir.path());
    ChatSession before;
    StoredLists lists;
    QCOMPARE(lists.load(cat, before), 0);
    fill(before);
    QVERIFY(lists.save(cat, before));

    for (const char *name : {"Rooms.lst", "RoomPass.lst", "Ignore.lst", "Favourites.lst", "Keywords.lst"})
        QVERIFY2(QFile::exists(dir.filePath(name)), name);
    QByteArray all;
    for (const QString &f : QDir(dir.path()).entryList(QDir::Files))
        all += readFile(dir.filePath(f));
    for (const char *secret : {"AdminSecret1", "EntryKey1", "Zugang", "My||Pass", "Pass"})
        QVERIFY2(!all.contains(secret), secret);
    QVERIFY(all.contains("Lobby"));
    const auto ownerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    for (const char *name : {"Rooms.lst", "RoomPass.lst", "Ignore.lst", "Favourites.lst", "Keywords.lst"}) {
        const auto perms = QFileInfo(dir.filePath(name)).permissions() &
                           ~(QFileDevice::ReadUser | QFileDevice::WriteUser | QFileDevice::ExeUser);
        QCOMPARE(perms, ownerOnly);
    }

    ChatSession after;
    StoredLists again;
    QCOMPARE(again.load(cat, after), 5);
    QCOMPARE(after.rooms().entries, before.rooms().entries);
    QCOMPARE(after.passes().entries, before.passes().entries);
    QCOMPARE(after.rooms().count(), 4);
    QCOMPARE(after.rooms().RoomField(3, Field::AccessPassword), QStringLiteral("Zugang-ß"));
    QCOMPARE(after.PassField(2, Field::AdminPassword), QStringLiteral("My\r\nPass"));
    QCOMPARE(after.ignoreList(), before.ignoreList());
    QCOMPARE(after.favourites(), before.favourites());
    QCOMPARE(after.keywords(), before.keywords());

    // A file someone opened up is made owner-only again on the next save.
    QFile::setPermissions(dir.filePath("RoomPass.lst"),
                          ownerOnly | QFileDevice::ReadGroup | QFileDevice::ReadOther);
    QVERIFY(again.save(cat, after));
    QVERIFY(!(QFileInfo(dir.filePath("RoomPass.lst")).permissions() & QFileDevice::ReadOther));
}

void TestStoredLists::absentFilesAreCreated()
{
    QTemporaryDir dir;
    const Catalogue cat = listCatalogue(dir.path());
    ChatSession s;
    s.setIgnoreList({"kept"});
    StoredLists lists;
    QCOMPARE(lists.load(cat, s), 0);
    QCOMPARE(s.ignoreList(), QStringList{"kept"}); // nothing read, nothing replaced
    QVERIFY(lists.save(cat, s));
    QCOMPARE(readFile(dir.filePath("Ignore.lst")), QByteArray("kept\n"));
    QCOMPARE(readFile(dir.filePath("Rooms.lst")), QByteArray());
    QVERIFY(!QFile::exists(dir.filePath("Keywords.lst"))); // unchanged and empty
}

void TestStoredLists::nothingSavedBeforeLoad()
{
    QTemporaryDir dir;
    writeFile(dir.filePath("RoomPass.lst"), "<S>*00</S>\n");
    ChatSession s;
    StoredLists lists;
    const Catalogue cat = listCatalogue(dir.path());
    QVERIFY(lists.save(cat, s)); // load() never ran: e.g. the catalogue came late
    QCOMPARE(readFile(dir.filePath("RoomPass.lst")), QByteArray("<S>*00</S>\n"));

    Catalogue none;
    QCOMPARE(lists.load(none, s), 0);
    QVERIFY(!lists.isLoaded());
    QVERIFY(lists.save(cat, s));
    QCOMPARE(readFile(dir.filePath("RoomPass.lst")), QByteArray("<S>*00</S>\n"));
}

void TestStoredLists::handEditedKeywordsKeptUntilChanged()
{
    QTemporaryDir dir;
    const QByteArray hand = "urgent|read\r\n# my words\r\nbell\r\n";
    writeFile(dir.filePath("Keywords.lst"), hand);
    const Catalogue cat = listCatalogue(dir.path());
    ChatSession s;
    StoredLists lists;
    QCOMPARE(lists.load(cat, s), 1);
    QCOMPARE(s.keywords(), (QStringList{"urgent|read", "# my words", "bell"}));
    QVERIFY(lists.save(cat, s));
    QCOMPARE(readFile(dir.filePath("Keywords.lst")), hand);

    s.setKeywords(s.keywords() + QStringList{"new"});
    QVERIFY(lists.save(cat, s));
    QCOMPARE(readFile(dir.filePath("Keywords.lst")), QByteArray("urgent|read\n# my words\nbell\nnew\n"));
}

void TestStoredLists::unreadableFileIsLeftAlone()
{
    QTemporaryDir dir;
    const QByteArray huge(8 * 1024 * 1024 + 1, 'x');
    writeFile(dir.filePath("Ignore.lst"), huge);
    const Catalogue cat = listCatalogue(dir.path());
    ChatSession s;
    StoredLists lists;
    QCOMPARE(lists.load(cat, s), 0);
    s.setIgnoreList({"ABCDEFGH"});
    QVERIFY(lists.save(cat, s));
    QCOMPARE(QFileInfo(dir.filePath("Ignore.lst")).size(), huge.size());
}

void TestStoredLists::garbageLoads()
{
    QTemporaryDir dir;
    QByteArray garbage;
    for (int i = 0; i < 20000; ++i)
        garbage += char((i * 131 + 7) & 0xff);
    garbage += "<S>*zz</S><B>*0</B>\n<S>\xff\xfe</S>";
    for (const char *name : {"Rooms.lst", "RoomPass.lst", "Ignore.lst", "Favourites.lst", "Keywords.lst"})
        writeFile(dir.filePath(name), garbage);
    const Catalogue cat = listCatalogue(dir.path());
    ChatSession s;
    StoredLists lists;
    QCOMPARE(lists.load(cat, s), 5);
    QVERIFY(s.rooms().count() > 0);
    QVERIFY(lists.save(cat, s));
}

void TestStoredLists::listNamesStayInTheProgramFolder_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("up and out") << "../../escaped-Rooms.lst";
    QTest::newRow("absolute") << "/tmp/hchat-escaped-Rooms.lst";
    QTest::newRow("sub folder") << "sub/Rooms.lst";
    QTest::newRow("Windows folders") << "..\\..\\escaped-Rooms.lst";
    QTest::newRow("drive") << "C:escaped-Rooms.lst";
    QTest::newRow("parent") << "..";
    QTest::newRow("control character") << "Rooms\n.lst";
    QTest::newRow("empty") << "";
}

void TestStoredLists::listNamesStayInTheProgramFolder()
{
    QFETCH(QString, name);
    // A catalogue fetched over plain HTTP names the room list.
    QTemporaryDir dir;
    const QString home = dir.filePath("a/b/home/");
    QVERIFY(QDir().mkpath(home));
    Catalogue cat = listCatalogue(home);
    QStringList lines;
    for (int n = 0; n < cat.count(); ++n)
        lines << QStringLiteral("%1,%2").arg(n).arg(n == 270 ? name : cat.Lookup(n));
    cat.setLines(lines);
    cat.setProgramFolder(home);
    QCOMPARE(StoredLists::path(cat, StoredLists::RoomsFile), home + "Rooms.lst");

    writeFile(home + "Rooms.lst", "<#>0</#><N>Lobby</N>\n");
    ChatSession s;
    StoredLists lists;
    QCOMPARE(lists.load(cat, s), 1);
    QCOMPARE(s.rooms().RoomField(0, Field::Nick), QStringLiteral("Lobby"));
    s.setRoomEntry(1, "<#>1</#><N>Second</N>");
    QVERIFY(lists.save(cat, s));
    QVERIFY(readFile(home + "Rooms.lst").contains("<N>Second</N>"));
    // Nothing anywhere but the lists in the program folder.
    QStringList written;
    QDirIterator it(dir.path(), QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        written << QDir(dir.path()).relativeFilePath(it.next());
    written.sort();
    QCOMPARE(written, (QStringList{"a/b/home/Favourites.lst", "a/b/home/Ignore.lst", "a/b/home/RoomPass.lst",
                                   "a/b/home/Rooms.lst"}));
    QVERIFY(!QFile::exists("/tmp/hchat-escaped-Rooms.lst"));
}

void TestStoredLists::boundRooms_data()
{
    QTest::addColumn<int>("known");
    QTest::addColumn<int>("room");
    QTest::addColumn<int>("room2");
    QTest::addColumn<int>("expectedRoom");
    QTest::addColumn<int>("expectedRoom2");

    QTest::newRow("within") << 10 << 9 << 4 << 9 << 4;
    QTest::newRow("above the highest") << 10 << 10 << 11 << 0 << 0;
    QTest::newRow("one above, one within") << 5 << 7 << 2 << 0 << 2;
    QTest::newRow("negative") << 5 << -3 << 1 << 0 << 1;
    QTest::newRow("no list yet") << 0 << 42 << 7 << 42 << 7;
}

void TestStoredLists::boundRooms()
{
    QFETCH(int, known);
    QFETCH(int, room);
    QFETCH(int, room2);
    RoomList rooms;
    if (known > 0)
        rooms.setEntry(known - 1, "<N>last</N>");
    ChatSettings settings;
    settings.room = room;
    settings.room2 = room2;
    StoredLists::boundRooms(settings, rooms);
    QTEST(settings.room, "expectedRoom");
    QTEST(settings.room2, "expectedRoom2");
}

QTEST_GUILESS_MAIN(TestStoredLists)
#include "tst_storedlists.moc"
