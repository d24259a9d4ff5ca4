// The web pane with the real engine, in the real window: a shown window that
// first gains the engine's view could be made again by Qt, and the keyboard
// focus the user had in the entry would go with the old one.
#include "app/chatservices.h"
#include "app/cursorrest.h"
#include "app/tfrmchat.h"
#include "platform/webviewerhost.h"
#include "support/chatwindowparts.h"

#include <QApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <algorithm>

using namespace hchat;

struct PaintCounter : QObject {
    int count = 0;
    bool eventFilter(QObject *, QEvent *event) override
    {
        count += event->type() == QEvent::Paint;
        return false;
    }
};

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
        if (!WebViewerHost::engineWanted(options.pluginFolder))
            QSKIP("the web engine plugin is not built");
        TfrmChat w(options, 300);
        tmrChat(w)->stop();
        WebViewerHost *web = w.services().web();
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.activateWindow();
        QTRY_VERIFY(w.isActiveWindow());
        memText(w)->setFocus();
        QTRY_COMPARE(QApplication::focusWidget(), memText(w));
        const WId shown = w.winId();
        // Nothing of the engine before the first link: the pane is its bar.
        QVERIFY(!web->hasView());
        QVERIFY(pnlWeb(w)->isVisible() && pnlWeb(w)->height() < 60);

        web->FindAddress(QStringLiteral("http://127.0.0.1:9/"));
        QVERIFY2(web->usesWebEngine(), qPrintable(web->loadError()));
        QVERIFY(web->viewWidget()->isVisible());
        QTRY_VERIFY(pnlWeb(w)->height() > 100);
        // The page is drawn in a window of its own inside the main one.
        const auto pageShown = [&w] {
            const QWindowList all = QGuiApplication::allWindows();
            return std::any_of(all.cbegin(), all.cend(), [&w](QWindow *window) {
                return window->parent() == w.windowHandle() && window->isExposed();
            });
        };
        QTRY_VERIFY_WITH_TIMEOUT(pageShown(), 20000);
        QCOMPARE(w.winId(), shown);
        QTest::qWait(300);
        QCOMPARE(QApplication::focusWidget(), memText(w));
        // At rest the entry's cursor stops blinking: nothing is drawn again.
        CursorRest rest;
        rest.rest();
        PaintCounter paints;
        memText(w)->viewport()->installEventFilter(&paints);
        QTest::qWait(2100);
        QVERIFY2(paints.count <= 1, "one paint shows it steady"); // blinking: 4

        // Let go of after a long idle: the pane is its bar; the next link
        // brings the page back.
        web->discardNow();
        QTRY_VERIFY(pnlWeb(w)->height() < 60);
        web->FindAddress(QStringLiteral("http://127.0.0.1:9/b"));
        QTRY_VERIFY(pnlWeb(w)->height() > 100);
        QCOMPARE(w.winId(), shown);
    }
};

QTEST_MAIN(TestWebPane)
#include "tst_webpane.moc"
