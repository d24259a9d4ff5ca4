// The web pane with the real engine, in the real window: a shown window that
// first gains the engine's view is made again by Qt, and the keyboard focus
// the user had in the entry goes with the old one.
#include "app/chatservices.h"
#include "app/tfrmchat.h"
#include "platform/webviewerhost.h"

#include <QGuiApplication>
#include <QLabel>
#include <QTemporaryDir>
#include <QTimer>
#include <QTest>

using namespace hchat;

class TestWebPane : public QObject
{
    Q_OBJECT

private slots:
    void firstPageKeepsTheWindowAndOpensThePane()
    {
        if (QGuiApplication::platformName() != QLatin1String("xcb"))
            QSKIP("only a real display's window is made again (run on Xvfb by ctest)");
        QTemporaryDir dir;
        StartOptions options = StartOptions::inFolder(dir.path());
        options.pluginFolder = QCoreApplication::applicationDirPath() + QStringLiteral("/plugins");
        TfrmChat w(options, 300);
        w.tmrChat->stop();
        WebViewerHost *web = w.services().web();
        web->prepare();
        if (!web->usesWebEngine())
            QSKIP(qPrintable("the web engine plugin did not load: " + web->loadError()));
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        const WId shown = w.winId();
        // The prepared view waits unseen: the pane is only its bar.
        QVERIFY(w.pnlWeb->isVisible() && w.pnlWeb->height() < 60);

        web->FindAddress(QStringLiteral("http://127.0.0.1:9/"));
        QVERIFY(web->viewWidget()->isVisible());
        QTRY_VERIFY(w.pnlWeb->height() > 100);
        // The engine makes its drawing surface once the page starts.
        QTRY_VERIFY_WITH_TIMEOUT(!web->viewWidget()->findChildren<QWidget *>().isEmpty(), 20000);
        QCOMPARE(w.winId(), shown);
    }
};

QTEST_MAIN(TestWebPane)
#include "tst_webpane.moc"
