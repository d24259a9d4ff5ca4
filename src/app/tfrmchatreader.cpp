// TfrmChat's help for the reader: clickable links, search, the transcripts'
// context menu, the status line and attention.
#include "app/attentionpresenter.h"
#include "app/chatservices.h"
#include "app/roombar.h"
#include "app/rosterpanel.h"
#include "app/sealbadge.h"
#include "app/tfrmchat.h"
#include "chat/sealedlink.h"
#include "platform/networkwatcher.h"
#include "platform/transcriptedit.h"
#include "platform/webviewerhost.h"
#include "settings/widgettools.h"
#include "transcript/transcriptrenderer.h"

#include <QAction>
#include <QApplication>
#include <QDesktopServices>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QMessageBox>
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
    auto *find = named<QAction>("mnuFind", tr("Find..."), this);
    find->setShortcut(QKeySequence::Find);
    find->setShortcutContext(Qt::WindowShortcut);
    connect(find, &QAction::triggered, this, [this] {
        // The transcript the reader was in, else the first room's.
        QWidget *focus = QApplication::focusWidget();
        const bool second =
            focus && (focus == memRich2 || memRich2->isAncestorOf(focus)) && memRich2->isVisible();
        TranscriptEdit *t = transcript(second);
        t->openSearch(t->textCursor().selectedText());
    });
    addAction(find);

    if (!confirmLongText) {
        confirmLongText = [](int lines, QWidget *asker) {
            return QMessageBox::question(asker, tr("Send %1 lines?").arg(lines),
                                         tr("The text holds %1 lines. Send all of them?").arg(lines),
                                         QMessageBox::Yes | QMessageBox::No,
                                         QMessageBox::No) == QMessageBox::Yes;
        };
    }
    m_session.textEntry().confirmLongText = [this](int lines) { return confirmLongText(lines, this); };

    // Attention: the title, the tray, urgency and notifications.
    if (!requestAttention)
        requestAttention = [this] { QApplication::alert(this); };
    auto *attention = new AttentionPresenter(m_session, this, [this] { requestAttention(); });
    connect(attention, &AttentionPresenter::showRequested, this, [this] {
        if (isMinimized())
            showNormal();
        show();
        raise();
        activateWindow();
    });
    connect(attention, &AttentionPresenter::quitRequested, this, &QWidget::close);

    // The status line, and a link that comes back at once after a sleep or
    // a change of network.
    connect(&m_session, &ChatSession::stateChanged, this, &TfrmChat::updateStatusLine);
    auto *network = new NetworkWatcher(this);
    connect(network, &NetworkWatcher::networkChanged, this,
            [this] { m_session.connection().announceAgain(); });
    updateStatusLine();
}

void TfrmChat::openLink(const QString &url)
{
    // Only what a transcript made clickable comes here: http and https.
    if (m_session.settings().showImage && m_services->web())
        m_services->web()->FindAddress(url);
    else
        QDesktopServices::openUrl(QUrl(url));
    backToEntry();
}

void TfrmChat::showInWebPane(const QString &url)
{
    if (!m_session.settings().showImage) {
        m_session.set(&ChatSettings::showImage, true);
        applyLayout();
    }
    m_services->web()->FindAddress(url);
}

void TfrmChat::updateStatusLine()
{
    const Connection &c = m_session.connection();
    const LinkStatus::State state = c.state();
    const QString text =
        LinkStatus::text(state, c.endpoint().toString(), c.lostSince(), c.link().pollCountdown());
    if (lblStatus->text() != text)
        lblStatus->setText(text);
    // The seal says something only once the server answered.
    const SealedLink *seal = m_services ? m_services->seal() : nullptr;
    sealBadge->showState(seal && state != LinkStatus::State::Closed ? seal->state() : SealState::Waiting);
    roomBar->showFingerprint(seal ? seal->fingerprint() : QString());
    // The members shown are those of before the loss: greyed, not gone.
    rosterPanel->lstMembers->setEnabled(state != LinkStatus::State::Lost);
}

void TfrmChat::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    if (event->type() != QEvent::ActivationChange)
        return;
    const bool active = isActiveWindow();
    m_session.attention().setActive(active);
    for (const bool second : {false, true})
        transcript(second)->setReaderAway(!active);
}

} // namespace hchat
