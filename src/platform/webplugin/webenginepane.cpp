#include "webenginepane.h"

#include <QGuiApplication>
#include <QOpenGLContext>
#include <QWebEnginePage>
#include <QWebEngineView>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

// Exported by Qt GUI for its own modules: the context every OpenGL context
// of the program shares with. The web engine needs one; asking Qt for it
// before the application starts (Qt::AA_ShareOpenGLContexts) would load the
// OpenGL driver even where the web engine's plugin is missing.
Q_GUI_EXPORT void qt_gl_set_global_share_context(QOpenGLContext *context);

namespace hchat {

namespace {

void ensureShareContext()
{
    if (QOpenGLContext::globalShareContext())
        return;
    // Set even when it can't be created, as Qt does itself: the engine reads
    // its format either way, and draws in software without OpenGL.
    auto *context = new QOpenGLContext(qApp);
    context->setFormat(QSurfaceFormat::defaultFormat());
    const bool created = context->create();
    qt_gl_set_global_share_context(context);
    if (created)
        return;
    QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
    if (!flags.contains("--disable-gpu"))
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags + " --disable-gpu");
}

class WebEnginePane : public QWebEngineView, public WebPane
{
public:
    explicit WebEnginePane(QWidget *parent) : QWebEngineView(parent)
    {
        connect(this, &QWebEngineView::loadFinished, this, [this](bool ok) {
            if (!ok && loadFailed && url().scheme() != QLatin1String("file"))
                loadFailed(url());
        });
        // Hidden and quiet, the page is frozen: its timers and animations
        // stop costing the processor. The engine recommends nothing else
        // for a page that is shown.
        connect(page(), &QWebEnginePage::recommendedStateChanged, this,
                [this](QWebEnginePage::LifecycleState state) {
                    if (state == QWebEnginePage::LifecycleState::Frozen &&
                        page()->lifecycleState() == QWebEnginePage::LifecycleState::Active)
                        page()->setLifecycleState(state);
                });
    }
    QWidget *widget() override { return this; }
    void showAddress(const QUrl &url) override
    {
        resume();
        setUrl(url);
    }
    void discard() override
    {
        // The engine refuses to discard a page that is shown.
        if (!isVisible())
            page()->setLifecycleState(QWebEnginePage::LifecycleState::Discarded);
    }
    void resume() override
    {
        // A discarded page loads its address again.
        page()->setLifecycleState(QWebEnginePage::LifecycleState::Active);
    }
};

} // namespace

WebPane *WebEnginePaneFactory::createPane(QWidget *parent)
{
#ifdef Q_OS_UNIX
    // The engine's sandbox refuses to start for root (containers, kiosks);
    // there it runs without one rather than not at all.
    if (geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
#endif
    ensureShareContext();
    return new WebEnginePane(parent);
}

} // namespace hchat
