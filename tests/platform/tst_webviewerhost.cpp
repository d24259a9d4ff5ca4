#include "platform/textbrowserpane.h"
#include "platform/webviewerhost.h"

#include "platform/webpane.h"

#include <QImage>
#include <QPluginLoader>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QtTest>

using namespace hchat;

class TstWebViewerHost : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { qputenv("HCHAT_NO_WEBENGINE", "1"); }
    void nothingBeforeTheFirstAddress();
    void fallbackShowsImages();
    void addressShownAsText();
    void pluginOffersPanes();
    void sitePagesFromDisk_data();
    void sitePagesFromDisk();
};

void TstWebViewerHost::nothingBeforeTheFirstAddress()
{
    QWidget pnlWeb;
    WebViewerHost host(&pnlWeb);
    QVERIFY(!host.hasView());
    QVERIFY(host.currentAddress().isEmpty());
    QVERIFY(host.pluginPath().contains("plugins/hchat_webpane"));
}

void TstWebViewerHost::fallbackShowsImages()
{
    QTemporaryDir dir;
    QImage img(40, 30, QImage::Format_RGB32);
    img.fill(Qt::red);
    QVERIFY(img.save(dir.filePath("pic.png")));
    QFile junk(dir.filePath("junk.png"));
    QVERIFY(junk.open(QIODevice::WriteOnly));
    junk.write("not an image");
    junk.close();

    QWidget pnlWeb;
    WebViewerHost host(&pnlWeb);
    const QString url = QUrl::fromLocalFile(dir.filePath("pic.png")).toString();
    host.FindAddress(url);
    QVERIFY(host.hasView());
    QVERIFY(!host.usesWebEngine());
    QCOMPARE(host.currentAddress(), url);
    auto *pane = qobject_cast<TextBrowserPane *>(host.viewWidget());
    QVERIFY(pane);
    QCOMPARE(pane->parentWidget(), &pnlWeb);
    QSignalSpy done(pane, &TextBrowserPane::imageDone);
    QVERIFY(done.wait(5000));
    QCOMPARE(done.first().first().toBool(), true);
    QVERIFY(pane->browser()->toHtml().contains("<img"));

    host.FindAddress(QUrl::fromLocalFile(dir.filePath("junk.png")).toString());
    QCOMPARE(host.viewWidget(), pane); // one view, reused
    QVERIFY(done.wait(5000));
    QCOMPARE(done.last().first().toBool(), false);
    QVERIFY(!pane->browser()->toHtml().contains("<img"));
}

void TstWebViewerHost::addressShownAsText()
{
    QWidget pnlWeb;
    WebViewerHost host(&pnlWeb);
    host.FindAddress("http://example.invalid/a?b=<b>bold</b>&c=\"q\"");
    auto *pane = qobject_cast<TextBrowserPane *>(host.viewWidget());
    QVERIFY(pane);
    const QString html = pane->browser()->toHtml();
    QVERIFY(!html.contains("<b>bold"));
    QVERIFY(pane->browser()->toPlainText().contains("example.invalid"));
}

void TstWebViewerHost::pluginOffersPanes()
{
    // Loading the plugin starts no browser process; making a pane would.
    QWidget pnlWeb;
    WebViewerHost host(&pnlWeb);
    if (!QFile::exists(host.pluginPath()))
        QSKIP("built without Qt WebEngine");
    QPluginLoader loader(host.pluginPath());
    QVERIFY2(loader.load(), qPrintable(loader.errorString()));
    QVERIFY(qobject_cast<WebPaneFactory *>(loader.instance()));
}

void TstWebViewerHost::sitePagesFromDisk_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("page"); // under the web folder; empty: none
    QTest::newRow("help") << "http://127.0.0.1:8080/help/chat"
                          << "help/chat/index.html";
    QTest::newRow("help, slash") << "http://127.0.0.1:8080/help/chat/"
                                 << "help/chat/index.html";
    QTest::newRow("site root") << "http://127.0.0.1:8080"
                               << "index.html";
    QTest::newRow("another host") << "http://example.com:8080/help/chat"
                                  << "";
    QTest::newRow("another port") << "http://127.0.0.1:8081/help/chat"
                                  << "";
    QTest::newRow("no such page") << "http://127.0.0.1:8080/files/"
                                  << "";
    QTest::newRow("out of the folder") << "http://127.0.0.1:8080/%2e%2e/secret.html"
                                       << "";
}

void TstWebViewerHost::sitePagesFromDisk()
{
    QFETCH(QString, address);
    QFETCH(QString, page);
    QTemporaryDir dir;
    const QString web = dir.filePath("web");
    for (const QString f : {"web/index.html", "web/help/chat/index.html", "secret.html"}) {
        QVERIFY(QDir().mkpath(QFileInfo(dir.filePath(f)).absolutePath()));
        QFile file(dir.filePath(f));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("<p>" + f.toUtf8() + "</p>");
    }
    const QString base = "http://127.0.0.1:8080/";
    const QString expected = page.isEmpty() ? QString() : web + "/" + page;
    QCOMPARE(WebViewerHost::localPage(address, base, web), expected);

    // The fallback view shows the page from disk; a view that could not load
    // it reports so, and gets the page from disk.
    QWidget pnlWeb;
    WebViewerHost host(&pnlWeb);
    host.setLocalSite(base, web);
    host.FindAddress(address);
    auto *pane = qobject_cast<TextBrowserPane *>(host.viewWidget());
    QVERIFY(pane);
    const QString shown = "web/" + page;
    const QString text = pane->browser()->toPlainText();
    if (page.isEmpty())
        QVERIFY2(!text.startsWith("web/") && !text.startsWith("secret"), qPrintable(text));
    else
        QCOMPARE(text, shown);
    if (!page.isEmpty()) {
        pane->browser()->setHtml("error page");
        pane->loadFailed(QUrl(address));
        QCOMPARE(pane->browser()->toPlainText(), shown);
    }
}

QTEST_MAIN(TstWebViewerHost)
#include "tst_webviewerhost.moc"
