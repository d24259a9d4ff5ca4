#pragma once

#include "chat/attention.h"

#include <QHash>
#include <QObject>

#include <functional>

class QWidget;

namespace hchat {

class ChatSession;
class DesktopNotifier;
class TrayIcon;

/// Draws the user back to the chat window as the session's Attention asks:
/// the unread count in the window's title and on the tray icon, the urgency
/// hint, and desktop notifications (a tray balloon where the desktop has no
/// notification service). A click on a notification opens what it was about.
class AttentionPresenter : public QObject
{
    Q_OBJECT
public:
    /// requestAttention: the urgency hint for the window.
    AttentionPresenter(ChatSession &session, QWidget *window, std::function<void()> requestAttention);

signals:
    /// The tray icon, or a notification about the room: the window comes forward.
    void showRequested();
    void quitRequested();

private:
    void openAlert(const QString &key);

    ChatSession &m_session;
    QWidget *m_window;
    std::function<void()> m_requestAttention;
    TrayIcon *trayIcon = nullptr;
    DesktopNotifier *notifier = nullptr;
    QHash<QString, Attention::Alert> m_alerts; ///< by notification key, for a click on it
    QString m_trayMessageKey;
};

} // namespace hchat
