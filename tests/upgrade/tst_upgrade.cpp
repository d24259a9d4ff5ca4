#include "catalogue/catalogue.h"
#include "catalogue/cataloguecodec.h"
#include "support/fakefetcher.h"
#include "upgrade/upgrade.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <limits>

#include <sodium.h>

using namespace hchat;
using hchat::test::FakeFetcher;

namespace {
QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeFile(const QString &path, const QByteArray &data)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(data);
}

// This very test program: a program of this machine as far as any check can tell.
QByteArray nativeProgram()
{
    return readFile(QCoreApplication::applicationFilePath());
}

QString listingFor(const QByteArray &digest)
{
    // Posted 2024-03-10; the program under test is older.
    QString l = "file=chat.dll\nsize=10\nmtime=1000\nfile=hchat\nsize=4096\nmtime=1710072000\n";
    if (!digest.isEmpty())
        l += "sha256=" + digest + "\n";
    return l;
}
} // namespace

class TestUpgrade : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void listingOffersTheButton_data();
    void listingOffersTheButton();
    void installedPackageDownloadsNothing();
    void programNameStaysInItsFolder();
    void gaugeNeverPassesItsMaximum_data();
    void gaugeNeverPassesItsMaximum();
    void finishing_data();
    void finishing();
    void restoredProgramIsReportedOnce();
    void abortEndsQuietly();

private:
    std::unique_ptr<Upgrade> make(bool writable = true);
    void offer(const QByteArray &digest);

    Catalogue m_catalogue;
    QHash<int, QString> m_entries; ///< catalogue entries changed for one test
    std::unique_ptr<QTemporaryDir> m_home, m_program;
    FakeFetcher m_fetcher;
    QDate m_version{2024, 3, 9};
    QString m_probe;  ///< what the new program's "--version" run says
    QByteArray m_key; ///< the public key built in
};

void TestUpgrade::initTestCase()
{
    QFile f(qEnvironmentVariable("HCHAT_TEST_DATA") + "/strings2.txt");
    QVERIFY(f.open(QIODevice::ReadOnly));
    m_catalogue.setLines(CatalogueCodec::splitPlain(f.readAll()));
}

void TestUpgrade::init()
{
    m_home = std::make_unique<QTemporaryDir>();
    m_program = std::make_unique<QTemporaryDir>();
    m_entries.clear();
    m_fetcher.urls.clear();
    m_fetcher.targets.clear();
    m_fetcher.busy = false;
    m_fetcher.aborts = 0;
    m_version = QDate(2024, 3, 9);
    m_probe.clear();
    m_key.clear();
    writeFile(m_program->filePath("hchat"), "old program");
}

std::unique_ptr<Upgrade> TestUpgrade::make(bool writable)
{
    UpgradeContext c;
    c.fetcher = &m_fetcher;
    c.text = [this](int n) { return m_entries.value(n, m_catalogue.Lookup(n)); };
    c.homeFolder = m_home->path();
    c.programFolder = m_program->path();
    c.ownPath = QCoreApplication::applicationFilePath();
    c.versionDate = m_version;
    c.programFolderWritable = writable;
    c.probe = [this](const QString &) { return m_probe; };
    c.publicKey = m_key;
    return std::make_unique<Upgrade>(c);
}

void TestUpgrade::listingOffersTheButton_data()
{
    QTest::addColumn<QDate>("version");
    QTest::addColumn<QString>("listing");
    QTest::addColumn<bool>("visible");
    QTest::addColumn<bool>("enabled");
    QTest::newRow("later") << QDate(2024, 3, 9) << listingFor({}) << true << true;
    QTest::newRow("same day") << QDate(2024, 3, 10) << listingFor({}) << true << false;
    QTest::newRow("no entry") << QDate(2024, 3, 9) << "file=chat.dll\nsize=1\nmtime=1710072000\n"
                              << false << false;
    QTest::newRow("no mtime") << QDate(2024, 3, 9) << "file=hchat\nmtime=1710072000\n" << false << false;
    QTest::newRow("request failed") << QDate(2024, 3, 9) << QString() << false << false;
}

void TestUpgrade::listingOffersTheButton()
{
    QFETCH(QDate, version);
    QFETCH(QString, listing);
    QFETCH(bool, visible);
    QFETCH(bool, enabled);
    m_version = version;
    auto upgrade = make();
    QSignalSpy button(upgrade.get(), &Upgrade::buttonChanged);
    QSignalSpy notice(upgrade.get(), &Upgrade::notice);
    upgrade->requestListing();
    QCOMPARE(m_fetcher.urls.value(0), QUrl(m_catalogue.Lookup(0) + "cgi-bin/halvex.cgi?path=../files/"));
    QCOMPARE(m_fetcher.targets.value(0), m_home->filePath("directory"));
    QCOMPARE(m_fetcher.limits.value(0), Upgrade::maxListingBytes);
    if (listing.isNull())
        m_fetcher.fail("HTTP status 404");
    else
        m_fetcher.succeed(listing.toLatin1());
    QVERIFY(notice.isEmpty()); // without a listing there is no offer, and nothing to say
    QVERIFY(!upgrade->isBusy());
    // Hidden the button was, and hidden it stays unless the entry is there.
    QCOMPARE(button.count(), listing.isNull() ? 0 : 1);
    QCOMPARE(button.value(0).value(0).toBool(), visible);
    QCOMPARE(button.value(0).value(1).toBool(), enabled);
    if (visible)
        QCOMPARE(button.at(0).at(2).toString(), "Upgrade to version Mar 10");

    // The button only acts on a later version.
    upgrade->btnUpgradeClick();
    QCOMPARE(m_fetcher.urls.size(), enabled ? 2 : 1);
    if (enabled)
        QCOMPARE(m_fetcher.urls.value(1), QUrl(m_catalogue.Lookup(0) + "files/hchat"));
    if (enabled)
        QCOMPARE(m_fetcher.limits.value(1), Upgrade::maxProgramBytes);
}

