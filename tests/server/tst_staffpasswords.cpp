// The staff file: what the server refuses to start with, and the line
// `hchat-server --hash-password` makes for it.
#include "server/staffpasswords.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace hchat;

class TestStaffPasswords : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    const QString bin = qEnvironmentVariable("HCHAT_BIN_DIR");

    QString write(const QByteArray &text, QFileDevice::Permissions mode)
    {
        const QString path = dir.filePath("staff.txt");
        QFile f(path);
        f.remove();
        if (!f.open(QIODevice::WriteOnly) || f.write(text) != text.size())
            return {};
        f.close();
        f.setPermissions(mode);
        return path;
    }
    static QByteArray cheapLine(const QByteArray &nick, const QString &password)
    {
        return nick + ':' +
               StaffPasswords::hash(password, StaffPasswords::minOpsLimit(), StaffPasswords::minMemLimit()) +
               '\n';
    }

private slots:
    void refused_data()
    {
        const auto owner = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("reason");
        const QByteArray good = cheapLine("Halvex Staff", "pw");
        QTest::newRow("others may read") << good << int(owner | QFileDevice::ReadOther) << "chmod 600";
        QTest::newRow("group may read") << good << int(owner | QFileDevice::ReadGroup) << "chmod 600";
        QTest::newRow("group may write") << good << int(owner | QFileDevice::WriteGroup) << "chmod 600";
        QTest::newRow("nick and plain password") << QByteArray("Ann:secret\n") << int(owner) << "line 1";
        QTest::newRow("no nick") << QByteArray("# staff\n:$argon2id$v=19$x\n") << int(owner) << "line 2";
        QTest::newRow("nobody named") << QByteArray("# nobody yet\n\n") << int(owner) << "names no staff";
    }
    void refused()
    {
        QFETCH(QByteArray, text);
        QFETCH(int, mode);
        QFETCH(QString, reason);
        const QString path = write(text, QFileDevice::Permissions(mode));
        QVERIFY(!path.isEmpty());
        StaffPasswords staff;
        QString error;
        QVERIFY(!staff.load(path, &error));
        QVERIFY2(error.contains(reason), qPrintable(error));
        QVERIFY(staff.isEmpty()); // nothing half read
    }

    void readAndVerified()
    {
        const QString path =
            write("# the staff\n\n" + cheapLine("Halvex Staff", "pw one") + cheapLine("Ops:Night", "pw two"),
                  QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        StaffPasswords staff;
        QString error;
        QVERIFY2(staff.load(path, &error), qPrintable(error));
        QVERIFY(staff.verify("HALVEX STAFF", "pw one"));
        QVERIFY(staff.verify("ops:night", "pw two")); // a nick may hold a colon
        QVERIFY(!staff.verify("Halvex Staff", "pw two"));
        QVERIFY(!staff.verify("Halvex Staff", ""));
        QVERIFY(!staff.verify("Ann", "pw one"));
    }

    void serverRefusesAFileOthersCanRead()
    {
        const QString path = write(cheapLine("Halvex Staff", "pw"),
                                   QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther);
        QProcess server;
        server.start(bin + "/hchat-server", {"--listen", "127.0.0.1:0", "--staff", path});
        QVERIFY(server.waitForFinished(10000));
        QCOMPARE(server.exitCode(), 1);
        QVERIFY(server.readAllStandardError().contains("chmod 600"));
    }

    void hashPasswordMakesAStaffLine()
    {
        QProcess hasher;
        hasher.start(bin + "/hchat-server", {"--hash-password", "Halvex Staff"});
        QVERIFY(hasher.waitForStarted());
        hasher.write("open_sesame\n");
        hasher.closeWriteChannel();
        QVERIFY(hasher.waitForFinished(30000));
        QCOMPARE(hasher.exitCode(), 0);
        const QByteArray line = hasher.readAllStandardOutput();
        QVERIFY(line.startsWith("Halvex Staff:$argon2id$"));
        const QString path = write(line, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        StaffPasswords staff;
        QString error;
        QVERIFY2(staff.load(path, &error), qPrintable(error));
        // Clients send passwords without underscores; so is the hash made.
        QVERIFY(staff.verify("Halvex Staff", "opensesame"));
    }
};

QTEST_GUILESS_MAIN(TestStaffPasswords)
#include "tst_staffpasswords.moc"
