#include "app/attentionpresenter.h"

#include "app/tfrmpm.h"
#include "app/trayicon.h"
#include "chat/chatsession.h"
#include "platform/desktopnotifier.h"

#include <QApplication>

namespace hchat {

AttentionPresenter::AttentionPresenter(ChatSession &session, QWidget *window,
                                       std::function<void()> requestAttention)
    : QObject(window), m_session(session), m_window(window), m_requestAttention(std::move(requestAttention))
{
    Attention &attention = m_session.attention();
    attention.setActive(m_window->isActiveWindow());
    attention.conversationActive = [this](const QString &nick, const QString &id) {
        const TfrmPM *pm = TfrmPM::find(m_session, nick, id);
        return pm && pm->isActiveWindow();
    };
    trayIcon = new TrayIcon(QApplication::windowIcon(), this);
    notifier = new DesktopNotifier(this);
    connect(&attention, &Attention::unreadChanged, this, [this](int unread) {
        m_window->setWindowTitle(Attention::title(unread));
        trayIcon->setUnread(unread);
    });
    connect(&attention, &Attention::alerted, this, [this](const Attention::Alert &alert) {
        m_requestAttention();
        // One notification a kind, one a conversation: a newer one replaces it.
        using E = Attention::Event;
        const QString key =
            alert.event == E::PrivateMessage
                ? QStringLiteral("pm:") + PrivateMessages::correspondentKey(alert.nick, alert.id)
            : alert.event == E::Page    ? QStringLiteral("page")
            : alert.event == E::Keyword ? QStringLiteral("keyword")
                                        : QStringLiteral("nick");
        m_alerts.insert(key, alert);
        notifier->notify(key, alert.summary, alert.body);
    });
    connect(notifier, &DesktopNotifier::clicked, this, &AttentionPresenter::openAlert);
    connect(notifier, &DesktopNotifier::failed, this,
            [this](const QString &key, const QString &summary, const QString &body) {
                if (trayIcon->showMessage(summary, body))
                    m_trayMessageKey = key;
            });
    connect(trayIcon, &TrayIcon::messageClicked, this, [this] { openAlert(m_trayMessageKey); });
    connect(trayIcon, &TrayIcon::showRequested, this, &AttentionPresenter::showRequested);
    connect(trayIcon, &TrayIcon::quitRequested, this, &AttentionPresenter::quitRequested);
}

void AttentionPresenter::openAlert(const QString &key)
{
    const auto it = m_alerts.constFind(key);
    if (it != m_alerts.constEnd() && it->event == Attention::Event::PrivateMessage) {
        TfrmPM::Open(m_session, it->nick, it->id, m_window);
        return;
    }
    emit showRequested();
}

} // namespace hchat
