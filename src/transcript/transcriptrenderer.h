#pragma once

#include "transcript/transcriptcontext.h"
#include "transcript/transcriptsink.h"

#include <QColor>
#include <QTextCharFormat>

#include <memory>

class QTextDocument;

namespace hchat {

class TranscriptView;

/// Writes every shown line into the two transcripts: time stamp, line
/// colour, size limit, following the end, clock lines, keyword alerts and
/// posted links. Text is always inserted as plain text with a character
/// format, never parsed as markup.
class TranscriptRenderer : public TranscriptSink
{
public:
    static constexpr int kMaxChars = 45000; ///< a transcript's text limit
    static constexpr int kMaxLines = 1300;  ///< a transcript's line limit
    static constexpr int kCutChars = 15000; ///< removed from the top when over
    static constexpr int kClockEvery = 50;  ///< clock line after this many more
    static constexpr int kPurple = 0x800080;
    /// Behind a keyword or the own nick in a line: a highlighter's yellow
    /// that shows on light and dark backgrounds alike.
    static QColor highlightColor() { return QColor(255, 200, 0, 110); }

    /// first shows memRich, second memRich2; both outlive the renderer.
    TranscriptRenderer(TranscriptView *first, TranscriptView *second, TranscriptContext context);
    ~TranscriptRenderer() override;

    TranscriptContext &context() { return m_ctx; }

    // TranscriptSink
    void ShowMessage(const QString &text, bool second, bool notice) override;
    void TimeStamp(const QString &text) override { showAndLog(text, false); }
    void TimeStamp2(const QString &text) override { showAndLog(text, true); }
    void setLineColor(int rgb) override;
    void setStampTime(const QDateTime &when) override { m_stamp = when; }
    void setOwnMessage(bool own) override { m_own = own; }
    void setOwnLineNumber(quint32 number) override { m_ownNumber = number; }
    void setLineNumber(quint32 line) override { m_lineNumber = line; }
    void placeOwnLine(quint32 number, quint32 line) override;
    void setOwnLineState(quint32 number, OwnLineState state, const QString &reason) override;
    void SayIt(const QString &text, bool speak) override;
    void Notify(const QString &soundFile) override;
    void beginBatch() override;
    void endBatch() override;
    void swapTranscripts() override;

    /// Scrolls a transcript so that its last line is at the bottom, by pixel
    /// position; does nothing while line scrolling is on.
    void PosRichEdit(bool second);
    /// Line height in pixels for the configured font size.
    int FontPixel() const { return FontPixel(m_ctx.fontSize()); }
    /// 8 points give 13 pixels, 10 give 16, any other size 20.
    static int FontPixel(int fontSize);

    /// Empties a transcript; it follows the end again.
    void Clear(bool second);
    /// Whether the view of a transcript is kept at its end.
    bool follows(bool second) const;
    /// Recomputes the follow flag from a thumb position (pixels), as when
    /// the reader drags the scroll thumb.
    void thumbDragged(bool second, int thumbPixel);

    /// The pending line colour (invalid until a colour was set).
    QColor lineColor() const { return m_color; }
    QDateTime stampTime() const { return m_stamp; }
    bool ownMessage() const { return m_own; }
    int clockCounter(bool second) const;
    /// Lines in a transcript: 0 when empty, else its paragraphs.
    int lineCount(bool second) const;

    /// The time stamp, with its trailing blank, of a line shown at `when`;
    /// other windows stamp their lines the same way.
    QString stampFor(const QDateTime &when) const;

    /// Tab stops 20, 185, 210, 240, 280, 320 and 360 on a document.
    static void setTabStops(QTextDocument *doc);

private:
    struct Pane;
    Pane &pane(bool second);
    const Pane &pane(bool second) const;
    QDateTime clockNow();
    QString format(const QDateTime &when, int textNo) const;
    struct Marks;
    void append(Pane &p, const QString &text, const Marks &marks);
    void markWords(int start, const QString &t, const Marks &marks, QTextDocument *doc) const;
    void trim(Pane &p);
    void openEdit(Pane &p);
    void closeEdit(Pane &p);
    void scrollAfter(Pane &p);
    void scrollToEnd(Pane &p);
    Marks marksFor(const QString &shown, bool chatLine) const;
    void alertKeywords(const QString &text, const Marks &marks);
    void openLink(const QString &shown);
    void showAndLog(const QString &text, bool second);

    struct StampCache {
        qint64 day = -1;
        int second = -1;
        QString format;
        QString text;
    };

    TranscriptContext m_ctx;
    mutable StampCache m_stampCache;
    std::unique_ptr<Pane> m_panes[2];
    QColor m_color;
    QTextCharFormat m_format;
    QDateTime m_stamp;
    bool m_own = false;
    bool m_chatLine = false; ///< the line being shown came through TimeStamp or TimeStamp2
    quint32 m_ownNumber = 0;
    quint32 m_lineNumber = 0; ///< the server's number of the next line shown
    int m_batch = 0;
    QDateTime m_batchNow;
    QString m_lastShown;
};

} // namespace hchat
