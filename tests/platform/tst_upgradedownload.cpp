#include "catalogue/catalogue.h"
#include "catalogue/cataloguecodec.h"
#include "platform/httpfetcher.h"
#include "support/loopbackhttpserver.h"
#include "upgrade/upgrade.h"

#include <QCryptographicHash>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace hchat;
using hchat::test::LoopbackHttpServer;

// The upgrade against a web site on loopback, through the real fetcher:
// only a whole, checked program file arms the replacement.
class TestUpgradeDownload : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void download_data();
    void download();

private:
    QStringList m_lines;  // the shipped catalogue
    QByteArray m_program; // a program of this machine
};

namespace {
QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
} // namespace

void TestUpgradeDownload::initTestCase()
{
    QFile f(qEnvironmentVariable("HCHAT_TEST_DATA") + "/strings2.txt");
    QVERIFY(f.open(QIODevice::ReadOnly));
    m_lines = CatalogueCodec::splitPlain(f.readAll());
    QFile self(QCoreApplication::applicationFilePath());
    QVERIFY(self.open(QIODevice::ReadOnly));
    m_program = self.readAll(); // whole: a cut program is refused
}

void TestUpgradeDownload::download_data()
{
    QTest::addColumn<QByteArray>("answer"); // raw answer for files/hchat; empty: 404
    QTest::addColumn<bool>("installed");
    const QByteArray head = "HTTP/1.1 200 OK\r\nContent-Length: ";
    QTest::newRow("complete") << head + QByteArray::number(m_program.size()) + "\r\n\r\n" + m_program << true;
    QTest::newRow("not found") << QByteArray() << false;
    QTest::newRow("cut short") << head + QByteArray::number(m_program.size() + 1000) + "\r\n\r\n" + m_program
                               << false;
    QTest::newRow("no length, cut short") << "HTTP/1.1 200 OK\r\n\r\n" + m_program.left(20000) << false;
    QTest::newRow("timeout") << QByteArray("hold") << false;
}

void TestUpgradeDownload::download()
{
    QFETCH(QByteArray, answer);
    QFETCH(bool, installed);
    LoopbackHttpServer site;
    const QByteArray digest = QCryptographicHash::hash(m_program, QCryptographicHash::Sha256).toHex();
    site.serve("/cgi-bin/halvex.cgi?path=../files/",
               "file=hchat\nsize=" + QByteArray::number(m_program.size()) +
                   "\nmtime=1710072000\nsha256=" + digest + "\n");
    if (answer == "hold")
        site.hold("/files/hchat");
    else if (!answer.isEmpty())
        site.serveRaw("/files/hchat", answer);

    QStringList lines = m_lines;
    lines[0] = "WebBase," + site.url("/").toString();
    const Catalogue catalogue(lines);
    QTemporaryDir home, folder;
    QFile earlier(folder.filePath("HChat.new"));
    QVERIFY(earlier.open(QIODevice::WriteOnly));
    earlier.write("earlier");
    earlier.close();

    HttpFetcher fetcher;
    fetcher.setTimeout(500);
    UpgradeContext c;
    c.fetcher = &fetcher;
    c.text = [&catalogue](int n) { return catalogue.Lookup(n); };
    c.homeFolder = home.path();
    c.programFolder = folder.path();
    c.ownPath = QCoreApplication::applicationFilePath();
    c.probe = [](const QString &) { return QString(); }; // this test program knows no --version
    c.versionDate = QDate(2024, 1, 1);
    Upgrade upgrade(c);
    QSignalSpy button(&upgrade, &Upgrade::buttonChanged);
    QSignalSpy gauge(&upgrade, &Upgrade::gaugeChanged);
    QSignalSpy notice(&upgrade, &Upgrade::notice);
    QSignalSpy replace(&upgrade, &Upgrade::replaceOnExit);

    upgrade.requestListing();
    QVERIFY(button.wait(10000));
    QCOMPARE(button.at(0).at(1).toBool(), true);
    upgrade.btnUpgradeClick();
    QTRY_VERIFY_WITH_TIMEOUT(!upgrade.isBusy(), 10000);

    QCOMPARE(replace.count(), installed ? 1 : 0);
    QCOMPARE(notice.count(), installed ? 0 : 1);
    QCOMPARE(readFile(folder.filePath("HChat.new")), installed ? m_program : QByteArray("earlier"));
    for (const QList<QVariant> &g : gauge)
        QVERIFY(g.at(1).toInt() <= g.at(2).toInt());
    if (installed)
        QCOMPARE(gauge.constLast().mid(1), (QVariantList{int(m_program.size()), int(m_program.size())}));
}

QTEST_GUILESS_MAIN(TestUpgradeDownload)
#include "tst_upgradedownload.moc"
