#include "platform/searchbar.h"
#include "platform/transcriptedit.h"
#include "transcript/textlinks.h"

#include <QAbstractTextDocumentLayout>
#include <QCheckBox>
#include <QClipboard>
#include <QLineEdit>
#include <QMenu>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTextBlock>
#include <QToolButton>
#include <QtTest>

using namespace hchat;

namespace {

// A line added as the renderer adds one, the view kept at the end when it was.
void append(TranscriptEdit &edit, const QString &text)
{
    const bool follow = edit.isAtEnd();
    edit.lineAppending();
    QTextCursor c(edit.document());
    c.movePosition(QTextCursor::End);
    if (!edit.document()->isEmpty())
        c.insertBlock();
    TextLinks::insert(c, text, QTextCharFormat());
    edit.lineAppended();
    if (follow)
        edit.verticalScrollBar()->setValue(edit.verticalScrollBar()->maximum());
}

QPoint pointOf(TranscriptEdit &edit, int position)
{
    QTextCursor c(edit.document());
    c.setPosition(position);
    return edit.cursorRect(c).center() + QPoint(2, 0);
}

} // namespace

class TstTranscriptEdit : public QObject
{
    Q_OBJECT
private slots:
    void linksOpenWithAClickOnly()
    {
        TranscriptEdit edit;
        edit.resize(400, 200);
        edit.show();
        QVERIFY(QTest::qWaitForWindowExposed(&edit));
        append(edit, "Bob:  see http://halvex.com/help now");
        QTextCursor c(edit.document());
        c.movePosition(QTextCursor::End);
        c.insertBlock();
        QTextCharFormat sneaky;
        sneaky.setAnchor(true);
        sneaky.setAnchorHref("file:///etc/passwd");
        c.insertText("not a web address", sneaky);

        QSignalSpy opened(&edit, &TranscriptEdit::linkActivated);
        const QString line = edit.document()->firstBlock().text();
        const QPoint onLink = pointOf(edit, int(line.indexOf("halvex")));
        const QPoint onText = pointOf(edit, 1);
        QCOMPARE(edit.linkAt(onLink), QStringLiteral("http://halvex.com/help"));
        QCOMPARE(edit.linkAt(onText), QString());

        QTest::mouseMove(edit.viewport(), onLink);
        QCOMPARE(edit.viewport()->cursor().shape(), Qt::PointingHandCursor);
        QTest::mouseMove(edit.viewport(), onText);
        QCOMPARE(edit.viewport()->cursor().shape(), Qt::IBeamCursor);

        QTest::mouseClick(edit.viewport(), Qt::LeftButton, {}, onText);
        QCOMPARE(opened.size(), 0);
        QTest::mouseClick(edit.viewport(), Qt::LeftButton, {}, onLink);
        QCOMPARE(opened.size(), 1);
        QCOMPARE(opened.at(0).at(0).toString(), QStringLiteral("http://halvex.com/help"));

        // Selecting across the link is not a click on it.
        QTest::mousePress(edit.viewport(), Qt::LeftButton, {}, onLink);
        QTest::mouseMove(edit.viewport(), onText);
        QTest::mouseRelease(edit.viewport(), Qt::LeftButton, {}, onText);
        QCOMPARE(opened.size(), 1);

        // Anchors of any other kind never open.
        const QPoint onSneaky = pointOf(edit, edit.document()->lastBlock().position() + 3);
        QCOMPARE(edit.linkAt(onSneaky), QString());
        QTest::mouseClick(edit.viewport(), Qt::LeftButton, {}, onSneaky);
        QCOMPARE(opened.size(), 1);

        // The context menu copies the link under the pointer.
        std::unique_ptr<QMenu> menu(edit.createTranscriptMenu(onLink));
        auto *copyLink = menu->findChild<QAction *>("mnuCopyLink");
        QVERIFY(copyLink && copyLink->isEnabled());
        QVERIFY(!menu->findChild<QAction *>("mnuCopy")->isEnabled()); // nothing selected
        copyLink->trigger();
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("http://halvex.com/help"));
        std::unique_ptr<QMenu> plain(edit.createTranscriptMenu(onText));
        QVERIFY(!plain->findChild<QAction *>("mnuCopyLink")->isEnabled());
        QSignalSpy cleared(&edit, &TranscriptEdit::clearRequested);
        plain->findChild<QAction *>("mnuClear")->trigger();
        QCOMPARE(cleared.size(), 1);
    }

    void marksWhereUnreadLinesBegin()
    {
        TranscriptEdit edit;
        edit.resize(400, 200);
        edit.show();
        QVERIFY(QTest::qWaitForWindowExposed(&edit));
        for (int i = 0; i < 40; ++i)
            append(edit, QString("read %1").arg(i));
        QVERIFY(!edit.unreadMarker().isValid()); // the reader saw each line come

        // The window loses the reader: the first line after that is marked.
        edit.setReaderAway(true);
        append(edit, "Bob:  first unread");
        append(edit, "Bob:  second unread");
        QCOMPARE(edit.unreadMarker().text(), QStringLiteral("Bob:  first unread"));

        // The reader sees a red line just above it.
        const int y = int(edit.document()->documentLayout()->blockBoundingRect(edit.unreadMarker()).top()) -
                      edit.verticalScrollBar()->value();
        const QImage seen = edit.viewport()->grab().toImage();
        QCOMPARE(seen.pixelColor(10, y), QColor(200, 30, 30));

        // Back and at the end: the mark stays until the next lines arrive
        // unseen, and then moves to them.
        edit.setReaderAway(false);
        append(edit, "Bob:  read at once");
        QCOMPARE(edit.unreadMarker().text(), QStringLiteral("Bob:  first unread"));
        edit.setReaderAway(true);
        append(edit, "Bob:  later");
        QCOMPARE(edit.unreadMarker().text(), QStringLiteral("Bob:  later"));

        // Scrolled up while here: new lines are unread too, and a button
        // leads to them.
        edit.setReaderAway(false);
        QVERIFY(edit.isAtEnd());
        QVERIFY(!edit.btnJump->isVisible());
        edit.scrollByReader(QAbstractSlider::SliderPageStepSub);
        QVERIFY(edit.btnJump->isVisible());
        append(edit, "Bob:  while you scrolled");
        QCOMPARE(edit.unreadMarker().text(), QStringLiteral("Bob:  while you scrolled"));
        QSignalSpy scrolled(&edit, &TranscriptEdit::readerScrolled);
        edit.btnJump->click();
        QVERIFY(edit.isAtEnd());
        QVERIFY(!edit.btnJump->isVisible());
        QCOMPARE(scrolled.size(), 1); // whoever keeps the view at the end hears of it

        append(edit, "Bob:  after it");
        // Trimming lines above keeps the mark on its line; trimming the
        // line itself takes the mark along.
        QTextCursor trim(edit.document());
        trim.setPosition(edit.document()->findBlockByNumber(10).position(), QTextCursor::KeepAnchor);
        trim.removeSelectedText();
        QCOMPARE(edit.unreadMarker().text(), QStringLiteral("Bob:  while you scrolled"));
        trim.movePosition(QTextCursor::Start);
        trim.setPosition(edit.unreadMarker().next().position(), QTextCursor::KeepAnchor);
        trim.removeSelectedText();
        QVERIFY(!edit.unreadMarker().isValid());
    }

    void searchBarFindsEveryHit()
    {
        TranscriptEdit edit;
        edit.resize(500, 200);
        edit.show();
        QVERIFY(QTest::qWaitForWindowExposed(&edit));
        for (int i = 0; i < 60; ++i)
            append(edit,
                   i % 10 == 0 ? QString("Bob:  line %1").arg(i) : QString("Carol:  bob? line %1").arg(i));
        QSignalSpy closed(&edit, &TranscriptEdit::searchClosed);

        edit.openSearch();
        SearchBar *bar = edit.searchBar();
        QVERIFY(bar->isVisible());
        QVERIFY(bar->field->hasFocus());
        // The bar does not cover the first visible line: the view makes room.
        QVERIFY(edit.viewport()->geometry().top() >= bar->geometry().bottom());

        QTest::keyClicks(bar->field, "BOB");
        QCOMPARE(bar->hits().size(), 60); // any case, by default
        QCOMPARE(edit.extraSelections().size(), 60);
        const int first = bar->current();
        QVERIFY(first >= 0);
        QCOMPARE(bar->countText(), QString("%1 of 60").arg(first + 1));

        QTest::keyClick(bar->field, Qt::Key_Return);
        QCOMPARE(bar->current(), (first + 1) % 60);
        QTest::keyClick(bar->field, Qt::Key_F3);
        QCOMPARE(bar->current(), (first + 2) % 60);
        QTest::keyClick(bar->field, Qt::Key_Return, Qt::ShiftModifier);
        QTest::keyClick(bar->field, Qt::Key_F3, Qt::ShiftModifier);
        QCOMPARE(bar->current(), first);
        // The current hit stands out from the others, and is in view.
        const auto marks = edit.extraSelections();
        QVERIFY(marks.at(first).format.background() != marks.at((first + 1) % 60).format.background());
        const QRect hitRect = edit.cursorRect(marks.at(first).cursor);
        QVERIFY(edit.viewport()->rect().contains(hitRect.center()));

        // Going to the first hit from the last wraps around.
        for (int i = bar->current(); i < 59; ++i)
            bar->findNext();
        QCOMPARE(bar->current(), 59);
        bar->findNext();
        QCOMPARE(bar->current(), 0);
        QVERIFY(
            edit.viewport()->rect().contains(edit.cursorRect(edit.extraSelections().at(0).cursor).center()));

        bar->matchCase->setChecked(true);
        QCOMPARE(bar->hits().size(), 0);
        bar->field->setText("Bob");
        QCOMPARE(bar->hits().size(), 6);

        // Lines arriving while the bar is open are searched too.
        append(edit, "Bob:  one more");
        QTRY_COMPARE(bar->hits().size(), 7);

        QTest::keyClick(bar->field, Qt::Key_Escape);
        QVERIFY(!bar->isVisible());
        QVERIFY(edit.extraSelections().isEmpty());
        QCOMPARE(closed.size(), 1);

        // Find from the context menu searches for what is selected.
        QTextCursor select(edit.document());
        select.setPosition(edit.document()->findBlockByNumber(3).position());
        select.movePosition(QTextCursor::NextWord, QTextCursor::KeepAnchor);
        edit.setTextCursor(select);
        std::unique_ptr<QMenu> menu(edit.createTranscriptMenu(QPoint(5, 5)));
        QVERIFY(menu->findChild<QAction *>("mnuCopy")->isEnabled());
        menu->findChild<QAction *>("mnuFind")->trigger();
        QCOMPARE(bar->field->text(), QStringLiteral("Carol"));
        QCOMPARE(bar->hits().size(), 54);
    }
};

QTEST_MAIN(TstTranscriptEdit)
#include "tst_transcriptedit.moc"
