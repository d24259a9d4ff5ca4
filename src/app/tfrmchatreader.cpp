// TfrmChat's help for the reader: clickable links, search, the transcripts'
// context menu, page keys and nick completion in the entry, the status line,
// and drawing the user back (title count, tray icon, urgency, notifications).
#include "app/chatservices.h"
#include "app/sealbadge.h"
#include "app/tfrmchat.h"
#include "app/tfrmpm.h"
#include "app/trayicon.h"
#include "chat/sealedlink.h"
#include "platform/desktopnotifier.h"
#include "platform/networkwatcher.h"
#include "platform/transcriptedit.h"
#include "platform/webviewerhost.h"
#include "transcript/transcriptrenderer.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDesktopServices>
#include <QKeyEvent>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QTimer>

namespace hchat {

TranscriptEdit *TfrmChat::transcript(bool second) const
{
    return static_cast<TranscriptEdit *>(second ? memRich2 : memRich);
}

void TfrmChat::wireReader()
{
    for (const bool second : {false, true}) {
        TranscriptEdit *t = transcript(second);
        connect(t, &TranscriptEdit::linkActivated, this, &TfrmChat::openLink);
        connect(t, &TranscriptEdit::clearRequested, this, [this, second] {
            m_services->renderer()->Clear(second);
            backToEntry();
        });
        connect(t, &TranscriptEdit::searchClosed, this, &TfrmChat::backToEntry);
        // The reader's own commands first, then the view's.
        connect(t, &QWidget::customContextMenuRequested, this, [this, t](const QPoint &pos) {
            QMenu *menu = t->createTranscriptMenu(pos, this);
            menu->setAttribute(Qt::WA_DeleteOnClose);
            menu->addSeparator();
            menu->addActions(mnuPUChat->actions());
            connect(menu, &QMenu::aboutToHide, this,
                    [this] { QTimer::singleShot(0, this, [this] { backToEntry(); }); });
            menu->popup(t->viewport()->mapToGlobal(pos));
        });
    }
    mnuFind = new QAction(tr("Find..."), this);
    mnuFind->setObjectName(QStringLiteral("mnuFind"));
    mnuFind->setShortcut(QKeySequence::Find);
    mnuFind->setShortcutContext(Qt::WindowShortcut);
    connect(mnuFind, &QAction::triggered, this, &TfrmChat::findInTranscript);
    addAction(mnuFind);

    // Page keys and Tab in the entry come through eventFilter().
    if (!confirmLongText) {
        confirmLongText = [](int lines, QWidget *asker) {
            return QMessageBox::question(asker, tr("Send %1 lines?").arg(lines),
                                         tr("The text holds %1 lines. Send all of them?").arg(lines),
                                         QMessageBox::Yes | QMessageBox::No,
                                         QMessageBox::No) == QMessageBox::Yes;
        };
    }
    m_session.textEntry.confirmLongText = [this](int lines) { return confirmLongText(lines, this); };

    // Attention: the title, the tray, urgency and notifications.
    if (!requestAttention)
        requestAttention = [this] { QApplication::alert(this); };
    Attention &attention = m_session.attention;
    attention.setActive(isActiveWindow());
    attention.conversationActive = [this](const QString &nick, const QString &id) {
        const TfrmPM *pm = TfrmPM::find(m_session, nick, id);
        return pm && pm->isActiveWindow();
    };
    trayIcon = new TrayIcon(QApplication::windowIcon(), this);
    notifier = new DesktopNotifier(this);
    connect(&attention, &Attention::unreadChanged, this, [this](int unread) {
        setWindowTitle(Attention::title(unread));
        trayIcon->setUnread(unread);
    });
    connect(&attention, &Attention::alerted, this, &TfrmChat::raiseAlert);
    connect(notifier, &DesktopNotifier::clicked, this, &TfrmChat::openAlert);
    connect(notifier, &DesktopNotifier::failed, this,
            [this](const QString &key, const QString &summary, const QString &body) {
                if (trayIcon->showMessage(summary, body))
                    m_trayMessageKey = key;
            });
    connect(trayIcon, &TrayIcon::messageClicked, this, [this] { openAlert(m_trayMessageKey); });
    connect(trayIcon, &TrayIcon::showRequested, this, &TfrmChat::bringForward);
    connect(trayIcon, &TrayIcon::quitRequested, this, &QWidget::close);

    auto addNotifyToggle = [this](const char *name, const QString &caption, bool ChatSettings::*setting) {
        return addToggle(QLatin1String(name), caption, setting, QKeySequence());
    };
    // With the view's toggles, set apart from them.
    const QList<QAction *> items = mnuPUChat->actions();
    QAction *before = items.value(items.indexOf(mnuPUChatTop) + 1);
    mnuPUChat->insertSeparator(before);
    using S = ChatSettings;
    for (QAction *a :
         {mnuNotifyPage = addNotifyToggle("mnuNotifyPage", tr("Notify on Pages"), &S::notifyPage),
         mnuNotifyPM = addNotifyToggle("mnuNotifyPM", tr("Notify on Private Messages"), &S::notifyPM),
         mnuNotifyKeyword = addNotifyToggle("mnuNotifyKeyword", tr("Notify on Keywords"), &S::notifyKeyword),
         mnuNotifyNick = addNotifyToggle("mnuNotifyNick", tr("Notify on My Nick"), &S::notifyNick),
         mnuHighlightNick = addNotifyToggle("mnuHighlightNick", tr("Highlight My Nick"), &S::highlightNick)})
        mnuPUChat->insertAction(before, a);
    applyAttentionMarks();

    // The status line, and a link that comes back at once after a sleep or
    // a change of network.
    connect(&m_session, &ChatSession::stateChanged, this, &TfrmChat::updateStatusLine);
    auto *network = new NetworkWatcher(this);
    connect(network, &NetworkWatcher::networkChanged, this, [this] { m_session.connection.announceAgain(); });
    updateStatusLine();
}

void TfrmChat::applyAttentionMarks()
{
    const ChatSettings &s = m_session.settings;
    const std::pair<QAction *, bool> marks[] = {{mnuNotifyPage, s.notifyPage},
                                                {mnuNotifyPM, s.notifyPM},
                                                {mnuNotifyKeyword, s.notifyKeyword},
                                                {mnuNotifyNick, s.notifyNick},
                                                {mnuHighlightNick, s.highlightNick}};
    for (const auto &[action, on] : marks) {
        if (action && action->isChecked() != on) {
            const QSignalBlocker block(action);
            action->setChecked(on);
        }
    }
}

void TfrmChat::openLink(const QString &url)
{
    // Only what a transcript made clickable comes here: http and https.
    if (m_session.settings.showImage && m_services->web()) {
        m_services->web()->FindAddress(url);
    } else {
        QDesktopServices::openUrl(QUrl(url));
    }
    backToEntry();
}

void TfrmChat::bringForward()
{
    if (isMinimized())
        showNormal();
    show();
    raise();
    activateWindow();
}

void TfrmChat::findInTranscript()
{
    // The transcript the reader was in, else the first room's.
    TranscriptEdit *t = transcript(false);
    QWidget *focus = QApplication::focusWidget();
    if (focus && (focus == memRich2 || memRich2->isAncestorOf(focus)) && memRich2->isVisible())
        t = transcript(true);
    t->openSearch(t->textCursor().selectedText());
}

QStringList TfrmChat::memberNicks() const
{
    QStringList nicks;
    const Roster &roster = m_session.roster;
    for (int i = 0; i < roster.count(); ++i)
        nicks << roster.entry(i).nick;
    return nicks;
}

bool TfrmChat::entryKey(QKeyEvent *key)
{
    const Qt::KeyboardModifiers mods = key->modifiers() & ~Qt::KeypadModifier;
    if (key->key() == Qt::Key_Tab && mods == Qt::NoModifier) {
        const auto done = m_completer.complete(memText->toPlainText(), memText->textCursor().position(),
                                               memberNicks(), m_session.settings.nick);
        if (!done)
            return false; // Tab moves on as ever
        // Through the cursor, so Ctrl+Z takes the completion back.
        QTextCursor c(memText->document());
        c.select(QTextCursor::Document);
        c.insertText(done->text);
        c.setPosition(done->caret);
        memText->setTextCursor(c);
        return true;
    }
    if (key->key() != Qt::Key_Shift && key->key() != Qt::Key_Control && key->key() != Qt::Key_Alt)
        m_completer.reset();

    // The keys that read back through the first room, with the focus kept
    // where the user types.
    using A = QAbstractSlider;
    std::optional<A::SliderAction> scroll;
    if (key->key() == Qt::Key_PageUp && mods == Qt::NoModifier)
        scroll = A::SliderPageStepSub;
    else if (key->key() == Qt::Key_PageDown && mods == Qt::NoModifier)
        scroll = A::SliderPageStepAdd;
    else if (key->key() == Qt::Key_Home && mods == Qt::ControlModifier)
        scroll = A::SliderToMinimum;
    else if (key->key() == Qt::Key_End && mods == Qt::ControlModifier)
        scroll = A::SliderToMaximum;
    if (!scroll)
        return false;
    transcript(false)->scrollByReader(*scroll);
    return true;
}

void TfrmChat::raiseAlert(const Attention::Alert &alert)
{
    requestAttention();
    QString key;
    switch (alert.event) {
    case Attention::Event::Page:
        key = QStringLiteral("page");
        break;
    case Attention::Event::PrivateMessage:
        key = QStringLiteral("pm:") + PrivateMessages::correspondentKey(alert.nick, alert.id);
        break;
    case Attention::Event::Keyword:
        key = QStringLiteral("keyword");
        break;
    case Attention::Event::Nick:
        key = QStringLiteral("nick");
        break;
    }
    m_alerts.insert(key, alert);
    notifier->notify(key, alert.summary, alert.body);
}

void TfrmChat::openAlert(const QString &key)
{
    const auto it = m_alerts.constFind(key);
    if (it != m_alerts.constEnd() && it->event == Attention::Event::PrivateMessage) {
        TfrmPM::Open(m_session, it->nick, it->id, this);
        return;
    }
    bringForward();
}

void TfrmChat::updateStatusLine()
{
    const Connection &c = m_session.connection;
    const LinkStatus::State state = c.state();
    const QString text =
        LinkStatus::text(state, c.endpoint().toString(), c.lostSince(), c.link().pollCountdown());
    if (lblStatus->text() != text)
        lblStatus->setText(text);
    // The seal says something only once the server answered.
    const SealedLink *seal = m_services ? m_services->seal() : nullptr;
    sealBadge->showState(seal && state != LinkStatus::State::Closed ? seal->state() : SealState::Waiting);
    const QString fingerprint = seal ? seal->fingerprint() : QString();
    const QString tip = fingerprint.isEmpty() ? tr("Your room")
                                              : tr("Your room\nServer key fingerprint: %1").arg(fingerprint);
    if (cmbRoom1->toolTip() != tip)
        cmbRoom1->setToolTip(tip);
    // The members shown are those of before the loss: greyed, not gone.
    lstMembers->setEnabled(state != LinkStatus::State::Lost);
}

void TfrmChat::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    if (event->type() != QEvent::ActivationChange)
        return;
    const bool active = isActiveWindow();
    m_session.attention.setActive(active);
    for (const bool second : {false, true})
        transcript(second)->setReaderAway(!active);
}

} // namespace hchat
