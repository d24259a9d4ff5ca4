#include "platform/texteditview.h"

#include "platform/transcriptedit.h"

#include <QAbstractTextDocumentLayout>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>

#include <cmath>

namespace hchat {

TextEditView::TextEditView(QTextEdit *edit, QObject *parent)
    : QObject(parent), m_edit(edit), m_transcript(qobject_cast<TranscriptEdit *>(edit))
{
    edit->setReadOnly(true);
    edit->setUndoRedoEnabled(false);
    edit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // The thumb is dragged by the reader only through sliderMoved; value
    // changes made by the renderer must not count as the reader's choice.
    QScrollBar *bar = edit->verticalScrollBar();
    const auto dragged = [this](int value) {
        if (m_drag)
            m_drag(value);
    };
    connect(bar, &QScrollBar::sliderMoved, this, dragged);
    // Whether the view shows the end is decided by where it was before the
    // range changed: a new layout moves the end, not the reader.
    connect(bar, &QScrollBar::valueChanged, this,
            [this, bar](int value) { m_atEnd = value >= bar->maximum(); });
    connect(bar, &QScrollBar::rangeChanged, this, [this, bar](int, int max) {
        if (m_atEnd)
            bar->setValue(max);
        m_atEnd = bar->value() >= max;
    });
    // The reader's other ways of moving the view (keys, the jump button, a
    // search hit) decide about following the end just as a drag does.
    if (m_transcript)
        connect(m_transcript, &TranscriptEdit::readerScrolled, this, dragged);
}

void TextEditView::aboutToAppend()
{
    if (m_transcript)
        m_transcript->lineAppending();
    const QTextCursor cursor = m_edit->textCursor();
    m_selection = cursor.hasSelection() ? std::pair(cursor.anchor(), cursor.position()) : std::pair(-1, -1);
}

void TextEditView::appended()
{
    if (m_transcript)
        m_transcript->lineAppended();
    if (m_selection.first < 0)
        return;
    // Text added where the reader's selection ends would extend it: the
    // selection goes back to what the reader chose. Setting the cursor must
    // not scroll the view.
    QTextCursor cursor = m_edit->textCursor();
    if (cursor.anchor() == m_selection.first && cursor.position() == m_selection.second)
        return;
    cursor.setPosition(m_selection.first);
    cursor.setPosition(m_selection.second, QTextCursor::KeepAnchor);
    QScrollBar *bar = m_edit->verticalScrollBar();
    const int top = bar->value();
    m_edit->setTextCursor(cursor);
    bar->setValue(top);
}

void TextEditView::scrollLines(int lines)
{
    QScrollBar *bar = m_edit->verticalScrollBar();
    QTextDocument *doc = m_edit->document();
    if (lines >= doc->blockCount()) {
        bar->setValue(bar->maximum());
        return;
    }
    // The height of the last lines as laid out, so a wrapped line scrolls
    // by all it covers.
    QAbstractTextDocumentLayout *layout = doc->documentLayout();
    qreal pixels = 0;
    QTextBlock b = doc->lastBlock();
    for (int i = 0; i < std::abs(lines) && b.isValid(); ++i, b = b.previous())
        pixels += layout->blockBoundingRect(b).height();
    const int delta = int(std::ceil(pixels));
    bar->setValue(bar->value() + (lines < 0 ? -delta : delta));
}

int TextEditView::contentHeight() const
{
    return int(std::ceil(m_edit->document()->documentLayout()->documentSize().height()));
}

} // namespace hchat
