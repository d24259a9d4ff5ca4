#pragma once

#include "transcript/transcriptview.h"

#include <QStringList>
#include <QTextDocument>

namespace hchat {

/// A transcript without a window: a document, lines of a fixed pixel height,
/// and a scroll position that records what the renderer asked for.
class FakeTranscriptView : public TranscriptView
{
public:
    explicit FakeTranscriptView(int lineHeight = 16, int viewport = 160)
        : lineHeight(lineHeight), viewport(viewport)
    {
    }

    QTextDocument *document() const override { return &doc; }
    void scrollLines(int lines) override
    {
        calls << QStringLiteral("lines %1").arg(lines);
        scrollToPixelQuiet(pos + lines * lineHeight);
    }
    void scrollPageDown() override
    {
        calls << QStringLiteral("page");
        scrollToPixelQuiet(pos + viewport);
    }
    void scrollToPixel(int y) override
    {
        calls << QStringLiteral("pixel %1").arg(y);
        scrollToPixelQuiet(y);
    }
    int viewportHeight() const override { return viewport; }
    int contentHeight() const override { return lines() * lineHeight; }
    void setThumbDragHandler(std::function<void(int)> h) override { drag = std::move(h); }

    int lines() const { return doc.characterCount() <= 1 ? 0 : doc.blockCount(); }
    int maxPixel() const { return qMax(0, contentHeight() - viewport); }
    bool atEnd() const { return pos >= maxPixel(); }
    /// The reader drags the thumb to y.
    void dragTo(int y)
    {
        pos = y;
        if (drag)
            drag(y);
    }

    mutable QTextDocument doc;
    int lineHeight;
    int viewport;
    int pos = 0;
    QStringList calls;
    std::function<void(int)> drag;

private:
    void scrollToPixelQuiet(int y) { pos = qBound(0, y, qMax(maxPixel(), 0)); }
};

} // namespace hchat