void TestUpgrade::installedPackageDownloadsNothing()
{
    auto upgrade = make(false);
    QSignalSpy button(upgrade.get(), &Upgrade::buttonChanged);
    upgrade->requestListing();
    upgrade->btnUpgradeClick();
    QVERIFY(m_fetcher.urls.isEmpty());
    QCOMPARE(button.count(), 1);
    QCOMPARE(button.at(0).at(0).toBool(), true);
    QCOMPARE(button.at(0).at(1).toBool(), false);
    QVERIFY(button.at(0).at(2).toString().contains("package manager"));
}

void TestUpgrade::programNameStaysInItsFolder()
{
    m_entries[567] = "../escaped-hchat";
    auto upgrade = make();
    upgrade->requestListing();
    upgrade->btnUpgradeClick();
    QVERIFY(m_fetcher.urls.isEmpty());
}

void TestUpgrade::offer(const QByteArray &digest)
{
    m_fetcher.succeed(listingFor(digest).toLatin1());
}

void TestUpgrade::gaugeNeverPassesItsMaximum_data()
{
    QTest::addColumn<QList<qint64>>("reports"); // received, total pairs
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("maximum");
    QTest::newRow("as announced") << QList<qint64>{0, 100, 40, 100, 100, 100} << 100 << 100;
    QTest::newRow("more bytes than announced") << QList<qint64>{60, 50, 80, 50} << 50 << 50;
    QTest::newRow("no length announced") << QList<qint64>{30, -1, 60, -1} << 0 << 0;
    constexpr qint64 big = qint64(std::numeric_limits<int>::max()) * 3;
    QTest::newRow("past an int") << QList<qint64>{big, big} << int(big / 4) << int(big / 4);
    QTest::newRow("past an int, more than announced")
        << QList<qint64>{big + 10000, big} << int(big / 4) << int(big / 4);
}

void TestUpgrade::gaugeNeverPassesItsMaximum()
{
    QFETCH(QList<qint64>, reports);
    QFETCH(int, value);
    QFETCH(int, maximum);
    auto upgrade = make();
    upgrade->requestListing();
    offer({});
    QSignalSpy gauge(upgrade.get(), &Upgrade::gaugeChanged);
    upgrade->btnUpgradeClick();
    QCOMPARE(gauge.count(), 1); // shown from 0
    QCOMPARE(gauge.at(0), (QVariantList{true, 0, 0}));
    for (int i = 0; i + 1 < reports.size(); i += 2)
        m_fetcher.report(reports.at(i), reports.at(i + 1));
    for (const QList<QVariant> &g : gauge)
        QVERIFY(g.at(1).toInt() <= g.at(2).toInt());
    QCOMPARE(gauge.constLast().at(1).toInt(), value);
    QCOMPARE(gauge.constLast().at(2).toInt(), maximum);
}

void TestUpgrade::finishing_data()
{
    QTest::addColumn<QByteArray>("body");   // what arrives; null: the transfer fails
    QTest::addColumn<QByteArray>("digest"); // the listing's digest line
    QTest::addColumn<bool>("installed");
    const QByteArray program = nativeProgram();
    const QByteArray digest = QCryptographicHash::hash(program, QCryptographicHash::Sha256).toHex();
    QByteArray otherMachine = program;
    otherMachine[18] = char(otherMachine.at(18) ^ 0x55);
    QTest::newRow("checked program") << program << digest << true;
    QTest::newRow("listing without digest") << program << QByteArray() << true;
    QTest::newRow("digest in capitals") << program << digest.toUpper() << true;
    QTest::newRow("wrong digest") << program << QByteArray(64, 'a') << false;
    QTest::newRow("an error page") << QByteArray("<html>Not Found</html>") << QByteArray() << false;
    QTest::newRow("program of another machine") << otherMachine << QByteArray() << false;
    QTest::newRow("header and garbage")
        << program.left(4160) + QByteArray(4096, 'x') << QByteArray() << false;
    QTest::newRow("cut upload") << program.left(program.size() - 1) << QByteArray() << false;
    QTest::newRow("does not answer --version") << program << digest << false;
    QTest::newRow("signed") << program << digest << true;
    QTest::newRow("signed by another key") << program << digest << false;
    QTest::newRow("signed, date changed") << program << digest << false;
    QTest::newRow("key built in, no signature") << program << digest << false;
    QTest::newRow("empty file") << QByteArray("") << QByteArray() << false;
    QTest::newRow("transfer failed") << QByteArray() << QByteArray() << false;
}

