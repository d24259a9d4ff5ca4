#include "webenginepane.h"

#include <QWebEngineView>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace hchat {

namespace {

class WebEnginePane : public QWebEngineView, public WebPane
{
public:
    explicit WebEnginePane(QWidget *parent) : QWebEngineView(parent) {}
    QWidget *widget() override { return this; }
    void showAddress(const QUrl &url) override { setUrl(url); }
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
    return new WebEnginePane(parent);
}

} // namespace hchat
