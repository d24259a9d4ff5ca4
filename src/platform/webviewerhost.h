#pragma once

#include "transcript/webviewer.h"

#include <QObject>
#include <QPointer>
#include <QWidget>

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

    /// Makes the view now, hidden until its first address. A window that
    /// gets the web engine's view after it is shown is made again by Qt
    /// (it loses the keyboard and flickers), so this runs before it shows.
    void prepare();

    void FindAddress(const QString &url) override;
    QString currentAddress() const override { return m_address; }

    /// True once a view exists (after prepare() or the first address).
    bool hasView() const { return m_pane != nullptr; }
    /// True when the view is the web engine, false for the fallback.
    bool usesWebEngine() const { return m_engine; }
    /// Why the plugin did not load; empty when it did or was not tried.
    QString loadError() const { return m_loadError; }
    /// The view's widget, for tests; null before there is a view.
    QWidget *viewWidget() const;

signals:
    /// The view shows its first address.
    void viewShown();

private:
    void createPane();

    QPointer<QWidget> m_parent;
    QString m_pluginDir;
    QPluginLoader *m_loader = nullptr;
    WebPane *m_pane = nullptr;
    QPointer<QWidget> m_paneWidget;
    bool m_engine = false;
    QString m_address;
    QString m_loadError;
};

} // namespace hchat
