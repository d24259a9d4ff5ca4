#pragma once

#include <QIcon>
#include <QObject>

class QMenu;
class QSystemTrayIcon;

namespace hchat {

/// The chat's icon in the desktop's tray, where the desktop has one: the
/// program's icon with the unread count on it, a click to bring the window
/// forward, and a menu to show the window or quit. Without a tray it does
/// nothing at all.
class TrayIcon : public QObject
{
    Q_OBJECT
public:
    /// icon: the program's own; made visible at once when there is a tray.
    explicit TrayIcon(const QIcon &icon, QObject *parent = nullptr);
    ~TrayIcon() override;

    void setUnread(int count);
    /// A balloon message from the icon (when the desktop has no notification
    /// service); false when there is no tray to show it.
    bool showMessage(const QString &summary, const QString &body);

    /// The icon with the count on it (the bare icon at 0).
    static QIcon badged(const QIcon &icon, int count);
    /// "Halvex Chat", or "Halvex Chat: 3 unread".
    static QString toolTip(int count);

signals:
    /// A click on the icon, or "Show Halvex Chat" in its menu.
    void showRequested();
    void messageClicked();
    void quitRequested();

private:
    QIcon m_icon;
    int m_unread = 0;
    QSystemTrayIcon *m_tray = nullptr;
    QMenu *m_menu = nullptr;
};

} // namespace hchat
