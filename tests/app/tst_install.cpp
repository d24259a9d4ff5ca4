// The program as a package puts it on a machine: installed into a prefix the
// user can't write, run by a user whose settings, logs and stored lists must
// land in the user's own folders and be found again on the next start.
#include "app/startoptions.h"

#include <QDirIterator>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Root may write anywhere, read-only bits or not: as root, the program is run
// as this ordinary user instead.
constexpr uid_t kNobody = 65534;

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// In place, so that the file keeps its owner.
bool rewrite(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::ReadWrite | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

QMap<QString, QDateTime> snapshot(const QString &folder)
{
    QMap<QString, QDateTime> files;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        files.insert(it.filePath(), it.fileInfo().lastModified());
    }
    return files;
}

void setWritable(const QString &folder, bool writable)
{
    QStringList paths = snapshot(folder).keys();
    paths << folder;
    for (const QString &p : paths) {
        struct stat st {
        };
        if (::lstat(QFile::encodeName(p).constData(), &st) != 0 || S_ISLNK(st.st_mode))
            continue;
        const mode_t mode = writable ? (st.st_mode | S_IWUSR) : (st.st_mode & ~(S_IWUSR | S_IWGRP | S_IWOTH));
        ::chmod(QFile::encodeName(p).constData(), mode);
    }
}

} // namespace

class TestInstall : public QObject
{
    Q_OBJECT

    QTemporaryDir m_root;
    QString m_prefix;
    QString m_home;
    bool m_asNobody = ::geteuid() == 0;

    QString config() const { return m_home + "/.config/halvex-chat/"; }
    QString data() const { return m_home + "/.local/share/halvex-chat/"; }

    // A folder the program's user owns.
    bool makeOwnFolder(const QString &path, mode_t mode = 0755)
    {
        if (!QDir().mkpath(path) || ::chmod(QFile::encodeName(path).constData(), mode) != 0)
            return false;
        return !m_asNobody || ::chown(QFile::encodeName(path).constData(), kNobody, kNobody) == 0;
    }

    // Runs the installed program until it has started (its debug log is in
    // logFolder), then ends it the way a logout does. Returns what went wrong.
    QString runOnce(const QString &logFolder, const QStringList &arguments = {},
                    const QString &homeVariable = QString())
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("HCHAT_HOME");
        if (!homeVariable.isEmpty())
            env.insert("HCHAT_HOME", homeVariable);
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("HOME", m_home);
        for (const auto &[name, folder] : {std::pair{"XDG_CONFIG_HOME", "/.config"},
                                           {"XDG_DATA_HOME", "/.local/share"},
                                           {"XDG_CACHE_HOME", "/.cache"},
                                           {"XDG_STATE_HOME", "/.local/state"}})
            env.insert(name, m_home + folder);
        env.insert("XDG_RUNTIME_DIR", m_root.path() + "/runtime");
        QProcess p;
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(m_home);
        // No server listens there: the program only has to start and stop.
        QStringList args{m_prefix + "/bin/hchat", "--server", "127.0.0.1:9"};
        args << arguments;
        if (m_asNobody)
            args = QStringList{"--reuid=65534", "--regid=65534", "--clear-groups", "--"} + args;
        p.start(m_asNobody ? QStandardPaths::findExecutable("setpriv") : args.takeFirst(), args);
        if (!p.waitForStarted())
            return "did not start: " + p.errorString();
        // Speech comes last in the window's start-up: by then the settings and
        // the catalogue have been read.
        const bool up = QTest::qWaitFor(
            [&] {
                const QByteArray log = readAll(logFolder + "Debug.log");
                return log.contains("Program Run") && log.count("Speak Create") >= log.count("Program Run");
            },
            30000);
        QTest::qWait(700);     // past the first tick, where a first start asks for a nick
        if (p.processId() > 0) // 0 would be our own process group
            ::kill(pid_t(p.processId()), SIGTERM);
        const bool ended = p.waitForFinished(30000);
        if (!ended)
            p.kill(), p.waitForFinished();
        if (up && ended && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0)
            return QString();
        const QString exit =
            p.exitStatus() == QProcess::CrashExit ? "crashed" : QString::number(p.exitCode());
        return QStringLiteral("up %1, ended %2, exit %3: ").arg(up).arg(ended).arg(exit) +
               QString::fromLocal8Bit(p.readAllStandardError());
    }

private slots:
    void initTestCase();
    void installsTheUsualPlaces();
    void readOnlyInstallKeepsUserFilesInUserFolders();
    void cleanupTestCase() { setWritable(m_prefix, true); }
};

