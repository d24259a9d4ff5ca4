#pragma once

#include "platform/webpane.h"

#include <QObject>

namespace hchat {

/// Makes web engine views for the web viewer pane.
class WebEnginePaneFactory : public QObject, public WebPaneFactory
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID HCHAT_WEBPANE_IID)
    Q_INTERFACES(hchat::WebPaneFactory)
public:
    WebPane *createPane(QWidget *parent) override;
};

} // namespace hchat
