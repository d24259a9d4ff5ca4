#include "app/iniconfig.h"
#include "app/inifile.h"
#include "app/memberkey.h"
#include "app/screenplacement.h"
#include "app/startoptions.h"
#include "support/unprivileged.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

using namespace hchat;

class TestIniConfig : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString folder() const { return m_dir.path() + "/"; }
    void writeIni(const QByteArray &bytes)
    {
        QDir().mkpath(folder() + "ChatLog");
        QFile f(folder() + "ChatLog/Halvex.ini");
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    }
    ChatSettings read(int bias = 300)
    {
        ChatSettings s;
        IniConfig(StartOptions::inFolder(folder()), bias).ReadIniFile(s);
        return s;
    }

private slots:
    void init() { QDir(folder() + "ChatLog").removeRecursively(); }

    void firstStartGivesDefaults()
    {
        const ChatSettings s = read();
        QVERIFY(QDir(folder() + "ChatLog").exists());
        QCOMPARE(s.formColor, 16777215);
        QCOMPARE(s.fontSize, 10);
        QVERIFY(s.showTime);
        QVERIFY(s.showImage);
        QVERIFY(!s.showSecond);
        QCOMPARE(s.watchedRoom(), -1);
        QCOMPARE(s.height, 714);
        QCOMPARE(s.width, 1012);
        QCOMPARE(s.pageSound, folder() + "Media/Notify.wav");
        QCOMPARE(s.pmSound, folder() + "Media/TaDa.wav");
        QCOMPARE(s.linkSound, folder() + "Media/Chimes.wav");
        QCOMPARE(s.keywordSound, folder() + "Media/Chord.wav");
        QVERIFY(!s.blockPM);
    }

    void secondStartReadsWhatTheFirstWrote()
    {
        ChatSettings s = read();
        s.nick = "Marta";
        s.room = 3;
        s.room2 = 7;
        s.showSecond = true;
        s.blockPM = true;
        s.formColor = 0;
        s.fontBold = true;
        s.zone = 19;
        s.profile = "Trader since 1999";
        s.memberId = "AbCd1234";
        s.keywordSound = "/usr/share/sounds/ding.wav";
        s.servers[1] = "10.1.2.3:6000";
        QVERIFY(IniConfig(StartOptions::inFolder(folder()), 300).WriteIniFile(s));
        const ChatSettings back = read();
        QCOMPARE(back.nick, s.nick);
        QCOMPARE(back.room, 3);
        QCOMPARE(back.room2, 7);
        QCOMPARE(back.watchedRoom(), 7);
        QVERIFY(back.blockPM);
        QCOMPARE(back.pmSound, s.pmSound); // the switch does not eat the sound
        QCOMPARE(back.formColor, 0);
        QVERIFY(back.fontBold);
        QCOMPARE(back.zone, 19);
        QCOMPARE(back.profile, s.profile);
        QCOMPARE(back.memberId, s.memberId);
        QCOMPARE(back.keywordSound, s.keywordSound);
        QCOMPARE(back.pageSound, folder() + "Media/Notify.wav");
        QCOMPARE(back.servers[1], s.servers[1]);
        // Sounds inside the program folder are stored relative to it.
        QFile f(folder() + "ChatLog/Halvex.ini");
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray text = f.readAll();
        QVERIFY(text.contains("Page=Media/Notify.wav"));
        QVERIFY(!QFile::exists(folder() + "ChatLog/Halvex.ini.tmp"));
    }

    void readingRules_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("expected");
        QTest::newRow("top -51") << QByteArray("Top=-51") << "top"
                                 << "0";
        QTest::newRow("top -50") << QByteArray("Top=-50") << "top"
                                 << "-50";
        QTest::newRow("nick 25") << QByteArray("Nick=ABCDEFGHIJKLMNOPQRSTUVWXY") << "nick"
                                 << "ABCDEFGHIJKLMNOPQRST";
        QTest::newRow("url 150") << ("URL=" + QByteArray(150, 'u')) << "url" << QString(140, u'u');
        QTest::newRow("garbled int") << QByteArray("FontSize=ten") << "fontSize"
                                     << "10";
        QTest::newRow("garbled bool") << QByteArray("Time=perhaps") << "time"
                                      << "1";
        QTest::newRow("bool as word") << QByteArray("Time=false") << "time"
                                      << "0";
        QTest::newRow("zone out of range") << QByteArray("Zone=99") << "zone"
                                           << "0";
        QTest::newRow("style one char") << QByteArray("Style=XYZ") << "style"
                                        << "X";
        QTest::newRow("pm as sound") << QByteArray("PM=Media\\Ding.wav") << "pmSound"
                                     << "%1Media/Ding.wav";
        QTest::newRow("pm as switch") << QByteArray("PM=1") << "blockPM"
                                      << "1";
        QTest::newRow("windows sound")
            << QByteArray("Page=C:\\Program Files\\Halvex\\Media\\Notify.wav") << "pageSound"
            << "%1Media/Notify.wav";
        QTest::newRow("sound cut at 80") << ("Link=/" + QByteArray(100, 's')) << "linkSound"
                                         << "/" + QString(79, u's');
        QTest::newRow("room beyond any chooser") << QByteArray("Room=2000000") << "room"
                                                 << "0";
        QTest::newRow("room at the choosers' end") << QByteArray("Room=999") << "room"
                                                   << "999";
        QTest::newRow("room one further") << QByteArray("Room=1000") << "room"
                                          << "0";
        QTest::newRow("negative room") << QByteArray("Room=-3") << "room"
                                       << "0";
    }
    void readingRules()
    {
        QFETCH(QByteArray, line);
        QFETCH(QString, field);
        QFETCH(QString, expected);
        writeIni("[Chat]\r\n" + line + "\r\n");
        const ChatSettings s = read();
        const QMap<QString, QString> got = {{"top", QString::number(s.top)},
                                            {"nick", s.nick},
                                            {"url", s.url},
                                            {"fontSize", QString::number(s.fontSize)},
                                            {"time", QString::number(s.showTime)},
                                            {"zone", QString::number(s.zone)},
                                            {"style", s.style},
                                            {"pmSound", s.pmSound},
                                            {"blockPM", QString::number(s.blockPM)},
                                            {"pageSound", s.pageSound},
                                            {"room", QString::number(s.room)},
                                            {"linkSound", s.linkSound}};
        QCOMPARE(got.value(field), expected.contains("%1") ? expected.arg(folder()) : expected);
    }

    void zoneFromBias_data()
    {
        QTest::addColumn<int>("bias");
        QTest::addColumn<int>("zone");
        QTest::newRow("UTC-5") << 300 << 0;
        QTest::newRow("UTC+1") << -60 << 18;
        QTest::newRow("UTC-8") << 480 << 3;
        QTest::newRow("UTC+12") << -720 << 7;
        QTest::newRow("UTC-4") << 240 << 23;
        QTest::newRow("UTC-12") << 720 << 7;
        QTest::newRow("beyond") << 800 << 0;
        QTest::newRow("beyond east") << -780 << 0;
    }
    void zoneFromBias()
    {
        QFETCH(int, bias);
        QFETCH(int, zone);
        QCOMPARE(IniConfig::zoneFromBias(bias), zone);
        QCOMPARE(read(bias).zone, zone);
    }

    // The default zone names the zone, not the season: the standard offset.
    void zoneOfANamedZone_data()
    {
        QTest::addColumn<QByteArray>("zone");
        QTest::addColumn<QDate>("date");
        QTest::addColumn<int>("expected");
        const QDate january(2025, 1, 15), july(2025, 7, 15);
        QTest::newRow("Sydney, its summer") << QByteArray("Australia/Sydney") << january << 9;
        QTest::newRow("Auckland, its summer") << QByteArray("Pacific/Auckland") << january << 7;
        QTest::newRow("New York, its summer") << QByteArray("America/New_York") << july << 0;
        QTest::newRow("Berlin, its summer") << QByteArray("Europe/Berlin") << july << 18;
    }
    void zoneOfANamedZone()
    {
        QFETCH(QByteArray, zone);
        QFETCH(QDate, date);
        QFETCH(int, expected);
        const QTimeZone tz(zone);
        if (!tz.isValid())
            QSKIP("no time-zone data for this zone here");
        QCOMPARE(IniConfig::zoneFromBias(IniConfig::zoneBias(tz, QDateTime(date, QTime(12, 0), tz))),
                 expected);
    }

    void windowsWrittenFile()
    {
        writeIni("[Chat]\r\nNick=Olaf\r\nTime=0\r\nImage=0\r\n2nd=1\r\nRoom2=4\r\nFormColor=0\r\n"
                 "Keyword=C:\\Halvex\\Media\\Chord.wav\r\n[Other]\r\nNick=NotMe\r\n");
        const ChatSettings s = read();
        QCOMPARE(s.nick, QStringLiteral("Olaf"));
        QVERIFY(!s.showTime);
        QVERIFY(!s.showImage);
        QCOMPARE(s.watchedRoom(), 4);
        QCOMPARE(s.formColor, 0);
        QCOMPARE(s.keywordSound, folder() + "Media/Chord.wav");
    }

    void damagedFilesStillStart()
    {
        // Cut off mid-line, then binary garbage: what can be read is read.
        writeIni("[Chat]\nNick=Ann\nFontSize=12\nRoo");
        ChatSettings s = read();
        QCOMPARE(s.nick, QStringLiteral("Ann"));
        QCOMPARE(s.fontSize, 12);
        QCOMPARE(s.room, 0);

        QByteArray garbage;
        for (int i = 0; i < 4096; ++i)
            garbage.append(char((i * 7919) % 256));
        writeIni(garbage);
        s = read();
        QCOMPARE(s.fontSize, 10);
        QCOMPARE(s.formColor, 16777215);
    }

    void latin1FileReads()
    {
        writeIni("[Chat]\nNick=Jos\xe9\n");
        QCOMPARE(read().nick, QString::fromUtf8("José"));
    }

    void unknownKeysSurviveASave()
    {
        writeIni("[Chat]\nNick=A\nFuture=keep me\n[Other]\nX=1\n");
        ChatSettings s = read();
        QVERIFY(IniConfig(StartOptions::inFolder(folder()), 300).WriteIniFile(s));
        IniFile ini;
        QVERIFY(ini.load(folder() + "ChatLog/Halvex.ini"));
        QCOMPARE(ini.value("Chat", "Future").value_or(QString()), QStringLiteral("keep me"));
        QCOMPARE(ini.value("Other", "X").value_or(QString()), QStringLiteral("1"));
    }

    void largeFileReadsWhole()
    {
        // A section of someone else's, 4.5 MB, before our own.
        QByteArray big = "[Other]\n";
        for (int i = 0; big.size() < 4500000; ++i)
            big += "Key" + QByteArray::number(i) + "=" + QByteArray(60, 'v') + "\n";
        writeIni(big + "[Chat]\nNick=Ann\nRoom=3\n");
        ChatSettings s = read();
        QCOMPARE(s.nick, QStringLiteral("Ann"));
        QCOMPARE(s.room, 3);
        QVERIFY(IniConfig(StartOptions::inFolder(folder()), 300).WriteIniFile(s));
        QVERIFY(QFileInfo(folder() + "ChatLog/Halvex.ini").size() > big.size());
    }

    void unreadableFileIsNeverWritten()
    {
        const QByteArray mine = "[Chat]\nNick=Ann\nProxyHost=proxy.example\n";
        writeIni(mine);
        const QString path = folder() + "ChatLog/Halvex.ini";
        QFile::setPermissions(m_dir.path(), QFile::permissions(m_dir.path()) | QFile::ExeOther);
        QFile::setPermissions(path, {});
        IniConfig config(StartOptions::inFolder(folder()), 300);
        ChatSettings s;
        QString error;
        {
            hchat::test::Unprivileged asUser;
            QVERIFY(!config.ReadIniFile(s, &error));
        }
        QVERIFY(error.contains("Halvex.ini"));
        QVERIFY(s.nick.isEmpty()); // the defaults, for this run
        QVERIFY(!config.WriteIniFile(s, &error));
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), mine);
    }

    void logFolderIsTheOwnersOnly()
    {
        // Logs of older versions were readable by everybody.
        QVERIFY(QDir().mkpath(folder() + "ChatLog"));
        for (const char *name : {"Debug.log", "PM 2024-05-01.log", "Room 3 2024-05-01.log"}) {
            QFile f(folder() + "ChatLog/" + name);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
        }
        QFile::setPermissions(folder() + "ChatLog", QFileDevice::Permissions(0x7555));
        ChatSettings s = read();
        QVERIFY(IniConfig(StartOptions::inFolder(folder()), 300).WriteIniFile(s));
        const auto others = QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup | QFile::ReadOther |
                            QFile::WriteOther | QFile::ExeOther;
        QCOMPARE(QFile::permissions(folder() + "ChatLog") & others, QFileDevice::Permissions());
        const QStringList files = QDir(folder() + "ChatLog").entryList(QDir::Files);
        QCOMPARE(files.size(), 4);
        for (const QString &name : files)
            QVERIFY2(!(QFile::permissions(folder() + "ChatLog/" + name) & others), qPrintable(name));
    }

    // The member key: made once, and the same next time; a
    // damaged file is set aside whole and replaced, and the user told.
    void memberKeyFile()
    {
        QVERIFY(QDir().mkpath(folder() + "ChatLog"));
        const QString path = folder() + "ChatLog/" + MemberKey::fileName();
        const MemberKey::Loaded first = MemberKey::load(path);
        QVERIFY(first.pair.isValid() && first.notice.isEmpty() && !first.replaced);
        QCOMPARE(MemberKey::load(path).pair.publicKey, first.pair.publicKey);
        QVERIFY(AtomicFile::save(path, "half a key"));
        const MemberKey::Loaded again = MemberKey::load(path);
        QVERIFY(again.replaced && again.notice.contains(path + ".damaged"));
        QVERIFY(again.pair.isValid() && again.pair.publicKey != first.pair.publicKey);
        QByteArray aside;
        QCOMPARE(AtomicFile::read(path + ".damaged", &aside), AtomicFile::ReadResult::Read);
        QCOMPARE(aside, QByteArray("half a key"));
        QCOMPARE(MemberKey::load(path).pair.publicKey, again.pair.publicKey);
    }

    void webRule()
    {
        const QString t504 = "http://127.0.0.1:8080/mon/";
        QCOMPARE(IniConfig::applyWebRule("", t504), t504);
        QCOMPARE(IniConfig::applyWebRule("http://evil.example/127.0.0.1/mon/", t504), t504);
        QCOMPARE(IniConfig::applyWebRule("http://evil.example/", t504), t504);
        QCOMPARE(IniConfig::applyWebRule("http://127.0.0.1:8080/mon/room7", t504),
                 "http://127.0.0.1:8080/mon/room7");
    }

    void offDesktopWindowsComeBack_data()
    {
        QTest::addColumn<QRect>("window");
        QTest::addColumn<QPoint>("expected");
        const QSize sz(800, 600);
        QTest::newRow("on screen") << QRect(QPoint(100, 50), sz) << QPoint(100, 50);
        QTest::newRow("below") << QRect(QPoint(100, 2000), sz) << QPoint(100, 2000 - 1080);
        QTest::newRow("far right") << QRect(QPoint(4000, 10), sz) << QPoint(4000 - 1920 * 2, 10);
        QTest::newRow("above") << QRect(QPoint(10, -11), sz) << QPoint(10, 0);
        QTest::newRow("slightly above") << QRect(QPoint(10, -10), sz) << QPoint(10, -10);
        QTest::newRow("left") << QRect(QPoint(-21, 10), sz) << QPoint(0, 10);
    }
    void offDesktopWindowsComeBack()
    {
        QFETCH(QRect, window);
        QFETCH(QPoint, expected);
        QCOMPARE(bringOnDesktop(window, QRect(0, 0, 1920, 1080)).topLeft(), expected);
        // An empty desktop must not loop.
        QCOMPARE(bringOnDesktop(window, QRect()).size(), window.size());
    }

    void settingsApartFromShippedSounds()
    {
        // An installed package: the file in the user's folder, the sounds
        // where they were installed, stored relative so that an update or a
        // move of the program still finds them.
        QTemporaryDir user, shipped;
        StartOptions o = StartOptions::inFolder(user.path() + "/data");
        o.configFolder = user.path() + "/config/";
        o.installFolder = shipped.path() + "/";
        QDir(shipped.path()).mkpath("Media");
        ChatSettings s;
        IniConfig config(o, 300);
        config.ReadIniFile(s);
        QCOMPARE(s.pageSound, o.installFolder + "Media/Notify.wav");
        QVERIFY(config.WriteIniFile(s));
        QCOMPARE(config.iniPath(), user.path() + "/config/Halvex.ini");
        QFile f(config.iniPath());
        QVERIFY(f.open(QIODevice::ReadOnly));
        QVERIFY(f.readAll().contains("Page=Media/Notify.wav"));
        QVERIFY(!QFile::exists(o.programFolder + "ChatLog/Halvex.ini"));
        QVERIFY(QDir(o.logFolder).exists());

        // A sound of the user's own under the same name wins.
        QDir().mkpath(o.programFolder + "Media");
        QFile own(o.programFolder + "Media/Notify.wav");
        QVERIFY(own.open(QIODevice::WriteOnly));
        own.close();
        config.ReadIniFile(s);
        QCOMPARE(s.pageSound, o.programFolder + "Media/Notify.wav");
        QCOMPARE(s.pmSound, o.installFolder + "Media/TaDa.wav");
    }

    void startOptions()
    {
        StartOptions o = StartOptions::parse({"hchat", "--home", "/tmp/x", "--server", "1.2.3.4:99"},
                                             "/opt/halvex/hchat", "/env");
        QCOMPARE(o.programFolder, QStringLiteral("/tmp/x/"));
        QCOMPARE(o.configFolder, QStringLiteral("/tmp/x/ChatLog/"));
        QCOMPARE(o.logFolder, QStringLiteral("/tmp/x/ChatLog/"));
        QCOMPARE(o.installFolder, QStringLiteral("/opt/halvex/"));
        QCOMPARE(o.serverOverride, QStringLiteral("1.2.3.4:99"));
        QVERIFY(o.standAlone);
        QVERIFY(o.error.isEmpty());
        o = StartOptions::parse({"hchat"}, "/opt/halvex/hchat", "/env/home");
        QCOMPARE(o.programFolder, QStringLiteral("/env/home/"));
        o = StartOptions::parse({"hchat", "--home=/h"}, "/opt/halvex/hchat", "/env/home");
        QCOMPARE(o.programFolder, QStringLiteral("/h/"));
        o = StartOptions::parse({"x", "--home"}, "/opt/halvex/hchat", QString());
        QVERIFY(!o.error.isEmpty());
        o = StartOptions::parse({"x", "--bogus"}, "/opt/halvex/hchat", QString());
        QVERIFY(!o.error.isEmpty());
        QVERIFY(!StartOptions::isStandAlone("/opt/host/trader.exe"));
        QVERIFY(StartOptions::isStandAlone("/opt/host/HChat.exe"));
    }

    void folderLayouts()
    {
        QTemporaryDir root;
        const QString bin = root.path() + "/bin/";
        QVERIFY(QDir().mkpath(bin));

        // A build folder: everything beside the executable.
        StartOptions o = StartOptions::parse({"hchat"}, bin + "hchat", QString());
        QCOMPARE(o.programFolder, bin);
        QCOMPARE(o.configFolder, bin + "ChatLog/");
        QCOMPARE(o.installFolder, bin);
        QCOMPARE(o.pluginFolder, bin + "plugins/");
        QVERIFY(!o.packaged);

        // An install the user may write to: shipped data and plugin from the
        // installed layout, the user's files still in the program folder.
        QVERIFY(QDir(bin).mkpath(StartOptions::installedDataFromBin()));
        o = StartOptions::parse({"hchat"}, bin + "hchat", QString());
        QCOMPARE(o.programFolder, bin);
        QCOMPARE(o.installFolder, QDir::cleanPath(bin + StartOptions::installedDataFromBin()) + "/");
        QCOMPARE(o.pluginFolder, QDir::cleanPath(bin + StartOptions::installedPluginsFromBin()) + "/");
        QVERIFY(o.installFolder.startsWith(root.path() + "/"));
        QVERIFY(!o.packaged);
    }

    void writableFolders()
    {
        QTemporaryDir root;
        QVERIFY(StartOptions::isWritableFolder(root.path()));
        QVERIFY(!StartOptions::isWritableFolder(root.path() + "/missing"));
        QFile file(root.path() + "/file");
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(!StartOptions::isWritableFolder(file.fileName()));
    }
};

QTEST_GUILESS_MAIN(TestIniConfig)
#include "tst_iniconfig.moc"
