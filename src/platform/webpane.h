#pragma once

#include <QUrl>
#include <QtPlugin>

#include <functional>

class QWidget;

namespace hchat {

/// One web view inside the web viewer pane.
class WebPane
{
public:
    virtual ~WebPane() = default;
    /// The widget to place in the pane; owned by its parent.
    virtual QWidget *widget() = 0;
    /// Shows the address.
    virtual void showAddress(const QUrl &url) = 0;
    /// Lets go of the page while the view is hidden, so its helper processes
    /// shrink; resume() brings it back with its address. Views that hold no
    /// more than their text need neither.
    virtual void discard() {}
    virtual void resume() {}
    /// Called with the address of a page that could not be loaded, before
    /// anything else is shown; views that load nothing themselves never call it.
    std::function<void(const QUrl &)> loadFailed;
};

/// Made by the web engine plugin: kept apart from the program so the engine
/// is loaded only when the first link is opened.
class WebPaneFactory
{
public:
    virtual ~WebPaneFactory() = default;
    /// A new view as a child of parent.
    virtual WebPane *createPane(QWidget *parent) = 0;
};

} // namespace hchat

#define HCHAT_WEBPANE_IID "org.halvex.chat.WebPaneFactory/1.2"
Q_DECLARE_INTERFACE(hchat::WebPaneFactory, HCHAT_WEBPANE_IID)
