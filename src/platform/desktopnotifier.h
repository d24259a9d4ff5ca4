#pragma once

#include <QHash>
#include <QObject>
#include <QString>

namespace hchat {

/// Desktop notifications through the freedesktop notification service on
/// the session bus. Each notification has a key naming what it is about: a
/// newer one with the same key replaces the one still shown, and a click on
/// it comes back as clicked(key). Where there is no such service (no session
/// bus, another platform) failed() hands the text back, for the tray icon's
/// message instead.
class DesktopNotifier : public QObject
{
    Q_OBJECT
public:
    explicit DesktopNotifier(QObject *parent = nullptr);
    ~DesktopNotifier() override;

    void notify(const QString &key, const QString &summary, const QString &body);
    /// The service shows a notification of this key (it answered, and has
    /// not closed it since).
    bool isShowing(const QString &key) const { return m_ids.contains(key); }

    /// The application name and icon the service shows.
    static QString appName() { return QStringLiteral("Halvex Chat"); }
    static QString iconName() { return QStringLiteral("com.halvex.chat"); }

signals:
    void clicked(const QString &key);
    void failed(const QString &key, const QString &summary, const QString &body);

private slots:
    void actionInvoked(uint id, const QString &action);
    void notificationClosed(uint id, uint reason);

private:
    QHash<uint, QString> m_keys; ///< shown notification → its key
    QHash<QString, uint> m_ids;  ///< key → the notification shown for it
    bool m_listening = false;
};

} // namespace hchat
