#include "webenginepane.h"

#include <QGuiApplication>
#include <QOpenGLContext>
#include <QPointer>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QVBoxLayout>
#include <QWidget>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

// Exported by Qt GUI for its own modules: the context every OpenGL context
// of the program shares with. The engine reads its format even when it
// draws without OpenGL.
Q_GUI_EXPORT void qt_gl_set_global_share_context(QOpenGLContext *context);

namespace hchat {

namespace {

void startEngine()
{
    static bool started = false;
    if (started)
        return;
    started = true;
#ifdef Q_OS_UNIX
    // The engine's sandbox refuses to start for root (containers, kiosks);
    // there it runs without one rather than not at all.
    if (geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
#endif
    // The page is drawn by the processor: no OpenGL driver in the program
    // (tens of MB, with a software driver, that a discarded page would not
    // give back), and the same on every platform, offscreen included.
    if (!QOpenGLContext::globalShareContext())
        qt_gl_set_global_share_context(new QOpenGLContext(qApp));
    QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
    QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS") + " --disable-gpu --disable-gpu-compositing";
    // Without a sandbox the engine needs no zygote to start its page
    // processes from: two processes fewer, that stay even when no page does.
    if (qEnvironmentVariableIntValue("QTWEBENGINE_DISABLE_SANDBOX") != 0)
        flags += " --no-zygote";
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags);
}

// Hidden and quiet, the page is frozen: its timers and animations stop
// costing the processor. The engine recommends nothing else for a page
// that is shown.
const char kViewQml[] = R"(
import QtQuick
import QtWebEngine
WebEngineView {
    anchors.fill: parent
    signal failed(url address)
    onLoadingChanged: (info) => {
        if (info.status === WebEngineView.LoadFailedStatus)
            failed(info.url)
    }
    onRecommendedStateChanged: {
        if (recommendedState === WebEngineView.LifecycleState.Frozen
                && lifecycleState === WebEngineView.LifecycleState.Active)
            lifecycleState = recommendedState
    }
}
)";

// The page lives in a window of its own, embedded in the pane: the main
// window stays drawn by the processor and is not made again when the first
// page arrives, so it keeps its native id and the keyboard.
class WebEnginePane : public QWidget, public WebPane
{
    Q_OBJECT
public:
    explicit WebEnginePane(QWidget *parent) : QWidget(parent)
    {
        auto *layout = new QVBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
    }
    /// False when the engine's view can't be made (its QML module missing).
    bool build()
    {
        auto *window = new QQuickWindow;
        window->setColor(Qt::white);
        // The engine and the view go with the window, which goes with its
        // container.
        auto *engine = new QQmlEngine(window);
        QQmlComponent component(engine);
        component.setData(kViewQml, QUrl());
        m_view = qobject_cast<QQuickItem *>(component.beginCreate(engine->rootContext()));
        if (!m_view) {
            qWarning("web view: %s", qPrintable(component.errorString()));
            delete window;
            return false;
        }
        m_view->setParentItem(window->contentItem());
        // Owned too, not only shown: a view left over keeps its page alive.
        m_view->setParent(window->contentItem());
        component.completeCreate();
        connect(m_view, SIGNAL(failed(QUrl)), this, SLOT(pageFailed(QUrl)));
        m_container = QWidget::createWindowContainer(window, this);
        // The page takes the keyboard only when clicked.
        m_container->setFocusPolicy(Qt::ClickFocus);
        layout()->addWidget(m_container);
        return true;
    }
    QWidget *widget() override { return this; }
    void showAddress(const QUrl &url) override
    {
        m_address = url;
        if (m_view || build())
            m_view->setProperty("url", url);
    }
    void discard() override
    {
        // The whole view goes, not only its page: the engine ends the page's
        // process and keeps less of its own than for a discarded page.
        if (!m_view || isVisible())
            return;
        m_address = m_view->property("url").toUrl();
        delete m_container;
        m_view = nullptr;
    }
    void resume() override
    {
        if (!m_view && !m_address.isEmpty())
            showAddress(m_address);
    }

private slots:
    void pageFailed(const QUrl &url)
    {
        if (loadFailed && url.scheme() != QLatin1String("file"))
            loadFailed(url);
    }

private:
    QPointer<QWidget> m_container;
    QPointer<QQuickItem> m_view;
    QUrl m_address;
};

} // namespace

WebPane *WebEnginePaneFactory::createPane(QWidget *parent)
{
    startEngine();
    auto *pane = new WebEnginePane(parent);
    if (pane->build())
        return pane;
    delete pane;
    return nullptr;
}

} // namespace hchat

#include "webenginepane.moc"
