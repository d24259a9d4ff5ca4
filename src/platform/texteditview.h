#pragma once

#include "transcript/transcriptview.h"

#include <QObject>
#include <QPointer>
#include <QTextEdit>

namespace hchat {

/// A read-only QTextEdit as a transcript: memRich and memRich2 of the window.
class TextEditView : public QObject, public TranscriptView
{
    Q_OBJECT
public:
    /// Makes edit read-only and hands its document to the renderer.
    explicit TextEditView(QTextEdit *edit, QObject *parent = nullptr);

    QTextEdit *edit() const { return m_edit; }

    QTextDocument *document() const override;
    void scrollLines(int lines) override;
    void scrollPageDown() override;
    void scrollToPixel(int y) override;
    int scrollPixel() const override;
    int viewportHeight() const override;
    int contentHeight() const override;
    void setThumbDragHandler(std::function<void(int)> handler) override;

private:
    QPointer<QTextEdit> m_edit;
    std::function<void(int)> m_drag;
};

} // namespace hchat
