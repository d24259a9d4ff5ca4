#include "transcript/transcriptrenderer.h"

#include "catalogue/dateformat.h"
#include "transcript/chatlogger.h"
#include "transcript/keywordrules.h"
#include "transcript/linkrules.h"
#include "transcript/ownlinemarks.h"
#include "transcript/soundplayer.h"
#include "transcript/speaker.h"
#include "transcript/textlinks.h"
#include "transcript/transcriptview.h"
#include "transcript/webviewer.h"

#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QTextOption>

#include <utility>

namespace hchat {

struct TranscriptRenderer::Pane {
    TranscriptView *view = nullptr;
    bool second = false;
    bool follow = true;
    int clock = 0;
    // Open edit block of the running batch, and what to scroll at its end.
    bool editing = false;
    int pendingLines = 0;
    bool pendingToEnd = false;

    QTextDocument *doc() const { return view->document(); }
};

// What a shown line holds that concerns the user: the keyword that matched
// and the places where the user's nick is named.
struct TranscriptRenderer::Marks {
    std::optional<KeywordRules::Match> keyword;
    KeywordRules::Spans nick;
    bool markNick = false; ///< the nick is marked and sounds like a keyword
};

namespace {

QColor fromRgb(int rgb)
{
    // Wire and INI colours keep red in the low byte.
    return QColor(rgb & 0xFF, (rgb >> 8) & 0xFF, (rgb >> 16) & 0xFF);
}

} // namespace

TranscriptRenderer::TranscriptRenderer(TranscriptView *first, TranscriptView *second,
                                       TranscriptContext context)
    : m_ctx(std::move(context))
{
    // Chat text is mostly Latin script: skip the shaping pass where the
    // script does not need it. It is most of the cost of laying out a line.
    m_format.setFontStyleStrategy(QFont::PreferNoShaping);
    for (int i = 0; i < 2; ++i) {
        m_panes[i] = std::make_unique<Pane>();
        Pane &p = *m_panes[i];
        p.view = i == 0 ? first : second;
        p.second = i == 1;
        if (!p.view)
            continue;
        // A transcript is never edited by the user: an undo history would
        // only hold every line twice.
        p.doc()->setUndoRedoEnabled(false);
        setTabStops(p.doc());
        p.view->setThumbDragHandler([this, s = p.second](int thumb) { thumbDragged(s, thumb); });
    }
}

TranscriptRenderer::~TranscriptRenderer()
{
    for (auto &p : m_panes) {
        if (p->view)
            p->view->setThumbDragHandler({});
    }
}

TranscriptRenderer::Pane &TranscriptRenderer::pane(bool second)
{
    return *m_panes[second ? 1 : 0];
}

const TranscriptRenderer::Pane &TranscriptRenderer::pane(bool second) const
{
    return *m_panes[second ? 1 : 0];
}

void TranscriptRenderer::setTabStops(QTextDocument *doc)
{
    QTextOption opt = doc->defaultTextOption();
    QList<QTextOption::Tab> tabs;
    for (int x : {20, 185, 210, 240, 280, 320, 360})
        tabs << QTextOption::Tab(x, QTextOption::LeftTab);
    opt.setTabs(tabs);
    doc->setDefaultTextOption(opt);
}

int TranscriptRenderer::FontPixel(int fontSize)
{
    return fontSize == 8 ? 13 : fontSize == 10 ? 16 : 20;
}

void TranscriptRenderer::setLineColor(int rgb)
{
    m_color = fromRgb(rgb);
    m_format.setForeground(m_color);
}

QString TranscriptRenderer::format(const QDateTime &when, int textNo) const
{
    QString fmt = m_ctx.text ? m_ctx.text(textNo) : QString();
    if (fmt.isEmpty())
        fmt = QStringLiteral("hh:nn:ss"); // a missing entry must not lose the clock
    // A busy room shows many lines within one second: format each second once.
    const qint64 day = when.date().toJulianDay();
    const int second = when.time().msecsSinceStartOfDay() / 1000;
    StampCache &c = m_stampCache;
    if (c.day != day || c.second != second || c.format != fmt) {
        c.day = day;
        c.second = second;
        c.format = fmt;
        c.text = m_ctx.formatTime ? m_ctx.formatTime(when, fmt) : FormatDateTime(fmt, when);
    }
    return c.text;
}

QString TranscriptRenderer::stampFor(const QDateTime &when) const
{
    if (m_ctx.extendedStamp())
        return format(when, 464);
    return format(when, 453) + QLatin1Char(' ');
}

int TranscriptRenderer::lineCount(bool second) const
{
    const QTextDocument *doc = pane(second).doc();
    return doc->characterCount() <= 1 ? 0 : doc->blockCount();
}

int TranscriptRenderer::clockCounter(bool second) const
{
    return pane(second).clock;
}

bool TranscriptRenderer::follows(bool second) const
{
    return pane(second).follow;
}

void TranscriptRenderer::Clear(bool second)
{
    Pane &p = pane(second);
    const bool editing = p.editing;
    if (editing)
        closeEdit(p);
    p.doc()->clear();
    setTabStops(p.doc());
    p.follow = true;
    p.pendingLines = 0;
    p.pendingToEnd = false;
    if (editing)
        openEdit(p);
}

void TranscriptRenderer::ShowMessage(const QString &text, bool second, bool notice)
{
    const bool chatLine = m_chatLine;
    m_chatLine = false;
    m_lastShown = QString();
    const quint32 ownNumber = std::exchange(m_ownNumber, 0);
    const quint32 lineNumber = std::exchange(m_lineNumber, 0);
    if (text.contains(QLatin1String("/sat/remote.png")) && !m_ctx.staffMode()) {
        m_own = false;
        m_stamp = QDateTime();
        return;
    }

    QString shown = text;
    if (m_ctx.showTimeStamps())
        shown.prepend(stampFor(m_stamp.isValid() ? m_stamp : clockNow()));
    // A stamp time belongs to the one line it was set for.
    m_stamp = QDateTime();

    if (notice)
        setLineColor(kPurple);

    const Marks marks = marksFor(shown, chatLine);
    Pane &p = pane(second);
    if (p.view) {
        // Inside a batch the edit block stays open until endBatch, so the
        // lines are laid out together.
        openEdit(p);
        append(p, shown, marks);
        if (ownNumber != 0)
            OwnLineMarks::markLast(
                p.doc(), ownNumber,
                int(shown.count(u'\n') - shown.count(QLatin1String("\r\n")) + shown.count(u'\r')) + 1);
        if (lineNumber != 0)
            OwnLineMarks::numberLast(p.doc(), lineNumber);
        if (m_batch == 0) {
            closeEdit(p);
            scrollAfter(p);
        }
    }
    m_lastShown = shown;

    alertKeywords(text, marks);
    if (m_ctx.lineShown)
        m_ctx.lineShown(
            {text, second, notice, chatLine, m_own, marks.keyword.has_value(), !marks.nick.isEmpty()});
    if (!second)
        openLink(shown);
    m_own = false;
}

TranscriptRenderer::Marks TranscriptRenderer::marksFor(const QString &shown, bool chatLine) const
{
    Marks marks;
    if (m_own)
        return marks;
    if (chatLine) {
        marks.nick = KeywordRules::nickMentions(shown, m_ctx.ownNick());
        marks.markNick = !marks.nick.isEmpty() && m_ctx.highlightNick();
    }
    if (m_ctx.quietCounter() == 0) {
        const QStringList words = m_ctx.keywords();
        if (!words.isEmpty())
            marks.keyword = KeywordRules::find(shown, words, m_ctx.keywordSound());
    }
    return marks;
}

void TranscriptRenderer::setOwnLineState(quint32 number, OwnLineState state, const QString &reason)
{
    // Own lines are said in the first room.
    Pane &p = pane(false);
    if (p.view)
        OwnLineMarks::mark(p.doc(), number, state, reason);
}

void TranscriptRenderer::placeOwnLine(quint32 number, quint32 line)
{
    Pane &p = pane(false);
    if (p.view && OwnLineMarks::place(p.doc(), number, line))
        scrollAfter(p);
}

void TranscriptRenderer::openEdit(Pane &p)
{
    if (!p.editing) {
        QTextCursor(p.doc()).beginEditBlock();
        p.editing = true;
    }
}

void TranscriptRenderer::closeEdit(Pane &p)
{
    if (p.editing) {
        QTextCursor(p.doc()).endEditBlock();
        p.editing = false;
    }
}

void TranscriptRenderer::trim(Pane &p)
{
    QTextDocument *doc = p.doc();
    // Lay out what the batch added so far before the cut: the cut alone then
    // only moves the remaining lines up instead of laying them all out again.
    const bool editing = p.editing;
    closeEdit(p);
    int cut = kCutChars;
    const QTextBlock at = doc->findBlock(cut);
    // End the cut at a line end, so no half line stays at the top.
    if (at.isValid() && at.position() != cut && at.next().isValid())
        cut = at.next().position();
    cut = qMin(cut, doc->characterCount() - 1);
    QTextCursor c(doc);
    c.setPosition(cut, QTextCursor::KeepAnchor);
    c.removeSelectedText();
    if (p.follow)
        p.pendingToEnd = true;
    if (editing)
        openEdit(p);
}

void TranscriptRenderer::append(Pane &p, const QString &text, const Marks &marks)
{
    QTextDocument *doc = p.doc();
    // Counts only: turning the document into text per line would make each
    // line cost more the longer the transcript.
    if (doc->characterCount() - 1 > kMaxChars || lineCount(p.second) > kMaxLines)
        trim(p);

    QString t = text;
    t.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    t.replace(QLatin1Char('\r'), QLatin1Char('\n'));

    const int before = lineCount(p.second);
    p.view->aboutToAppend();
    QTextCursor c(doc);
    c.movePosition(QTextCursor::End);
    if (before > 0)
        c.insertBlock(QTextBlockFormat(), m_format);
    const int start = c.position();
    TextLinks::insert(c, t, m_format);
    markWords(start, t, marks, doc);
    p.view->appended();
    p.pendingLines += lineCount(p.second) - before;
}

void TranscriptRenderer::markWords(int start, const QString &t, const Marks &marks, QTextDocument *doc) const
{
    if (!marks.keyword && !marks.markNick)
        return;
    // A line break is one separator in the document as "\n" is one
    // character in t: positions in t are positions in the document.
    KeywordRules::Spans spans;
    if (marks.markNick)
        spans = KeywordRules::nickMentions(t, m_ctx.ownNick());
    if (marks.keyword)
        spans += KeywordRules::occurrences(t, marks.keyword->word);
    QTextCharFormat marked;
    marked.setBackground(highlightColor());
    for (const auto &[at, length] : spans) {
        QTextCursor h(doc);
        h.setPosition(start + at);
        h.setPosition(start + at + length, QTextCursor::KeepAnchor);
        h.mergeCharFormat(marked);
    }
}

void TranscriptRenderer::scrollAfter(Pane &p)
{
    const int lines = p.pendingLines;
    const bool toEnd = p.pendingToEnd;
    p.pendingLines = 0;
    p.pendingToEnd = false;
    if (!p.follow)
        return;
    if (toEnd)
        scrollToEnd(p);
    if (lines > 0) {
        if (m_ctx.lineScrolling())
            p.view->scrollLines(lines);
        else
            PosRichEdit(p.second);
    }
}

void TranscriptRenderer::scrollToEnd(Pane &p)
{
    if (m_ctx.lineScrolling()) {
        p.view->scrollLines(lineCount(p.second));
        p.view->scrollPageDown();
    } else {
        PosRichEdit(p.second);
    }
}

void TranscriptRenderer::PosRichEdit(bool second)
{
    if (m_ctx.lineScrolling())
        return;
    TranscriptView *v = pane(second).view;
    if (!v)
        return;
    v->scrollToPixel(qMax(0, v->contentHeight() - v->viewportHeight() + 6));
}

void TranscriptRenderer::thumbDragged(bool second, int thumbPixel)
{
    Pane &p = pane(second);
    if (!p.view)
        return;
    // Lines are counted in FontPixel units over the laid-out height, so a
    // wrapped line counts for what it covers on screen.
    const int lh = FontPixel();
    const int bottomLine = (thumbPixel + p.view->viewportHeight()) / lh;
    const int lines = p.view->contentHeight() / lh;
    p.follow = lines - 1 < bottomLine + 1;
}

QDateTime TranscriptRenderer::clockNow()
{
    // The lines of one batch arrived together: one reading of the clock
    // serves them all (reading the local time costs a system call here).
    if (m_batch == 0)
        return m_ctx.now();
    if (!m_batchNow.isValid())
        m_batchNow = m_ctx.now();
    return m_batchNow;
}

void TranscriptRenderer::beginBatch()
{
    ++m_batch;
}

void TranscriptRenderer::endBatch()
{
    if (m_batch == 0 || --m_batch > 0)
        return;
    m_batchNow = QDateTime();
    for (auto &p : m_panes) {
        if (!p->view)
            continue;
        closeEdit(*p);
        scrollAfter(*p);
    }
}

void TranscriptRenderer::swapTranscripts()
{
    Pane &a = pane(false);
    Pane &b = pane(true);
    if (!a.view || !b.view)
        return;
    closeEdit(a);
    closeEdit(b);
    // The documents stay with their views (the views own them); their lines
    // change places, styles and all.
    auto take = [](QTextDocument *doc) {
        QTextCursor all(doc);
        all.select(QTextCursor::Document);
        const QTextDocumentFragment lines = all.selection();
        all.removeSelectedText();
        return lines;
    };
    const QTextDocumentFragment first = take(a.doc());
    const QTextDocumentFragment second = take(b.doc());
    QTextCursor(a.doc()).insertFragment(second);
    QTextCursor(b.doc()).insertFragment(first);
    std::swap(a.follow, b.follow);
    std::swap(a.clock, b.clock);
    a.pendingLines = b.pendingLines = 0;
    a.pendingToEnd = b.pendingToEnd = false;
    for (Pane *p : {&a, &b}) {
        if (p->follow)
            scrollToEnd(*p);
        if (m_batch > 0)
            openEdit(*p);
    }
}

void TranscriptRenderer::showAndLog(const QString &text, bool second)
{
    m_chatLine = true;
    ShowMessage(text, second, false);
    const bool log = m_ctx.autoLog() && m_ctx.log;
    if (log && !m_lastShown.isNull())
        second ? m_ctx.log->AutoLog2(m_lastShown) : m_ctx.log->AutoLog(m_lastShown);
    if (m_ctx.showTimeStamps())
        return; // the stamps tell the time already: the counter stands still
    Pane &p = pane(second);
    if (++p.clock > kClockEvery) {
        p.clock = 0;
        ShowMessage(format(clockNow(), 469), second, true);
        if (log && !m_lastShown.isNull())
            second ? m_ctx.log->AutoLog2(m_lastShown) : m_ctx.log->AutoLog(m_lastShown);
    }
}

void TranscriptRenderer::SayIt(const QString &text, bool speak)
{
    if (speak && m_ctx.speaker)
        m_ctx.speaker->say(text);
}

void TranscriptRenderer::Notify(const QString &soundFile)
{
    if (!soundFile.isEmpty() && m_ctx.sound)
        m_ctx.sound->play(soundFile);
}

void TranscriptRenderer::alertKeywords(const QString &text, const Marks &marks)
{
    if (m_own || m_ctx.quietCounter() != 0)
        return;
    const QString defaultSound = m_ctx.keywordSound();
    if (defaultSound.isEmpty())
        return;
    // A line that names the user sounds as a keyword of its own would.
    const QString sound = marks.keyword ? marks.keyword->sound : marks.markNick ? defaultSound : QString();
    if (sound.isEmpty())
        return;
    if (sound == QLatin1String("read"))
        SayIt(text, !m_ctx.voiceRead()); // with Voice Read on the line is read already
    else
        Notify(KeywordRules::soundPath(sound, m_ctx.programFolder()));
}

void TranscriptRenderer::openLink(const QString &shown)
{
    if (!(m_ctx.showLinks() || m_own))
        return;
    if (shown.contains(QLatin1String("<U>")) || m_ctx.receiveBacklog() >= 110)
        return;
    const QString address = LinkRules::extractAddress(shown, m_ctx.text);
    if (address.isEmpty() || address.contains(QLatin1String("</")))
        return;
    if (m_ctx.web && m_ctx.web->currentAddress().contains(QLatin1String("join.me")))
        return;
    if (!LinkRules::mayOpen(address, m_ctx.roomHosts(), m_ctx.text, m_own))
        return;
    Notify(KeywordRules::soundPath(m_ctx.linkSound(), m_ctx.programFolder()));
    if (m_ctx.web)
        m_ctx.web->FindAddress(address);
}

} // namespace hchat
