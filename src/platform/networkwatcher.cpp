#include "platform/networkwatcher.h"

#include <QNetworkInformation>
#ifdef HCHAT_HAVE_DBUS
#include <QDBusConnection>
#endif

namespace hchat {

NetworkWatcher::NetworkWatcher(QObject *parent) : QObject(parent)
{
#ifdef HCHAT_HAVE_DBUS
    // The login manager says when the machine wakes; the server has long
    // dropped a session that slept through its silence count.
    QDBusConnection::systemBus().connect(QStringLiteral("org.freedesktop.login1"),
                                         QStringLiteral("/org/freedesktop/login1"),
                                         QStringLiteral("org.freedesktop.login1.Manager"),
                                         QStringLiteral("PrepareForSleep"), this, SLOT(sleepChanged(bool)));
#endif
    if (!QNetworkInformation::loadDefaultBackend())
        return;
    QNetworkInformation *info = QNetworkInformation::instance();
    if (!info)
        return;
    using R = QNetworkInformation::Reachability;
    // Reachable again, on whatever network: our server may be on the LAN.
    connect(info, &QNetworkInformation::reachabilityChanged, this, [this](R reachability) {
        if (reachability != R::Disconnected && reachability != R::Unknown)
            emit networkChanged();
    });
    connect(info, &QNetworkInformation::transportMediumChanged, this, [this] { emit networkChanged(); });
}

void NetworkWatcher::sleepChanged(bool goingToSleep)
{
    if (!goingToSleep)
        emit networkChanged();
}

} // namespace hchat
