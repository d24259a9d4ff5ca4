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

QTEST_MAIN(TstWebViewerHost)
#include "tst_webviewerhost.moc"