void TestUpgrade::finishing()
{
    QFETCH(QByteArray, body);
    QFETCH(QByteArray, digest);
    QFETCH(bool, installed);
    writeFile(m_program->filePath("HChat.new"), "earlier download");
    if (QTest::currentDataTag() == QLatin1String("does not answer --version"))
        m_probe = "the new program does not answer --version";
    const QByteArray tag = QTest::currentDataTag();
    QByteArray listing = listingFor(digest).toLatin1();
    if (tag.contains("signed") || tag.contains("key")) {
        unsigned char pk[crypto_sign_PUBLICKEYBYTES], sk[crypto_sign_SECRETKEYBYTES], sig[crypto_sign_BYTES];
        crypto_sign_keypair(pk, sk);
        listing = "file=hchat\nsize=" + QByteArray::number(body.size()) +
                  "\nmtime=1710072000\nsha256=" + digest + "\n";
        crypto_sign_detached(sig, nullptr, reinterpret_cast<const unsigned char *>(listing.constData()),
                             quint64(listing.size()), sk);
        if (tag != "key built in, no signature")
            listing += "sig=" + QByteArray(reinterpret_cast<const char *>(sig), sizeof sig).toHex() + "\n";
        if (tag == "signed by another key")
            crypto_sign_keypair(pk, sk);
        if (tag == "signed, date changed")
            listing.replace("mtime=1710072000", "mtime=1710172000");
        m_key = QByteArray(reinterpret_cast<const char *>(pk), sizeof pk);
    }
    auto upgrade = make();
    upgrade->requestListing();
    m_fetcher.succeed(listing);
    QSignalSpy replace(upgrade.get(), &Upgrade::replaceOnExit);
    QSignalSpy notice(upgrade.get(), &Upgrade::notice);
    QSignalSpy button(upgrade.get(), &Upgrade::buttonChanged);
    upgrade->btnUpgradeClick();
    if (QTest::currentDataTag() == QLatin1String("transfer failed"))
        m_fetcher.fail("Transfer cut short: 10 of 20 bytes");
    else
        m_fetcher.succeed(body);

    const QString script =
        m_program->filePath(QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName() + ".sh");
    QCOMPARE(button.constLast().at(0).toBool(), true); // the gauge gives way to the button again
    QCOMPARE(readFile(m_program->filePath("hchat")), QByteArray("old program"));
    if (installed) {
        QVERIFY(notice.isEmpty());
        QCOMPARE(replace.count(), 1);
        QCOMPARE(replace.at(0).at(0).toString(), script);
        QCOMPARE(readFile(m_program->filePath("HChat.new")), body);
        QVERIFY(QFileInfo(m_program->filePath("HChat.new")).isExecutable());
        QCOMPARE(QFile::permissions(script) & 0x7077,
                 QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QVERIFY(readFile(script).contains(QFile::encodeName(m_program->filePath("hchat"))));
    } else {
        QCOMPARE(notice.count(), 1);
        QVERIFY(replace.isEmpty());
        QCOMPARE(readFile(m_program->filePath("HChat.new")), QByteArray("earlier download"));
        QVERIFY(!QFile::exists(script));
    }
    // Nothing half-done is left beside the program.
    QCOMPARE(QDir(m_program->path()).entryList(QDir::Files).size(), installed ? 3 : 2);
}

void TestUpgrade::restoredProgramIsReportedOnce()
{
    writeFile(m_program->filePath("HChat.restored"), "139\n");
    auto upgrade = make();
    QSignalSpy notice(upgrade.get(), &Upgrade::notice);
    upgrade->reportRestored();
    upgrade->reportRestored();
    QCOMPARE(notice.count(), 1);
    QVERIFY(notice.at(0).at(0).toString().contains("exit status 139"));
}

void TestUpgrade::abortEndsQuietly()
{
    auto upgrade = make();
    upgrade->requestListing();
    offer({});
    upgrade->btnUpgradeClick();
    QVERIFY(upgrade->isBusy());
    QSignalSpy gauge(upgrade.get(), &Upgrade::gaugeChanged);
    QSignalSpy notice(upgrade.get(), &Upgrade::notice);
    QSignalSpy replace(upgrade.get(), &Upgrade::replaceOnExit);
    upgrade->abort();
    QCOMPARE(m_fetcher.aborts, 1);
    QVERIFY(!upgrade->isBusy());
    // Anything the fetcher still says belongs to nobody now.
    m_fetcher.report(10, 10);
    m_fetcher.succeed(nativeProgram());
    QVERIFY(gauge.isEmpty() && notice.isEmpty() && replace.isEmpty());
}

QTEST_GUILESS_MAIN(TestUpgrade)
#include "tst_upgrade.moc"
