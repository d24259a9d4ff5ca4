#pragma once

#include "transcript/transcriptview.h"

#include <QObject>
#include <QPointer>
#include <QScrollBar>
#include <QTextEdit>

#include <utility>

namespace hchat {

class TranscriptEdit;

/// A read-only QTextEdit as a transcript: memRich and memRich2 of the window.
/// A TranscriptEdit also hears of each line added (for its unread marker),
/// and its reader's scrolling decides about following the end.
/// A view at its end stays there through every change of layout (a resize,
/// a pane shown beside it, a new font), and lines added at the end never
/// join the reader's selection.
class TextEditView : public QObject, public TranscriptView
{
    Q_OBJECT
public:
    /// Makes edit read-only and hands its document to the renderer.
    explicit TextEditView(QTextEdit *edit, QObject *parent = nullptr);

    QTextEdit *edit() const { return m_edit; }

    QTextDocument *document() const override { return m_edit->document(); }
    void scrollLines(int lines) override;
    void scrollPageDown() override
    {
        m_edit->verticalScrollBar()->triggerAction(QAbstractSlider::SliderPageStepAdd);
    }
    void scrollToPixel(int y) override { m_edit->verticalScrollBar()->setValue(y); }
    int viewportHeight() const override { return m_edit->viewport()->height(); }
    int contentHeight() const override;
    void setThumbDragHandler(std::function<void(int)> handler) override { m_drag = std::move(handler); }
    void aboutToAppend() override;
    void appended() override;

private:
    std::pair<int, int> m_selection{-1, -1}; ///< the reader's anchor and position while appending

    QPointer<QTextEdit> m_edit;
    QPointer<TranscriptEdit> m_transcript; ///< the same edit, when it marks unread lines
    std::function<void(int)> m_drag;
    bool m_atEnd = true;
};

} // namespace hchat
