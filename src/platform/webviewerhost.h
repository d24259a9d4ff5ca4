#pragma once

#include "transcript/webviewer.h"

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <chrono>

class QPluginLoader;

namespace hchat {

class WebPane;

/// `webImage` inside `pnlWeb`: the web engine view from the plugin, made
/// when the first address is shown, or the text browser fallback when the
/// plugin is not installed or fails to load.
class WebViewerHost : public QObject, public WebViewer
{
    Q_OBJECT
public:
    /// pnlWeb is the pane the viewer fills; pluginDir defaults to the
    /// "plugins" folder beside the executable.
    explicit WebViewerHost(QWidget *pnlWeb, const QString &pluginDir = QString(), QObject *parent = nullptr);
    ~WebViewerHost() override;

    /// The plugin's file.
    QString pluginPath() const;

    /// True when the web engine's plugin is there and not switched off.
    static bool engineWanted(const QString &pluginDir);

    /// How long after the last address the page is let go of.
    static constexpr std::chrono::minutes kDiscardAfter{10};
    /// Lets go of the page now, as kDiscardAfter does; for tests.
    void discardNow();

    void FindAddress(const QString &url) override;
    QString currentAddress() const override { return m_address; }

    /// True once a view exists (after the first address).
    bool hasView() const { return m_pane != nullptr; }
    /// True when the view is the web engine, false for the fallback.
    bool usesWebEngine() const { return m_engine; }
    /// Why the plugin did not load; empty when it did or was not tried.
    QString loadError() const { return m_loadError; }
    /// The view's widget, for tests; null before there is a view.
    QWidget *viewWidget() const;

    /// The copy on disk of the web site's pages: siteBase (catalogue text 0)
    /// stands for webFolder. A page of the site that can't be loaded is shown
    /// from there; the fallback view, which loads no pages, always does.
    void setLocalSite(const QString &siteBase, const QString &webFolder);
    /// The file on disk standing for a site address, or the empty text when
    /// the address is not the site's or there is no such page.
    static QString localPage(const QString &address, const QString &siteBase, const QString &webFolder);

signals:
    /// The view shows its first address, or one after a discard.
    void viewShown();
    /// The view was put away with its page; the pane is only its bar again.
    void viewHidden();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void createPane();
    void discardIdlePage();

    QPointer<QWidget> m_parent;
    QString m_pluginDir;
    QPluginLoader *m_loader = nullptr;
    WebPane *m_pane = nullptr;
    QPointer<QWidget> m_paneWidget;
    bool m_engine = false;
    QString m_address;
    QString m_loadError;
    QString m_siteBase;
    QString m_webFolder;
    QTimer m_discardTimer;
};

} // namespace hchat
