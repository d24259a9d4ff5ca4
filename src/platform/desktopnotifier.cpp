#include "platform/desktopnotifier.h"

#ifdef HCHAT_HAVE_DBUS
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#endif

namespace hchat {

namespace {
#ifdef HCHAT_HAVE_DBUS
const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kInterface = QStringLiteral("org.freedesktop.Notifications");
#endif
} // namespace

DesktopNotifier::DesktopNotifier(QObject *parent) : QObject(parent) {}

DesktopNotifier::~DesktopNotifier() = default;

void DesktopNotifier::notify(const QString &key, const QString &summary, const QString &body)
{
#ifdef HCHAT_HAVE_DBUS
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        emit failed(key, summary, body);
        return;
    }
    if (!m_listening) {
        m_listening = true;
        bus.connect(QString(), kPath, kInterface, QStringLiteral("ActionInvoked"), this,
                    SLOT(actionInvoked(uint, QString)));
        bus.connect(QString(), kPath, kInterface, QStringLiteral("NotificationClosed"), this,
                    SLOT(notificationClosed(uint, uint)));
    }
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Notify"));
    QVariantMap hints;
    hints.insert(QStringLiteral("desktop-entry"), iconName());
    hints.insert(QStringLiteral("urgency"), QVariant::fromValue(uchar(1)));
    // "default" is the action of a click on the notification itself.
    call << appName() << m_ids.value(key, 0u) << iconName() << summary << body
         << QStringList{QStringLiteral("default"), tr("Open")} << hints << qint32(-1);
    // Never wait for the desktop: the answer arrives when it arrives.
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, key, summary, body](QDBusPendingCallWatcher *w) {
                w->deleteLater();
                const QDBusPendingReply<uint> reply = *w;
                if (reply.isError()) {
                    emit failed(key, summary, body);
                    return;
                }
                const uint id = reply.value();
                const uint before = m_ids.value(key, 0u);
                if (before != 0 && before != id)
                    m_keys.remove(before);
                m_ids.insert(key, id);
                m_keys.insert(id, key);
            });
#else
    emit failed(key, summary, body);
#endif
}

void DesktopNotifier::actionInvoked(uint id, const QString &action)
{
    const auto it = m_keys.constFind(id);
    if (it == m_keys.constEnd() || action != QLatin1String("default"))
        return;
    emit clicked(it.value());
}

void DesktopNotifier::notificationClosed(uint id, uint)
{
    const QString key = m_keys.take(id);
    if (!key.isNull() && m_ids.value(key) == id)
        m_ids.remove(key);
}

} // namespace hchat
