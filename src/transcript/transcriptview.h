#pragma once

#include <functional>

class QTextDocument;

namespace hchat {

/// What the renderer needs of a transcript control: its document and its
/// vertical scrolling. The window uses a QTextEdit behind this; tests use a
/// bare document.
class TranscriptView
{
public:
    virtual ~TranscriptView() = default;

    /// The document the lines are written to; owned by the view.
    virtual QTextDocument *document() const = 0;
    /// Scrolls down by the height of the last `lines` lines of the document
    /// (negative: up). Past the end it stops at the end.
    virtual void scrollLines(int lines) = 0;
    /// Scrolls down by one page.
    virtual void scrollPageDown() = 0;
    /// Puts the top of the view at pixel y of the content.
    virtual void scrollToPixel(int y) = 0;
    /// Height of the visible area in pixels.
    virtual int viewportHeight() const = 0;
    /// Height of the laid-out content in pixels.
    virtual int contentHeight() const = 0;
    /// Called with the thumb position whenever the reader drags the thumb.
    virtual void setThumbDragHandler(std::function<void(int thumbPixel)> handler) = 0;
    /// Around every line added at the end: a view with a reader's selection
    /// keeps it as it was, whatever the document's cursors do.
    virtual void aboutToAppend() {}
    virtual void appended() {}
};

} // namespace hchat