void TestInstall::initTestCase()
{
    QVERIFY(m_root.isValid());
    if (m_asNobody && QStandardPaths::findExecutable("setpriv").isEmpty())
        QSKIP("running as root without setpriv to run the program as an ordinary user");
    // Let the program's user reach into the temporary folder.
    QVERIFY(::chmod(QFile::encodeName(m_root.path()).constData(), 0755) == 0);
    m_prefix = m_root.path() + "/prefix";
    m_home = m_root.path() + "/home";
    QVERIFY(makeOwnFolder(m_home));
    QVERIFY(makeOwnFolder(m_root.path() + "/runtime", 0700));

    QProcess install;
    install.setProcessChannelMode(QProcess::MergedChannels);
    install.start(HCHAT_CMAKE_COMMAND, {"--install", HCHAT_BUILD_DIR, "--prefix", m_prefix});
    QVERIFY(install.waitForFinished(120000));
    QVERIFY2(install.exitStatus() == QProcess::NormalExit && install.exitCode() == 0,
             install.readAll().constData());
}

void TestInstall::installsTheUsualPlaces()
{
    const QString appId = HCHAT_APP_ID;
    const QString shipped = QDir::cleanPath(m_prefix + "/bin/" + hchat::StartOptions::installedDataFromBin());
    QStringList expected{
        "bin/hchat",
        "bin/hchat-server",
        "share/applications/" + appId + ".desktop",
        "share/icons/hicolor/scalable/apps/" + appId + ".svg",
        "share/metainfo/" + appId + ".metainfo.xml",
    };
    for (const QString &f : expected)
        QVERIFY2(QFileInfo(m_prefix + "/" + f).isFile(), qPrintable(f));
    QVERIFY2(shipped.startsWith(m_prefix + "/share/"), qPrintable(shipped));
    for (const char *f :
         {"chat.dll", "Media/Notify.wav", "Media/TaDa.wav", "Media/Chimes.wav", "Media/Chord.wav"})
        QVERIFY2(QFileInfo(shipped + "/" + f).isFile(), f);
    QVERIFY(QFileInfo(m_prefix + "/bin/hchat").isExecutable());
    // The web pane plugin, where the program looks for it, when it was built.
    if (QFile::exists(QStringLiteral(HCHAT_BUILD_DIR) + "/bin/plugins/hchat_webpane.so")) {
        const QString plugins =
            QDir::cleanPath(m_prefix + "/bin/" + hchat::StartOptions::installedPluginsFromBin());
        QVERIFY2(plugins.startsWith(m_prefix + "/lib"), qPrintable(plugins));
        QVERIFY(QFileInfo(plugins + "/hchat_webpane.so").isFile());
    }
}

void TestInstall::readOnlyInstallKeepsUserFilesInUserFolders()
{
    setWritable(m_prefix, false);
    const auto installed = snapshot(m_prefix);

    // First start of a new user.
    QString failure = runOnce(data() + "ChatLog/");
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    const QByteArray ini = readAll(config() + "Halvex.ini");
    QVERIFY2(ini.contains("[Chat]"), ini.constData());
    // The shipped catalogue was found (the web button's address is one of
    // its texts) and the shipped sounds are named relative to the install.
    QVERIFY2(ini.contains("Web=http"), ini.constData());
    QVERIFY2(ini.contains("Page=Media/Notify.wav"), ini.constData());
    QVERIFY(readAll(data() + "ChatLog/Debug.log").contains("Program Run"));
    for (const char *list : {"Rooms.lst", "RoomPass.lst", "Ignore.lst", "Favourites.lst"})
        QVERIFY2(QFile::exists(data() + list), list);
    // Nothing written into the install, nor loose in the home folder.
    QCOMPARE(snapshot(m_prefix), installed);
    for (const QString &f : snapshot(m_home).keys())
        QVERIFY2(f.startsWith(config().chopped(1)) || f.startsWith(data().chopped(1)) ||
                     !QFileInfo(f).isFile() || f.startsWith(m_home + "/.cache/"),
                 qPrintable(f));

    // The second start reads what the first left: a nick (so nobody is
    // asked) and an ignored member survive it only when they were read.
    QVERIFY(rewrite(config() + "Halvex.ini", ini + "\nNick=Ines\n"));
    QVERIFY(rewrite(data() + "Ignore.lst", "QwErTy12\n"));
    failure = runOnce(data() + "ChatLog/");
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    QVERIFY(readAll(config() + "Halvex.ini").contains("Nick=Ines"));
    QCOMPARE(readAll(data() + "Ignore.lst").trimmed(), QByteArray("QwErTy12"));
    QCOMPARE(readAll(data() + "ChatLog/Debug.log").count("Program Run"), 2);
    QCOMPARE(snapshot(m_prefix), installed);

    // `--home` and HCHAT_HOME still win over the user's folders.
    for (const QString which : {"option", "variable"}) {
        const QString own = m_home + "/own-" + which;
        QVERIFY(makeOwnFolder(own));
        const QString log = own + "/ChatLog/";
        failure = which == "option" ? runOnce(log, {"--home", own}) : runOnce(log, {}, own);
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
        QVERIFY2(QFile::exists(own + "/ChatLog/Halvex.ini"), qPrintable(which));
        QVERIFY(QFile::exists(own + "/Rooms.lst"));
    }
    QCOMPARE(readAll(data() + "ChatLog/Debug.log").count("Program Run"), 2);
}

QTEST_GUILESS_MAIN(TestInstall)
#include "tst_install.moc"
