#include "app/entrybox.h"

#include "chat/chatsession.h"
#include "chat/textentry.h"
#include "platform/transcriptedit.h"

#include <QAction>
#include <QKeyEvent>

namespace hchat {

EntryBox::EntryBox(TextEntry &entry, QWidget *parent) : QPlainTextEdit(parent), m_entry(entry)
{
    setTabChangesFocus(true);
    m_entry.attach([this] { return toPlainText(); },
                   [this](const QString &text) {
                       setPlainText(text);
                       moveCursor(QTextCursor::End);
                   });
}

void EntryBox::serveChat(const ChatSession *session, TranscriptEdit *reader,
                         std::function<QList<QAction *>()> shortcuts)
{
    m_session = session;
    m_reader = reader;
    m_shortcuts = std::move(shortcuts);
}

bool EntryBox::event(QEvent *event)
{
    if (event->type() == QEvent::KeyPress) {
        // Sending and recalling first; the reader's keys after them.
        auto *key = static_cast<QKeyEvent *>(event);
        if (m_entry.keyPress(key) || (m_session && entryKey(key)))
            return true;
    } else if (event->type() == QEvent::ShortcutOverride && m_shortcuts) {
        // The box would take Ctrl+A as Select All (and Ctrl+U, Ctrl+Y as
        // its own editing keys): the icon shortcuts come first, since the
        // focus is in the entry nearly all the time.
        const QKeySequence pressed(static_cast<QKeyEvent *>(event)->keyCombination());
        const QList<QAction *> icons = m_shortcuts();
        for (const QAction *a : icons) {
            if (a->shortcut() == pressed) {
                event->ignore();
                return true;
            }
        }
    }
    return QPlainTextEdit::event(event);
}

bool EntryBox::entryKey(QKeyEvent *key)
{
    const Qt::KeyboardModifiers mods = key->modifiers() & ~Qt::KeypadModifier;
    if (key->key() == Qt::Key_Tab && mods == Qt::NoModifier) {
        QStringList nicks;
        const Roster &roster = m_session->roster();
        for (int i = 0; i < roster.count(); ++i)
            nicks << roster.entry(i).nick;
        const auto done =
            m_completer.complete(toPlainText(), textCursor().position(), nicks, m_session->settings().nick);
        if (!done)
            return false; // Tab moves on as ever
        // Through the cursor, so Ctrl+Z takes the completion back.
        QTextCursor c(document());
        c.select(QTextCursor::Document);
        c.insertText(done->text);
        c.setPosition(done->caret);
        setTextCursor(c);
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
    m_reader->scrollByReader(*scroll);
    return true;
}

} // namespace hchat
