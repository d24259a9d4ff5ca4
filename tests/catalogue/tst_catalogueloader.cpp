#include "catalogue/catalogue.h"
#include "catalogue/cataloguecodec.h"
#include "catalogue/catalogueloader.h"
#include "catalogue/fetcher.h"
#include "support/fakefetcher.h"

#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace hchat;
using hchat::test::FakeFetcher;

namespace {

void writeFile(const QString &path, const QByteArray &data)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(data);
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class TestCatalogueLoader : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void noFileNoNetworkShowsNotice();
    void noFetcherShowsNotice();
    void downloadLoadsAndSaves();
    void downloadedGarbageIsRefused();
    void readsInstalledFileWhereItIs();
    void newerShippedCatalogueReachesTheHome_data();
    void newerShippedCatalogueReachesTheHome();
    void convertsPlainSource();
    void sourceCannotWriteElsewhere();
    void garbledLocalFile();
    void laterTransfersAreNotOurs();

private:
    std::unique_ptr<QTemporaryDir> m_home;
    std::unique_ptr<QTemporaryDir> m_install;
    Catalogue m_catalogue;
    FakeFetcher m_fetcher;

    std::unique_ptr<CatalogueLoader> makeLoader(Fetcher *fetcher)
    {
        auto loader = std::make_unique<CatalogueLoader>(&m_catalogue, fetcher);
        loader->setProgramFolder(m_home->path());
        loader->setInstallFolder(m_install->path());
        loader->setWebBase(QStringLiteral("http://127.0.0.1:8080"));
        return loader;
    }
    QString home(const QString &name) const { return m_home->filePath(name); }
};

void TestCatalogueLoader::init()
{
    m_home = std::make_unique<QTemporaryDir>();
    m_install = std::make_unique<QTemporaryDir>();
    m_catalogue.clear();
    m_fetcher.urls.clear();
    m_fetcher.targets.clear();
}

void TestCatalogueLoader::noFileNoNetworkShowsNotice()
{
    auto loader = makeLoader(&m_fetcher);
    QSignalSpy notices(loader.get(), &CatalogueLoader::notice);
    QSignalSpy loaded(loader.get(), &CatalogueLoader::loaded);
    QVERIFY(!loader->start());
    QVERIFY(loader->isPending());
    QCOMPARE(m_fetcher.urls, QList<QUrl>{QUrl("http://127.0.0.1:8080/files/chat.dll")});
    QCOMPARE(m_fetcher.targets, QStringList{QString()}); // into memory, checked before saving
    QCOMPARE(notices.count(), 0);

    m_fetcher.fail(QStringLiteral("Connection refused"));
    QCOMPARE(notices.count(), 1);
    QVERIFY(notices.at(0).at(0).toString().contains(QLatin1String("Connection refused")));
    QCOMPARE(loaded.count(), 0);
    QVERIFY(!loader->isPending());
    QCOMPARE(m_catalogue.Lookup(0), QString());
    QVERIFY(!QFile::exists(home("chat.dll")));
}

void TestCatalogueLoader::noFetcherShowsNotice()
{
    auto loader = makeLoader(nullptr);
    QSignalSpy notices(loader.get(), &CatalogueLoader::notice);
    QVERIFY(!loader->start());
    QCOMPARE(notices.count(), 1);
    QVERIFY(!loader->isPending());
}

void TestCatalogueLoader::downloadLoadsAndSaves()
{
    auto loader = makeLoader(&m_fetcher);
    QSignalSpy loaded(loader.get(), &CatalogueLoader::loaded);
    QSignalSpy notices(loader.get(), &CatalogueLoader::notice);
    loader->start();
    const QByteArray body = CatalogueCodec::encodeFile({"0,http://127.0.0.1:8080/", "1,[0]x"});
    m_fetcher.succeed(body);
    QCOMPARE(loaded.count(), 1);
    QCOMPARE(notices.count(), 0);
    QCOMPARE(m_catalogue.Lookup(1), QStringLiteral("http://127.0.0.1:8080/x"));
    QCOMPARE(readFile(home("chat.dll")), body);

    // The next start finds the file and needs no network.
    m_fetcher.urls.clear();
    Catalogue again;
    CatalogueLoader second(&again, &m_fetcher);
    second.setProgramFolder(m_home->path());
    QVERIFY(second.start());
    QVERIFY(m_fetcher.urls.isEmpty());
    QCOMPARE(again.Lookup(0), QStringLiteral("http://127.0.0.1:8080/"));
}

void TestCatalogueLoader::downloadedGarbageIsRefused()
{
    auto loader = makeLoader(&m_fetcher);
    QSignalSpy notices(loader.get(), &CatalogueLoader::notice);
    loader->start();
    m_fetcher.succeed(QByteArray("<html>Not Found</html>\n\xff\xfe\x00\x01", 27));
    QCOMPARE(notices.count(), 1);
    QVERIFY(!m_catalogue.isLoaded());
    QVERIFY(!QFile::exists(home("chat.dll")));
}

