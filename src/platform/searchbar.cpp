#include "platform/searchbar.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>
#include <QTimer>
#include <QToolButton>

namespace hchat {

namespace {

// Hits are marked like a highlighter pen; the current one stands out.
const QColor kHit(255, 230, 0, 140);
const QColor kCurrent(255, 140, 0, 200);

} // namespace

SearchBar::SearchBar(QTextEdit *transcript, QWidget *parent) : QWidget(parent), m_transcript(transcript)
{
    setObjectName(QStringLiteral("barSearch"));
    setAutoFillBackground(true);
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 2, 4, 2);
    layout->setSpacing(4);
    field = new QLineEdit(this);
    field->setObjectName(QStringLiteral("edtFind"));
    field->setPlaceholderText(tr("Find in the transcript"));
    field->setClearButtonEnabled(true);
    field->installEventFilter(this);
    auto button = [this](QToolButton *&b, const char *name, const QString &text, const QString &tip) {
        b = new QToolButton(this);
        b->setObjectName(QLatin1String(name));
        b->setText(text);
        b->setToolTip(tip);
        b->setAutoRaise(true);
    };
    button(btnPrevious, "btnFindPrevious", QStringLiteral("▲"), tr("Previous hit (Shift+Enter, Shift+F3)"));
    button(btnNext, "btnFindNext", QStringLiteral("▼"), tr("Next hit (Enter, F3)"));
    button(btnClose, "btnFindClose", QStringLiteral("✕"), tr("Close (Escape)"));
    matchCase = new QCheckBox(tr("Match case"), this);
    matchCase->setObjectName(QStringLiteral("chkMatchCase"));
    lblCount = new QLabel(this);
    lblCount->setObjectName(QStringLiteral("lblFindCount"));
    layout->addWidget(field, 1);
    layout->addWidget(btnPrevious);
    layout->addWidget(btnNext);
    layout->addWidget(lblCount);
    layout->addWidget(matchCase);
    layout->addWidget(btnClose);

    m_refresh = new QTimer(this);
    m_refresh->setSingleShot(true);
    m_refresh->setInterval(150);
    connect(m_refresh, &QTimer::timeout, this, [this] { search(false); });
    connect(field, &QLineEdit::textChanged, this, [this] { search(true); });
    connect(matchCase, &QCheckBox::toggled, this, [this] { search(true); });
    connect(btnNext, &QToolButton::clicked, this, &SearchBar::findNext);
    connect(btnPrevious, &QToolButton::clicked, this, &SearchBar::findPrevious);
    connect(btnClose, &QToolButton::clicked, this, &SearchBar::close);
    // New and trimmed lines: searched again once a burst has passed.
    if (m_transcript)
        connect(m_transcript->document(), &QTextDocument::contentsChanged, this, [this] {
            if (isVisible() && !field->text().isEmpty())
                m_refresh->start();
        });
    hide();
}

Qt::CaseSensitivity SearchBar::caseSensitivity() const
{
    return matchCase->isChecked() ? Qt::CaseSensitive : Qt::CaseInsensitive;
}

void SearchBar::open(const QString &text)
{
    show();
    if (!text.isEmpty() && text != field->text())
        field->setText(text);
    else
        search(true);
    field->setFocus(Qt::ShortcutFocusReason);
    field->selectAll();
}

void SearchBar::close()
{
    m_refresh->stop();
    m_hits.clear();
    m_current = -1;
    m_currentAt = QTextCursor();
    if (m_transcript)
        m_transcript->setExtraSelections({});
    hide();
    emit closed();
}

QString SearchBar::countText() const
{
    if (field->text().isEmpty())
        return QString();
    if (m_hits.isEmpty())
        return tr("No hits");
    if (m_current < 0)
        return tr("%n hit(s)", nullptr, int(m_hits.size()));
    return tr("%1 of %2").arg(m_current + 1).arg(m_hits.size());
}

void SearchBar::search(bool fromView)
{
    if (!m_transcript)
        return;
    m_hits = TranscriptSearch::findAll(*m_transcript->document(), field->text(), caseSensitivity());
    int index = -1;
    if (!m_hits.isEmpty()) {
        // A new search starts where the reader looks (the first hit at or
        // below the top of the view); a search again after new lines stays
        // on the hit it was on.
        int from = 0;
        if (fromView)
            from = m_transcript->cursorForPosition(QPoint(0, 0)).block().position();
        else if (!m_currentAt.isNull())
            from = m_currentAt.position();
        index = TranscriptSearch::step(m_hits, from - 1, true);
    }
    if (fromView && index >= 0) {
        go(index);
        return;
    }
    m_current = index;
    m_currentAt = QTextCursor();
    if (index >= 0) {
        m_currentAt = QTextCursor(m_transcript->document());
        m_currentAt.setPosition(m_hits[index].position);
    }
    paintHits();
}

void SearchBar::findNext()
{
    if (m_hits.isEmpty())
        return;
    go(m_current < 0 ? 0 : (m_current + 1) % int(m_hits.size()));
}

void SearchBar::findPrevious()
{
    if (m_hits.isEmpty())
        return;
    go(m_current <= 0 ? int(m_hits.size()) - 1 : m_current - 1);
}

void SearchBar::go(int index)
{
    if (!m_transcript || index < 0 || index >= m_hits.size())
        return;
    m_current = index;
    m_currentAt = QTextCursor(m_transcript->document());
    m_currentAt.setPosition(m_hits[index].position);
    paintHits();
    scrollTo(m_hits[index]);
}

void SearchBar::paintHits()
{
    lblCount->setText(countText());
    if (!m_transcript)
        return;
    QList<QTextEdit::ExtraSelection> marks;
    marks.reserve(m_hits.size());
    QTextDocument *doc = m_transcript->document();
    for (int i = 0; i < m_hits.size(); ++i) {
        QTextEdit::ExtraSelection mark;
        mark.cursor = QTextCursor(doc);
        mark.cursor.setPosition(m_hits[i].position);
        mark.cursor.setPosition(m_hits[i].position + m_hits[i].length, QTextCursor::KeepAnchor);
        mark.format.setBackground(i == m_current ? kCurrent : kHit);
        marks.append(mark);
    }
    m_transcript->setExtraSelections(marks);
}

void SearchBar::scrollTo(const TranscriptSearch::Hit &hit)
{
    QTextCursor at(m_transcript->document());
    at.setPosition(hit.position);
    const QRect where = m_transcript->cursorRect(at);
    const int height = m_transcript->viewport()->height();
    if (where.top() >= 0 && where.bottom() < height)
        return; // in view already: the reader's view stays put
    // The reader's selection stays as it is: only the view moves, to put
    // the hit in the middle.
    QScrollBar *bar = m_transcript->verticalScrollBar();
    bar->setValue(bar->value() + where.center().y() - height / 2);
    emit scrolledToHit();
}

bool SearchBar::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == field && event->type() == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(event);
        const bool shift = key->modifiers().testFlag(Qt::ShiftModifier);
        switch (key->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_F3:
            shift ? findPrevious() : findNext();
            return true;
        case Qt::Key_Escape:
            close();
            return true;
        default:
            break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace hchat
