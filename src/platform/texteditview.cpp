#include "platform/texteditview.h"

#include <QAbstractTextDocumentLayout>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>

#include <cmath>

namespace hchat {

TextEditView::TextEditView(QTextEdit *edit, QObject *parent) : QObject(parent), m_edit(edit)
{
    edit->setReadOnly(true);
    edit->setUndoRedoEnabled(false);
    edit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // The thumb is dragged by the reader only through sliderMoved; value
    // changes made by the renderer must not count as the reader's choice.
    connect(edit->verticalScrollBar(), &QScrollBar::sliderMoved, this, [this](int value) {
        if (m_drag)
            m_drag(value);
    });
}

QTextDocument *TextEditView::document() const
{
    return m_edit->document();
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

void TextEditView::scrollPageDown()
{
    m_edit->verticalScrollBar()->triggerAction(QAbstractSlider::SliderPageStepAdd);
}

void TextEditView::scrollToPixel(int y)
{
    m_edit->verticalScrollBar()->setValue(y);
}

int TextEditView::scrollPixel() const
{
    return m_edit->verticalScrollBar()->value();
}

int TextEditView::viewportHeight() const
{
    return m_edit->viewport()->height();
}

int TextEditView::contentHeight() const
{
    return int(std::ceil(m_edit->document()->documentLayout()->documentSize().height()));
}

void TextEditView::setThumbDragHandler(std::function<void(int)> handler)
{
    m_drag = std::move(handler);
}

} // namespace hchat
