#include "platform/networkwatcher.h"

#include <QNetworkInformation>

namespace hchat {

NetworkWatcher::NetworkWatcher(QObject *parent) : QObject(parent)
{
    if (!QNetworkInformation::loadDefaultBackend())
        return;
    QNetworkInformation *info = QNetworkInformation::instance();
    if (!info)
        return;
    m_watching = true;
    using R = QNetworkInformation::Reachability;
    // Reachable again, on whatever network: our server may be on the LAN.
    connect(info, &QNetworkInformation::reachabilityChanged, this, [this](R reachability) {
        if (reachability != R::Disconnected && reachability != R::Unknown)
            emit networkChanged();
    });
    connect(info, &QNetworkInformation::transportMediumChanged, this, [this] { emit networkChanged(); });
}

} // namespace hchat
