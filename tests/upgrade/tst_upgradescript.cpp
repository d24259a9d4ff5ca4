#include "catalogue/catalogue.h"
#include "catalogue/cataloguecodec.h"
#include "upgrade/upgradescript.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace hchat;

// The replacement script as the shipped catalogue writes it, run for real in
// a temporary folder against tiny stand-in programs.
class TestUpgradeScript : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void replacesAndRestarts();
    void withoutNewProgramChangesNothing();
    void failingNewProgramIsPutBack();
    void pathAndQuoting_data();
    void pathAndQuoting();

private:
    QString writeScript();
    Catalogue m_catalogue;
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_folder;  // an awkward name on purpose
    QString m_program; // the program file the script replaces
};

namespace {
void writeFile(const QString &path, const QByteArray &data, bool runnable = false)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(data);
    f.close();
    if (runnable)
        QVERIFY(f.setPermissions(f.permissions() | QFileDevice::ExeOwner));
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

const QByteArray oldProgram = "#!/bin/sh\necho old\n";
// The new program notes where it runs and its arguments.
const QByteArray newProgram = "#!/bin/sh\n"
                              "here=$(dirname \"$0\")\n"
                              "{ pwd; printf '%s\\n' \"$@\"; } > \"$here/ran.part\"\n"
                              "mv \"$here/ran.part\" \"$here/ran\"\n";
} // namespace

void TestUpgradeScript::initTestCase()
{
    if (QStandardPaths::findExecutable("sh").isEmpty() || QStandardPaths::findExecutable("sleep").isEmpty())
        QSKIP("no POSIX shell here");
    QFile f(qEnvironmentVariable("HCHAT_TEST_DATA") + "/strings2.txt");
    QVERIFY(f.open(QIODevice::ReadOnly));
    m_catalogue.setLines(CatalogueCodec::splitPlain(f.readAll()));
}

void TestUpgradeScript::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_folder = m_dir->filePath("it's a $(folder) \"x\"") + u'/';
    QVERIFY(QDir().mkpath(m_folder));
    m_program = m_folder + m_catalogue.Lookup(567);
    writeFile(m_program, oldProgram, true);
}

QString TestUpgradeScript::writeScript()
{
    const QString script = UpgradeScript::pathFor(m_program, m_catalogue.Lookup(476));
    const QStringList lines =
        UpgradeScript::lines([this](int n) { return m_catalogue.Lookup(n); }, m_program, m_folder);
    const QString why = UpgradeScript::write(script, lines);
    return why.isEmpty() ? script : QString();
}

void TestUpgradeScript::replacesAndRestarts()
{
    writeFile(m_folder + "HChat.new", newProgram, true);
    const QString script = writeScript();
    QVERIFY(!script.isEmpty());
    QCOMPARE(QFile::permissions(script) & 0x7077,
             QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);

    // The program that is to end before anything is replaced.
    QProcess running;
    running.start("sleep", {"60"});
    QVERIFY(running.waitForStarted());

    QTemporaryDir workingFolder;
    const QStringList ownArguments{"--home", "run/client two", "it's \"quoted\""};
    QProcess sh;
    sh.setWorkingDirectory(workingFolder.path());
    sh.start("/bin/sh", QStringList{script} + UpgradeScript::arguments(running.processId(), ownArguments));
    QVERIFY(sh.waitForStarted());
    // While the program runs, the script waits and touches nothing.
    QVERIFY(!sh.waitForFinished(1200));
    QCOMPARE(readFile(m_program), oldProgram);

    running.kill();
    QVERIFY(running.waitForFinished());
    QVERIFY(sh.waitForFinished(30000));
    QCOMPARE(sh.exitCode(), 0);

    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(m_folder + "ran"), 10000);
    const QStringList ran = QString::fromUtf8(readFile(m_folder + "ran")).split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(ran, QStringList{QDir(workingFolder.path()).canonicalPath()} + ownArguments);
    QCOMPARE(readFile(m_program), newProgram);
    QCOMPARE(readFile(m_program + ".old"), oldProgram);
    QVERIFY(QFileInfo(m_program).isExecutable());
    QVERIFY(!QFile::exists(m_folder + "HChat.new"));
    QVERIFY(!QFile::exists(script)); // it cleans up after itself
}

void TestUpgradeScript::withoutNewProgramChangesNothing()
{
    const QString script = writeScript();
    QVERIFY(!script.isEmpty());
    QProcess sh;
    sh.start("/bin/sh", QStringList{script} + UpgradeScript::arguments(999999999, {}));
    QVERIFY(sh.waitForFinished(30000));
    QVERIFY(sh.exitCode() != 0);
    QCOMPARE(readFile(m_program), oldProgram);
    QVERIFY(!QFile::exists(m_program + ".old"));
}

void TestUpgradeScript::failingNewProgramIsPutBack()
{
    writeFile(m_program, newProgram, true); // the old program notes that it runs again
    writeFile(m_folder + "HChat.new", "#!/bin/sh\nexit 139\n", true);
    QProcess sh;
    sh.start("/bin/sh", QStringList{writeScript()} + UpgradeScript::arguments(999999999, {"--x"}));
    QVERIFY(sh.waitForFinished(30000));
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(m_folder + "ran"), 10000);
    QCOMPARE(readFile(m_program), newProgram);
    QCOMPARE(readFile(m_folder + "HChat.restored"), QByteArray("139\n"));
    QVERIFY(!QFile::exists(m_folder + "HChat.watch"));
}

void TestUpgradeScript::pathAndQuoting_data()
{
    QTest::addColumn<QString>("value");
    QTest::newRow("plain") << "/opt/hchat/hchat";
    QTest::newRow("blanks") << "/home/a b/hchat";
    QTest::newRow("quotes") << "/home/it's \"here\"/hchat";
    QTest::newRow("expansions") << "/tmp/$(touch pwned)`id`$HOME/*";
    QTest::newRow("empty") << "";
}

void TestUpgradeScript::pathAndQuoting()
{
    // Whatever a folder is called, the script sees exactly that name.
    QFETCH(QString, value);
    QTemporaryDir dir;
    const QString script = dir.filePath("echo.sh");
    QCOMPARE(UpgradeScript::write(script, {"#!/bin/sh", "printf '%s' " + UpgradeScript::quoted(value)}),
             QString());
    QProcess sh;
    sh.setWorkingDirectory(dir.path());
    sh.start("/bin/sh", {script});
    QVERIFY(sh.waitForFinished(10000));
    QCOMPARE(QString::fromUtf8(sh.readAllStandardOutput()), value);
    QVERIFY(!QFile::exists(dir.filePath("pwned")));

    QCOMPARE(UpgradeScript::pathFor("/opt/hchat/hchat", ".sh"), "/opt/hchat/hchat.sh");
    QCOMPARE(UpgradeScript::pathFor("/opt/h.chat/hchat.bin", ".sh"), "/opt/h.chat/hchat.sh");
}

QTEST_GUILESS_MAIN(TestUpgradeScript)
#include "tst_upgradescript.moc"
