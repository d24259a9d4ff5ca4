#include "platform/transcriptedit.h"

#include "platform/searchbar.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QMenu>
#include <QPainter>
#include <QScrollBar>
#include <QShortcut>
#include <QTextBlock>
#include <QToolButton>

namespace hchat {

namespace {

const QColor kMarker(200, 30, 30);

} // namespace

TranscriptEdit::TranscriptEdit(QWidget *parent) : QTextEdit(parent)
{
    setReadOnly(true);
    setUndoRedoEnabled(false);
    viewport()->setMouseTracking(true);

    btnJump = new QToolButton(this);
    btnJump->setObjectName(QStringLiteral("btnJump"));
    btnJump->setText(tr("↓ Newest"));
    btnJump->setToolTip(tr("Jump to the newest line (Ctrl+End)"));
    btnJump->setCursor(Qt::ArrowCursor);
    btnJump->hide();
    connect(btnJump, &QToolButton::clicked, this, &TranscriptEdit::jumpToNewest);

    QScrollBar *bar = verticalScrollBar();
    const auto moved = [this] {
        markSeen();
        updateJumpButton();
    };
    connect(bar, &QScrollBar::valueChanged, this, moved);
    connect(bar, &QScrollBar::rangeChanged, this, moved);

    // F3 and Escape also work with the focus in the transcript itself.
    // Each key's slot names its action: a member-function pointer kept in
    // the slot tripped the address sanitizer.
    const auto searchKey = [this](const QKeySequence &keys, Qt::ShortcutContext context, auto act) {
        connect(new QShortcut(keys, this, nullptr, nullptr, context), &QShortcut::activated, this,
                [this, act] {
                    if (m_search && m_search->isVisible())
                        act(m_search);
                });
    };
    searchKey(QKeySequence(Qt::Key_F3), Qt::WidgetWithChildrenShortcut, [](SearchBar *b) { b->findNext(); });
    searchKey(QKeySequence(Qt::SHIFT | Qt::Key_F3), Qt::WidgetWithChildrenShortcut,
              [](SearchBar *b) { b->findPrevious(); });
    searchKey(QKeySequence(Qt::Key_Escape), Qt::WidgetShortcut, [](SearchBar *b) { b->close(); });
}

TranscriptEdit::~TranscriptEdit() = default;

QString TranscriptEdit::linkAt(const QPoint &viewportPos) const
{
    const QString href = anchorAt(viewportPos);
    const bool web = href.startsWith(QLatin1String("http://"), Qt::CaseInsensitive) ||
                     href.startsWith(QLatin1String("https://"), Qt::CaseInsensitive);
    return web ? href : QString();
}

bool TranscriptEdit::isAtEnd() const
{
    const QScrollBar *bar = verticalScrollBar();
    return bar->value() >= bar->maximum();
}

void TranscriptEdit::setReaderAway(bool away)
{
    m_away = away;
    markSeen();
}

void TranscriptEdit::markSeen()
{
    if (!m_away && isAtEnd())
        m_markerSeen = true;
}

void TranscriptEdit::lineAppending()
{
    m_appendFrom = document()->isEmpty() ? 0 : document()->blockCount();
    m_appendUnseen = m_away || !isAtEnd();
}

void TranscriptEdit::lineAppended()
{
    const int from = m_appendFrom;
    m_appendFrom = -1;
    // The very first line has nothing above it to set it apart from.
    if (from <= 0 || !m_appendUnseen)
        return;
    if (!m_markerSeen && unreadMarker().isValid())
        return; // the unread part began earlier
    const QTextBlock line = document()->findBlockByNumber(from);
    if (!line.isValid())
        return;
    clearUnreadMarker();
    // Each marked line carries a state of its own, so a line that took the
    // place of a trimmed one is never mistaken for the marked line.
    static int lastState = 0x4d000;
    m_markerState = ++lastState;
    QTextBlock(line).setUserState(m_markerState);
    m_marker = QTextCursor(line);
    m_markerSeen = false;
    viewport()->update();
}

QTextBlock TranscriptEdit::unreadMarker() const
{
    if (m_marker.isNull() || m_markerState < 0)
        return {};
    // A trimmed line takes its mark along: the cursor then sits on a line
    // that never carried it.
    const QTextBlock block = m_marker.block();
    // Emptied whole, the document keeps one line, and that line its state.
    if (document()->isEmpty())
        return {};
    return block.userState() == m_markerState ? block : QTextBlock();
}

void TranscriptEdit::clearUnreadMarker()
{
    QTextBlock block = unreadMarker();
    if (block.isValid())
        block.setUserState(-1);
    m_marker = QTextCursor();
    m_markerState = -1;
    m_markerSeen = true;
    viewport()->update();
}

void TranscriptEdit::jumpToNewest()
{
    scrollByReader(QAbstractSlider::SliderToMaximum);
}

void TranscriptEdit::scrollByReader(QAbstractSlider::SliderAction action)
{
    QScrollBar *bar = verticalScrollBar();
    bar->triggerAction(action);
    emit readerScrolled(bar->value());
}

void TranscriptEdit::updateJumpButton()
{
    const bool show = !isAtEnd();
    if (show == btnJump->isVisible())
        return;
    btnJump->setVisible(show);
    if (show)
        placeOverlays();
}

SearchBar *TranscriptEdit::searchBar()
{
    if (!m_search) {
        m_search = new SearchBar(this, this);
        connect(m_search, &SearchBar::closed, this, [this] {
            setViewportMargins(0, 0, 0, 0);
            emit searchClosed();
        });
        connect(m_search, &SearchBar::scrolledToHit, this,
                [this] { emit readerScrolled(verticalScrollBar()->value()); });
    }
    return m_search;
}

void TranscriptEdit::openSearch(const QString &text)
{
    SearchBar *bar = searchBar();
    // The bar takes its own strip at the top: no line hides behind it.
    setViewportMargins(0, bar->sizeHint().height(), 0, 0);
    placeOverlays();
    // Only the first line of a selection makes sense as a search.
    bar->open(text.section(QChar::ParagraphSeparator, 0, 0).section(QLatin1Char('\n'), 0, 0));
}

void TranscriptEdit::placeOverlays()
{
    const QRect view = viewport()->geometry();
    if (m_search && m_search->isVisible())
        m_search->setGeometry(view.left(), view.top() - m_search->sizeHint().height(), view.width(),
                              m_search->sizeHint().height());
    btnJump->adjustSize();
    btnJump->move(view.right() - btnJump->width() - 6, view.bottom() - btnJump->height() - 6);
    btnJump->raise();
}

QMenu *TranscriptEdit::createTranscriptMenu(const QPoint &viewportPos, QWidget *parent)
{
    auto *menu = new QMenu(parent ? parent : this);
    menu->setObjectName(QStringLiteral("mnuTranscript"));
    auto add = [menu](const char *name, const QString &text, const QKeySequence &keys = QKeySequence()) {
        QAction *a = menu->addAction(text);
        a->setObjectName(QLatin1String(name));
        a->setShortcut(keys); // shown in the menu; the keys themselves work elsewhere
        return a;
    };
    QAction *copyText = add("mnuCopy", tr("Copy"), QKeySequence::Copy);
    copyText->setEnabled(textCursor().hasSelection());
    connect(copyText, &QAction::triggered, this, &QTextEdit::copy);
    connect(add("mnuSelectAll", tr("Select All"), QKeySequence::SelectAll), &QAction::triggered, this,
            &QTextEdit::selectAll);
    const QString link = linkAt(viewportPos);
    QAction *copyLink = add("mnuCopyLink", tr("Copy Link"));
    copyLink->setEnabled(!link.isEmpty());
    connect(copyLink, &QAction::triggered, this, [link] { QGuiApplication::clipboard()->setText(link); });
    menu->addSeparator();
    connect(add("mnuFind", tr("Find..."), QKeySequence(QKeySequence::Find)), &QAction::triggered, this,
            [this] { openSearch(textCursor().selectedText()); });
    connect(add("mnuClear", tr("Clear")), &QAction::triggered, this, &TranscriptEdit::clearRequested);
    return menu;
}

void TranscriptEdit::paintEvent(QPaintEvent *event)
{
    QTextEdit::paintEvent(event);
    const QTextBlock marked = unreadMarker();
    if (!marked.isValid())
        return;
    const int y =
        int(document()->documentLayout()->blockBoundingRect(marked).top()) - verticalScrollBar()->value();
    const int width = viewport()->width();
    if (y < 0 || y > viewport()->height())
        return;
    QPainter painter(viewport());
    painter.setPen(QPen(kMarker, 1));
    painter.drawLine(0, y, width, y);
    QFont small = font();
    small.setPointSizeF(small.pointSizeF() * 0.8);
    painter.setFont(small);
    const QString label = tr("new messages");
    const QFontMetrics metrics(small);
    const int w = metrics.horizontalAdvance(label) + 8;
    const QRect box(width - w - 4, qMax(0, y - metrics.height() / 2), w, metrics.height());
    painter.fillRect(box, palette().base());
    painter.drawRect(box.adjusted(0, 0, -1, -1));
    painter.drawText(box, Qt::AlignCenter, label);
}

void TranscriptEdit::resizeEvent(QResizeEvent *event)
{
    QTextEdit::resizeEvent(event);
    placeOverlays();
}

void TranscriptEdit::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        m_pressedLink = linkAt(event->position().toPoint());
        m_pressedAt = event->position().toPoint();
    }
    QTextEdit::mousePressEvent(event);
}

void TranscriptEdit::mouseMoveEvent(QMouseEvent *event)
{
    QTextEdit::mouseMoveEvent(event);
    const bool overLink = !linkAt(event->position().toPoint()).isEmpty();
    if (overLink != m_pointing) {
        m_pointing = overLink;
        viewport()->setCursor(overLink ? Qt::PointingHandCursor : Qt::IBeamCursor);
    }
}

void TranscriptEdit::mouseReleaseEvent(QMouseEvent *event)
{
    QTextEdit::mouseReleaseEvent(event);
    const QString link = m_pressedLink;
    m_pressedLink.clear();
    if (event->button() != Qt::LeftButton || link.isEmpty())
        return;
    // A click, not the end of a drag that selects text.
    const QPoint at = event->position().toPoint();
    if ((at - m_pressedAt).manhattanLength() >= QApplication::startDragDistance() || linkAt(at) != link ||
        textCursor().hasSelection())
        return;
    emit linkActivated(link);
}

void TranscriptEdit::contextMenuEvent(QContextMenuEvent *event)
{
    QMenu *menu = createTranscriptMenu(event->pos());
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
}

} // namespace hchat
