#pragma once

#include <QAbstractSlider>
#include <QTextCursor>
#include <QTextEdit>

class QMenu;
class QToolButton;

namespace hchat {

class SearchBar;

/// A transcript as the reader works with it: a read-only QTextEdit whose
/// web addresses are clickable (pointing cursor; linkActivated()), with a
/// context menu of Copy, Select All, Copy Link, Find and Clear, a search bar
/// (Ctrl+F), a "new messages" line where unread lines begin and a "jump to
/// newest" button while the view is not at the end.
class TranscriptEdit : public QTextEdit
{
    Q_OBJECT
public:
    explicit TranscriptEdit(QWidget *parent = nullptr);
    ~TranscriptEdit() override;

    /// The address of the link at a point of the viewport; empty when none.
    QString linkAt(const QPoint &viewportPos) const;

    /// True while the reader is elsewhere (the window is not active): lines
    /// added then are unread.
    void setReaderAway(bool away);
    /// The view shows the last line.
    bool isAtEnd() const;
    /// Around each line added at the end of the document: a line the reader
    /// does not see (away, or the view scrolled up) starts the unread part,
    /// unless an unread part the reader has not come back to yet starts
    /// earlier.
    void lineAppending();
    void lineAppended();
    /// The line where the unread part begins; invalid when there is none.
    QTextBlock unreadMarker() const;
    void clearUnreadMarker();

    /// Scrolls to the last line, as the reader asked to.
    void jumpToNewest();
    /// Scrolls by a keyboard action (page up or down, to the start or end),
    /// as the reader asked to.
    void scrollByReader(QAbstractSlider::SliderAction action);

    /// The search bar, made on first use.
    SearchBar *searchBar();
    /// Opens the search bar; with a text, that is searched for.
    void openSearch(const QString &text = QString());

    /// Copy, Select All, Copy Link (for the link at pos), Find, Clear; the
    /// caller may add its own commands and owns the menu.
    QMenu *createTranscriptMenu(const QPoint &viewportPos, QWidget *parent = nullptr);

    QToolButton *btnJump = nullptr; ///< "jump to newest"

signals:
    /// A link was clicked.
    void linkActivated(const QString &url);
    /// The Clear command.
    void clearRequested();
    /// The search bar closed: the focus goes back where the user types.
    void searchClosed();
    /// The reader moved the view (jump, keys, a search hit): whether the
    /// view follows the end is decided anew from where it is now.
    void readerScrolled(int scrollPixel);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    void placeOverlays();
    void updateJumpButton();
    void markSeen();

    bool m_away = false;
    int m_appendFrom = -1; ///< block number of the line being added
    bool m_appendUnseen = false;
    QTextCursor m_marker;     ///< at the first unread line
    int m_markerState = -1;   ///< that line's user state while it is marked
    bool m_markerSeen = true; ///< the reader has come back since it was set
    QString m_pressedLink;
    QPoint m_pressedAt;
    bool m_pointing = false;
    SearchBar *m_search = nullptr;
};

} // namespace hchat
