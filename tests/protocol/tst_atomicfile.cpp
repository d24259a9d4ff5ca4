#include "protocol/atomicfile.h"
#include "support/smalldisk.h"
#include "support/testfiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace hchat;
using hchat::test::readFile;
using hchat::test::SmallDisk;
using hchat::test::writeFile;

class TestAtomicFile : public QObject
{
    Q_OBJECT

private slots:
    void failedSavesKeepTheOldFile_data()
    {
        QTest::addColumn<QString>("disk");
        QTest::addColumn<int>("bytes");
        // A short file sits in the write buffer and fails only at the flush.
        QTest::newRow("full, short file") << "full" << 40;
        QTest::newRow("full, long file") << "full" << 200000;
        QTest::newRow("read-only") << "read-only" << 40;
    }
    void failedSavesKeepTheOldFile()
    {
        QFETCH(QString, disk);
        QFETCH(int, bytes);
        SmallDisk small;
        if (!small.available())
            QSKIP(qPrintable(small.skipReason()));
        const QString path = small.path() + "/settings.ini";
        writeFile(path, "[Chat]\nNick=Ann\n");
        if (disk == "full")
            small.fill();
        else
            QVERIFY(small.setReadOnly(true));

        QString error;
        QVERIFY(!AtomicFile::save(path, QByteArray(bytes, 'n'), &error));
        QVERIFY(!error.isEmpty());
        QCOMPARE(readFile(path), QByteArray("[Chat]\nNick=Ann\n"));
        // No temporary file is left behind to eat what space is left.
        QDir dir(small.path());
        QCOMPARE(dir.entryList(QDir::Files | QDir::Hidden).size(), disk == "full" ? 2 : 1);
    }

    void readTellsWhetherTheFileMayBeReplaced()
    {
        QTemporaryDir dir;
        QByteArray bytes;
        QCOMPARE(AtomicFile::read(dir.path() + "/none", &bytes), AtomicFile::ReadResult::Absent);
        writeFile(dir.path() + "/big", QByteArray(5000, 'b'));
        QCOMPARE(AtomicFile::read(dir.path() + "/big", &bytes), AtomicFile::ReadResult::Read);
        QCOMPARE(bytes.size(), 5000);
        QString error;
        QCOMPARE(AtomicFile::read(dir.path() + "/big", &bytes, &error, 4999), AtomicFile::ReadResult::Failed);
        QVERIFY(!error.isEmpty());
        // Something that is there but cannot be read as a file.
        QVERIFY(QDir(dir.path()).mkdir("folder"));
        QCOMPARE(AtomicFile::read(dir.path() + "/folder", &bytes), AtomicFile::ReadResult::Failed);
    }
};

QTEST_GUILESS_MAIN(TestAtomicFile)
#include "tst_atomicfile.moc"