void TestCatalogueLoader::readsInstalledFileWhereItIs()
{
    writeFile(m_install->filePath("chat.dll"), CatalogueCodec::encodeFile({"0,shipped"}));
    auto loader = makeLoader(&m_fetcher);
    QSignalSpy loaded(loader.get(), &CatalogueLoader::loaded);
    QVERIFY(loader->start());
    QCOMPARE(loaded.count(), 1);
    QVERIFY(m_fetcher.urls.isEmpty());
    QCOMPARE(m_catalogue.Lookup(0), QStringLiteral("shipped"));
    QVERIFY(!QFile::exists(home("chat.dll")));

    // A package update replaces the installed file: the next start reads it.
    writeFile(m_install->filePath("chat.dll"), CatalogueCodec::encodeFile({"0,updated"}));
    QVERIFY(makeLoader(&m_fetcher)->start());
    QCOMPARE(m_catalogue.Lookup(0), QStringLiteral("updated"));

    // The program folder's own file wins over the shipped one.
    writeFile(home("chat.dll"), CatalogueCodec::encodeFile({"0,own"}));
    QVERIFY(makeLoader(&m_fetcher)->start());
    QCOMPARE(m_catalogue.Lookup(0), QStringLiteral("own"));
}

void TestCatalogueLoader::newerShippedCatalogueReachesTheHome_data()
{
    QTest::addColumn<int>("homeAge");    // seconds before now
    QTest::addColumn<int>("shippedAge"); // seconds before now
    QTest::addColumn<QString>("expected");
    QTest::newRow("install updated since") << 3600 << 60 << "new";
    QTest::newRow("home copy newer") << 60 << 3600 << "home";
    QTest::newRow("same moment") << 60 << 60 << "home";
}

void TestCatalogueLoader::newerShippedCatalogueReachesTheHome()
{
    QFETCH(int, homeAge);
    QFETCH(int, shippedAge);
    QFETCH(QString, expected);
    const QDateTime now = QDateTime::currentDateTime();
    auto place = [&](const QString &path, const QString &text, int age) {
        writeFile(path, CatalogueCodec::encodeFile({"0," + text}));
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadWrite));
        QVERIFY(f.setFileTime(now.addSecs(-age), QFileDevice::FileModificationTime));
    };
    place(home("chat.dll"), "home", homeAge);
    place(m_install->filePath("chat.dll"), "new", shippedAge);
    auto loader = makeLoader(&m_fetcher);
    QVERIFY(loader->start());
    QCOMPARE(m_catalogue.Lookup(0), expected);
    QCOMPARE(readFile(home("chat.dll")), CatalogueCodec::encodeFile({"0,home"})); // never overwritten
}

void TestCatalogueLoader::convertsPlainSource()
{
    QStringList plain;
    for (int n = 0; n <= 200; ++n)
        plain << QStringLiteral("%1,").arg(n);
    plain[5] = "Help,http://127.0.0.1:8080/help/";
    plain[200] = "File,chat.dll";
    writeFile(home("strings2.txt"), plain.join("\r\n").toUtf8() + "\r\n");
    writeFile(home("chat.dll"), CatalogueCodec::encodeFile({"0,old"}));

    auto loader = makeLoader(&m_fetcher);
    QVERIFY(loader->start());
    QCOMPARE(m_catalogue.count(), 201);
    QCOMPARE(m_catalogue.Lookup(5), QStringLiteral("http://127.0.0.1:8080/help/"));
    QVERIFY(!readFile(home("chat.dll")).contains("127.0.0.1")); // stored scrambled
}

void TestCatalogueLoader::sourceCannotWriteElsewhere()
{
    QStringList plain;
    for (int n = 0; n <= 200; ++n)
        plain << QStringLiteral("%1,t%1").arg(n);
    plain[200] = "File,../escaped.dll";
    writeFile(home("strings2.txt"), plain.join("\n").toUtf8());
    auto loader = makeLoader(&m_fetcher);
    QVERIFY(loader->start());
    QVERIFY(!QFile::exists(QDir(m_home->path()).absoluteFilePath("../escaped.dll")));
    QCOMPARE(m_catalogue.Lookup(7), QStringLiteral("t7"));
}

void TestCatalogueLoader::garbledLocalFile()
{
    QByteArray garbage;
    for (int i = 0; i < 4096; ++i)
        garbage += char((i * 7919) & 0xff);
    writeFile(home("chat.dll"), garbage);
    auto loader = makeLoader(&m_fetcher);
    QSignalSpy notices(loader.get(), &CatalogueLoader::notice);
    QVERIFY(!loader->start());
    QCOMPARE(notices.count(), 1);
    QVERIFY(m_fetcher.urls.isEmpty());
    QCOMPARE(m_catalogue.Lookup(0), QString());
}

void TestCatalogueLoader::laterTransfersAreNotOurs()
{
    auto loader = makeLoader(&m_fetcher);
    QSignalSpy notices(loader.get(), &CatalogueLoader::notice);
    QSignalSpy loaded(loader.get(), &CatalogueLoader::loaded);
    loader->start();
    m_fetcher.fail(QStringLiteral("timeout"));
    // The same fetcher now serves someone else's download.
    m_fetcher.succeed(CatalogueCodec::encodeFile({"0,other"}));
    m_fetcher.fail(QStringLiteral("other"));
    QCOMPARE(notices.count(), 1);
    QCOMPARE(loaded.count(), 0);
}

QTEST_GUILESS_MAIN(TestCatalogueLoader)
#include "tst_catalogueloader.moc"
