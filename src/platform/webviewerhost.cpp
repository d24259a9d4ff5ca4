#include "platform/webviewerhost.h"

#include "platform/textbrowserpane.h"
#include "platform/webpane.h"

#include <QCoreApplication>
#include <QDir>
#include <QLayout>
#include <QPluginLoader>
#include <QVBoxLayout>

namespace hchat {

namespace {
#ifdef Q_OS_WIN
const char kPluginFile[] = "hchat_webpane.dll";
#elif defined(Q_OS_MACOS)
const char kPluginFile[] = "hchat_webpane.dylib";
#else
const char kPluginFile[] = "hchat_webpane.so";
#endif
} // namespace

WebViewerHost::WebViewerHost(QWidget *pnlWeb, const QString &pluginDir, QObject *parent)
    : QObject(parent), m_parent(pnlWeb), m_pluginDir(pluginDir)
{
    if (m_pluginDir.isEmpty())
        m_pluginDir = QCoreApplication::applicationDirPath() + QStringLiteral("/plugins");
}

WebViewerHost::~WebViewerHost()
{
    // The view belongs to pnlWeb; the plugin stays loaded while it may live.
}

QString WebViewerHost::pluginPath() const
{
    return QDir(m_pluginDir).filePath(QLatin1String(kPluginFile));
}

QWidget *WebViewerHost::viewWidget() const
{
    return m_paneWidget;
}

void WebViewerHost::createPane()
{
    if (!m_parent)
        return;
    if (qEnvironmentVariableIsEmpty("HCHAT_NO_WEBENGINE")) {
        m_loader = new QPluginLoader(pluginPath(), this);
        if (auto *factory = qobject_cast<WebPaneFactory *>(m_loader->instance())) {
            m_pane = factory->createPane(m_parent);
            m_engine = m_pane != nullptr;
        } else {
            m_loadError = m_loader->errorString();
        }
    }
    if (!m_pane)
        m_pane = new TextBrowserPane(m_parent);
    m_paneWidget = m_pane->widget();
    QLayout *layout = m_parent->layout();
    if (!layout) {
        layout = new QVBoxLayout(m_parent);
        layout->setContentsMargins(0, 0, 0, 0);
    }
    layout->addWidget(m_paneWidget);
    m_paneWidget->hide();
}

void WebViewerHost::prepare()
{
    if (!m_pane)
        createPane();
    if (m_engine && m_address.isEmpty())
        m_pane->showAddress(QUrl(QStringLiteral("about:blank")));
}

void WebViewerHost::FindAddress(const QString &url)
{
    const QUrl address = QUrl::fromUserInput(url);
    if (!address.isValid())
        return;
    // The pane went away with its parent: make a new one.
    if (m_pane && !m_paneWidget)
        m_pane = nullptr;
    if (!m_pane)
        createPane();
    if (!m_pane)
        return;
    m_address = url;
    m_pane->showAddress(address);
    if (m_paneWidget && m_paneWidget->isHidden()) {
        m_paneWidget->show();
        emit viewShown();
    }
}

} // namespace hchat
