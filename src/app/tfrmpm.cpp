#include "app/tfrmpm.h"

#include "app/chatservices.h"
#include "app/entrybox.h"
#include "app/tfrmchat.h"
#include "chat/chatsession.h"
#include "chat/privatemessages.h"
#include "platform/transcriptedit.h"
#include "settings/widgettools.h"
#include "transcript/ownlinemarks.h"
#include "transcript/textlinks.h"
#include "transcript/transcriptrenderer.h"
#include "transcript/transcriptsink.h"

#include <QAction>
#include <QApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QTextCursor>
#include <QTextEdit>
#include <QVBoxLayout>

#include <algorithm>

namespace hchat {

namespace {

struct OpenWindow {
    ChatSession *session;
    QPointer<TfrmPM> window;
};

QList<OpenWindow> &openWindows()
{
    static QList<OpenWindow> windows;
    return windows;
}

} // namespace

TfrmPM::TfrmPM(ChatSession &session, const QString &nick, const QString &id, QWidget *parent)
    : QWidget(parent, Qt::Window), m_session(session), m_nick(nick), m_id(id), m_entry(session)
{
    setObjectName(QStringLiteral("frmPM"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Private Message: %1").arg(nick.isEmpty() ? id : nick));
    resize(420, 300);

    auto *transcript = named<TranscriptEdit>("memRich", this);
    memRich = transcript;
    memRich->setFocusPolicy(Qt::ClickFocus);
    memPM = named<EntryBox>("memPM", m_entry, this);
    memPM->setPlaceholderText(tr("Type your message and press Enter (Shift+Enter for a new line)"));
    btnSend = named<QPushButton>("btnSend", tr("Send"), this);
    btnSend->setFocusPolicy(Qt::NoFocus);

    auto *entry = new QWidget(this);
    auto *entryLayout = flushLayout<QHBoxLayout>(entry, -1); // the style's spacing
    entryLayout->addWidget(memPM, 1);
    entryLayout->addWidget(btnSend, 0, Qt::AlignBottom);
    auto *split = new QSplitter(Qt::Vertical, this);
    split->addWidget(memRich);
    split->addWidget(entry);
    split->setStretchFactor(0, 4);
    split->setStretchFactor(1, 1);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->addWidget(split);
    // The button sends as Enter does.
    connect(btnSend, &QPushButton::clicked, this, [this] {
        QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        QCoreApplication::sendEvent(memPM, &enter);
        memPM->setFocus();
    });

    m_entry.submitter = [this](const QString &text) {
        QString why;
        const TextEntry::Result result = m_session.privateMessages().send(m_nick, m_id, text, &why);
        if (!why.isEmpty())
            AddNotice(why);
        return result;
    };
    // Links open where the chat window opens them; the rest of the reader's
    // commands are the transcript's own.
    if (auto *chat = qobject_cast<TfrmChat *>(parent)) {
        m_chat = chat;
        connect(transcript, &TranscriptEdit::linkActivated, chat, &TfrmChat::openLink);
        m_entry.confirmLongText = [this, chat](int lines) {
            return !chat->confirmLongText || chat->confirmLongText(lines, this);
        };
    }
    connect(transcript, &TranscriptEdit::clearRequested, memRich, &QTextEdit::clear);
    connect(transcript, &TranscriptEdit::searchClosed, memPM, [this] { memPM->setFocus(); });
    auto *find = new QAction(this);
    find->setShortcut(QKeySequence::Find);
    connect(find, &QAction::triggered, transcript,
            [transcript] { transcript->openSearch(transcript->textCursor().selectedText()); });
    addAction(find);

    PrivateMessages &pms = session.privateMessages();
    connect(&pms, &PrivateMessages::messageArrived, this,
            [this](const QString &n, const QString &i, const QString &line, int color) {
                if (mine(n, i)) {
                    m_id = i; // answer the connection we heard from last
                    AddLine(line, color);
                }
            });
    connect(&pms, &PrivateMessages::messageSent, this,
            [this](const QString &n, const QString &i, const QString &line, int color, quint32 number) {
                if (mine(n, i))
                    AddLine(line, color, number);
            });
    connect(&session.ownLines(), &OwnLines::stateChanged, this,
            [this](quint32 number, OwnLineState state, const QString &reason) {
                OwnLineMarks::mark(memRich->document(), number, state, reason);
            });

    openWindows().append({&session, this});
    memPM->setFocus();
}

TfrmPM::~TfrmPM()
{
    openWindows().removeIf([this](const OpenWindow &w) { return w.window.isNull() || w.window == this; });
}

bool TfrmPM::mine(const QString &nick, const QString &id) const
{
    return PrivateMessages::correspondentKey(nick, id) == PrivateMessages::correspondentKey(m_nick, m_id);
}

TfrmPM *TfrmPM::find(ChatSession &session, const QString &nick, const QString &id)
{
    for (const OpenWindow &w : openWindows())
        if (w.session == &session && w.window && w.window->mine(nick, id))
            return w.window;
    return nullptr;
}

int TfrmPM::openCount(ChatSession &session)
{
    return int(std::count_if(openWindows().cbegin(), openWindows().cend(),
                             [&session](const OpenWindow &w) { return w.session == &session && w.window; }));
}

void TfrmPM::showWaiting(const WaitingConversations::Conversation &waiting)
{
    m_id = waiting.id;
    if (waiting.dropped > 0)
        AddNotice(QStringLiteral("(%1 earlier lines were not kept)").arg(waiting.dropped));
    for (const WaitingConversations::Line &line : waiting.lines)
        AddLine(line.text, line.color);
}

TfrmPM *TfrmPM::OpenWaiting(ChatSession &session, QWidget *parent)
{
    const auto waiting = session.privateMessages().takeOldestWaiting();
    if (!waiting)
        return nullptr;
    TfrmPM *window = find(session, waiting->nick, waiting->id);
    if (!window)
        window = new TfrmPM(session, waiting->nick, waiting->id, parent);
    window->showWaiting(*waiting);
    return Open(session, waiting->nick, waiting->id, parent);
}

TfrmPM *TfrmPM::Open(ChatSession &session, const QString &nick, const QString &id, QWidget *parent)
{
    TfrmPM *window = find(session, nick, id);
    if (!window) {
        window = new TfrmPM(session, nick, id, parent);
        window->placeBesideParent(openCount(session) - 1);
    }
    if (const auto waiting = session.privateMessages().takeWaiting(nick, id))
        window->showWaiting(*waiting);
    window->show();
    window->raise();
    window->activateWindow();
    window->memPM->setFocus();
    return window;
}

void TfrmPM::route(ChatSession &session, QWidget *parent)
{
    // Runs before the windows' own connections: it only opens a window for a
    // new correspondent and gives it the first line, which that window's
    // connection (made during this emission) does not receive.
    QObject::connect(
        &session.privateMessages(), &PrivateMessages::messageArrived, parent,
        [&session, parent](const QString &nick, const QString &id, const QString &line, int color) {
            if (find(session, nick, id) ||
                !session.privateMessages().mayOpenWindow(nick, id, line, color, openCount(session)))
                return;
            const int index = openCount(session);
            TfrmPM *window = new TfrmPM(session, nick, id, parent);
            window->AddLine(line, color);
            // The user is typing elsewhere, most likely into a room: the rest
            // of that line must not land in this window.
            QWidget *active = QApplication::activeWindow();
            window->setAttribute(Qt::WA_ShowWithoutActivating);
            window->placeBesideParent(index);
            window->show();
            // Not every platform honours the attribute: keep the keyboard where it was.
            if (active && active != window)
                active->activateWindow();
            session.sink()->ShowMessage(tr("Private message from %1: its window is open beside this one.")
                                            .arg(nick.isEmpty() ? id : nick),
                                        false, true);
            QApplication::alert(parent->window());
        });
}

void TfrmPM::placeBesideParent(int index)
{
    // Wholly on screen, beside the chat window where there is room.
    QWidget *main = parentWidget() ? parentWidget()->window() : nullptr;
    const QScreen *screen = main && main->screen() ? main->screen() : QGuiApplication::primaryScreen();
    if (main && screen)
        move(placeBeside(main->frameGeometry(), size(), screen->availableGeometry(), index));
}

QPoint TfrmPM::placeBeside(const QRect &main, const QSize &size, const QRect &screen, int index)
{
    const int step = 24 * index;
    int x = main.right() + 1 + step;
    if (x + size.width() - 1 > screen.right())
        x = main.left() - size.width() - step; // no room on the right: on the left
    int y = main.top() + step;
    // Whatever the main window's place, the window is on screen.
    x = qMax(screen.left(), qMin(x, screen.right() - size.width() + 1));
    y = qMax(screen.top(), qMin(y, screen.bottom() - size.height() + 1));
    return {x, y};
}

void TfrmPM::closeAll(ChatSession &session)
{
    const QList<OpenWindow> windows = openWindows();
    for (const OpenWindow &w : windows)
        if (w.session == &session && w.window)
            w.window->close();
}

void TfrmPM::AddLine(const QString &line, int color, quint32 ownNumber)
{
    QTextCursor cursor(memRich->document());
    cursor.movePosition(QTextCursor::End);
    QTextCharFormat format;
    format.setForeground(colorFromWire(color));
    if (!memRich->document()->isEmpty())
        cursor.insertBlock();
    // Stamped as the room's lines are.
    QString text = line;
    if (m_chat && m_session.settings().showTime)
        text.prepend(m_chat->services().renderer()->stampFor(m_session.now()));
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    TextLinks::insert(cursor, text, format);
    if (ownNumber != 0)
        OwnLineMarks::markLast(memRich->document(), ownNumber);
    cursor.movePosition(QTextCursor::End);
    memRich->setTextCursor(cursor);
    memRich->ensureCursorVisible();
}

void TfrmPM::AddNotice(const QString &line)
{
    AddLine(line, 0x800080);
}

} // namespace hchat
