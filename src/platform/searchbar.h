#pragma once

#include "transcript/transcriptsearch.h"

#include <QPointer>
#include <QTextCursor>
#include <QWidget>

class QCheckBox;
class QLabel;
class QLineEdit;
class QTextEdit;
class QTimer;
class QToolButton;

namespace hchat {

/// The search bar over a transcript: every hit highlighted, the current one
/// in a stronger colour and scrolled into view; Enter and F3 go to the next
/// hit, Shift+Enter and Shift+F3 to the previous one, Escape closes the bar.
/// Case is ignored unless "Match case" is ticked. Lines arriving while the
/// bar is open are searched too.
class SearchBar : public QWidget
{
    Q_OBJECT
public:
    explicit SearchBar(QTextEdit *transcript, QWidget *parent = nullptr);

    /// Shows the bar with the focus in its field; a non-empty text replaces
    /// what the field held.
    void open(const QString &text = QString());
    /// Hides the bar and its highlights; emits closed().
    void close();

    void findNext();
    void findPrevious();

    const QList<TranscriptSearch::Hit> &hits() const { return m_hits; }
    /// Index of the current hit; -1 when there is none.
    int current() const { return m_current; }
    /// "3 of 12", "No hits", or empty while the field is empty.
    QString countText() const;

    QLineEdit *field = nullptr;
    QCheckBox *matchCase = nullptr;
    QToolButton *btnPrevious = nullptr;
    QToolButton *btnNext = nullptr;
    QToolButton *btnClose = nullptr;
    QLabel *lblCount = nullptr;

signals:
    /// The bar was closed (Escape, its button or close()).
    void closed();
    /// The view moved to show a hit: the reader's move, not the program's.
    void scrolledToHit();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void search(bool fromView);
    void go(int index);
    void paintHits();
    void scrollTo(const TranscriptSearch::Hit &hit);
    Qt::CaseSensitivity caseSensitivity() const;

    QPointer<QTextEdit> m_transcript;
    QList<TranscriptSearch::Hit> m_hits;
    int m_current = -1;
    QTextCursor m_currentAt; ///< follows the current hit through new and trimmed lines
    QTimer *m_refresh = nullptr;
};

} // namespace hchat
