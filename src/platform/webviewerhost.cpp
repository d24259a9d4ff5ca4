#include "platform/webviewerhost.h"

#include "platform/textbrowserpane.h"
#include "platform/webpane.h"

#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
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
    m_discardTimer.setSingleShot(true);
    m_discardTimer.setInterval(kDiscardAfter);
    connect(&m_discardTimer, &QTimer::timeout, this, &WebViewerHost::discardIdlePage);
    if (m_parent)
        m_parent->installEventFilter(this);
}

// The view belongs to pnlWeb; the plugin stays loaded while it may live.
WebViewerHost::~WebViewerHost() = default;

QString WebViewerHost::pluginPath() const
{
    return QDir(m_pluginDir).filePath(QLatin1String(kPluginFile));
}

bool WebViewerHost::engineWanted(const QString &pluginDir)
{
    return qEnvironmentVariableIsEmpty("HCHAT_NO_WEBENGINE") &&
           QFileInfo::exists(QDir(pluginDir).filePath(QLatin1String(kPluginFile)));
}

QWidget *WebViewerHost::viewWidget() const
{
    return m_paneWidget;
}

void WebViewerHost::setLocalSite(const QString &siteBase, const QString &webFolder)
{
    m_siteBase = siteBase;
    m_webFolder = webFolder;
}

QString WebViewerHost::localPage(const QString &address, const QString &siteBase, const QString &webFolder)
{
    if (siteBase.isEmpty() || webFolder.isEmpty())
        return QString();
    const QUrl base = QUrl::fromUserInput(siteBase);
    const QUrl url = QUrl::fromUserInput(address);
    if (!base.isValid() || !url.isValid() || url.scheme() != base.scheme() ||
        url.host().compare(base.host(), Qt::CaseInsensitive) != 0 || url.port() != base.port())
        return QString();
    QString basePath = base.path();
    if (!basePath.endsWith(u'/'))
        basePath += u'/';
    const QString path = url.path().isEmpty() ? QStringLiteral("/") : url.path();
    if (!path.startsWith(basePath) && path + u'/' != basePath)
        return QString();
    // Only what lies inside the folder: "..", however spelled, stays out.
    const QString rest = path.mid(qMin(path.size(), basePath.size()));
    const QString root = QDir::cleanPath(QDir(webFolder).absolutePath());
    QString file = QDir::cleanPath(root + u'/' + rest);
    if (file != root && !file.startsWith(root + u'/'))
        return QString();
    if (QFileInfo(file).isDir())
        file += QStringLiteral("/index.html");
    return QFileInfo(file).isFile() ? file : QString();
}

void WebViewerHost::createPane()
{
    if (!m_parent)
        return;
    if (engineWanted(m_pluginDir)) {
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
    // A site page that can't be reached is shown from disk instead of the
    // engine's error page.
    m_pane->loadFailed = [this](const QUrl &failed) {
        const QString page = localPage(failed.toString(), m_siteBase, m_webFolder);
        if (!page.isEmpty())
            m_pane->showAddress(QUrl::fromLocalFile(page));
    };
    m_paneWidget = m_pane->widget();
    QLayout *layout = m_parent->layout();
    if (!layout) {
        layout = new QVBoxLayout(m_parent);
        layout->setContentsMargins(0, 0, 0, 0);
    }
    layout->addWidget(m_paneWidget);
    m_paneWidget->hide();
}

bool WebViewerHost::eventFilter(QObject *watched, QEvent *event)
{
    // A pane hidden by the user gives its page back; shown, the page loads
    // its address again. A window minimised leaves the pane as it was.
    if (watched == m_parent && m_pane && m_paneWidget && !event->spontaneous()) {
        if (event->type() == QEvent::Hide)
            m_pane->discard();
        else if (event->type() == QEvent::Show && !m_paneWidget->isHidden())
            m_pane->resume();
    }
    return QObject::eventFilter(watched, event);
}

void WebViewerHost::discardIdlePage()
{
    // Not from under the eyes of someone reading it: once the window is left.
    if (m_paneWidget && m_paneWidget->isVisible() && m_paneWidget->window()->isActiveWindow()) {
        m_discardTimer.start(std::chrono::minutes(1));
        return;
    }
    discardNow();
}

void WebViewerHost::discardNow()
{
    if (!m_pane || !m_paneWidget || m_paneWidget->isHidden())
        return;
    m_paneWidget->hide();
    m_pane->discard();
    emit viewHidden();
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
    // The fallback view loads no pages: ours it can show from disk.
    const QString page = m_engine ? QString() : localPage(url, m_siteBase, m_webFolder);
    m_pane->showAddress(page.isEmpty() ? address : QUrl::fromLocalFile(page));
    if (m_engine)
        m_discardTimer.start();
    if (m_paneWidget && m_paneWidget->isHidden()) {
        m_paneWidget->show();
        emit viewShown();
    }
}

} // namespace hchat
