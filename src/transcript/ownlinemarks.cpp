#include "transcript/ownlinemarks.h"

#include "protocol/wirelimits.h"

#include <QColor>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextDocumentFragment>

namespace hchat {

namespace {

// Set on the mark's characters, so that the mark alone is taken off again.
constexpr int markProperty = QTextFormat::UserProperty + 17;
// The server's number of a line, on its block.
constexpr int lineProperty = QTextFormat::UserProperty + 18;
// How many blocks an own line of several lines takes, on its last block.
constexpr int blocksProperty = QTextFormat::UserProperty + 19;
// A transcript keeps about 1,300 lines: a line further back is gone.
constexpr int searchLimit = 4000;

QTextBlock findLine(const QTextDocument *doc, quint32 number)
{
    int looked = 0;
    for (QTextBlock b = doc->lastBlock(); b.isValid() && looked < searchLimit; b = b.previous(), ++looked)
        if (b.userState() == int(number))
            return b;
    return {};
}

void setBlockProperty(const QTextBlock &block, int property, const QVariant &value)
{
    QTextBlockFormat f = block.blockFormat();
    f.setProperty(property, value);
    QTextCursor(block).setBlockFormat(f);
}

// Where the mark starts in the block; the block's end when it has none.
int markStart(const QTextBlock &block)
{
    for (auto it = block.begin(); !it.atEnd(); ++it)
        if (it.fragment().charFormat().hasProperty(markProperty))
            return it.fragment().position();
    return block.position() + block.length() - 1;
}

void setMark(QTextDocument *doc, const QTextBlock &block, OwnLineState state, const QString &reason)
{
    QTextCursor c(doc);
    c.setPosition(markStart(block));
    c.setPosition(block.position() + block.length() - 1, QTextCursor::KeepAnchor);
    c.removeSelectedText();
    const QString t = OwnLineMarks::text(state, reason);
    if (t.isEmpty())
        return;
    QTextCharFormat f;
    f.setProperty(markProperty, true);
    f.setForeground(state == OwnLineState::Pending ? QColor(0x80, 0x80, 0x80) : QColor(0xC0, 0, 0));
    f.setFontItalic(true);
    c.insertText(t, f);
}

} // namespace

QString OwnLineMarks::text(OwnLineState state, const QString &reason)
{
    switch (state) {
    case OwnLineState::Pending:
        return QStringLiteral("  (sending)");
    case OwnLineState::NotDelivered:
        return reason.isEmpty() ? QStringLiteral("  (not delivered)")
                                : QStringLiteral("  (not delivered: %1)").arg(reason);
    case OwnLineState::Delivered:
        break;
    }
    return {};
}

void OwnLineMarks::markLast(QTextDocument *doc, quint32 number, int blocks)
{
    QTextBlock last = doc->lastBlock();
    last.setUserState(int(number));
    if (blocks > 1)
        setBlockProperty(last, blocksProperty, blocks);
    setMark(doc, last, OwnLineState::Pending, {});
}

bool OwnLineMarks::mark(QTextDocument *doc, quint32 number, OwnLineState state, const QString &reason)
{
    const QTextBlock b = findLine(doc, number);
    if (!b.isValid())
        return false;
    setMark(doc, b, state, reason);
    return true;
}

void OwnLineMarks::numberLast(QTextDocument *doc, quint32 line)
{
    setBlockProperty(doc->lastBlock(), lineProperty, line);
}

bool OwnLineMarks::place(QTextDocument *doc, quint32 number, quint32 line)
{
    QTextBlock own = findLine(doc, number);
    if (!own.isValid())
        return false;
    // Line numbers wrap after WireLimits::maxNumber: "before" is within half of it.
    const auto before = [line](quint32 n) {
        const qint64 d = (qint64(n) - qint64(line) + WireLimits::maxNumber) % WireLimits::maxNumber;
        return d > WireLimits::maxNumber / 2;
    };
    QTextBlock after;
    for (QTextBlock b = own.next(); b.isValid(); b = b.next()) {
        const quint32 n = b.blockFormat().property(lineProperty).toUInt();
        if (n != 0 && before(n))
            after = b;
    }
    if (!after.isValid()) {
        setBlockProperty(own, lineProperty, line);
        return false;
    }
    QTextBlock start = own;
    for (int n = own.blockFormat().intProperty(blocksProperty); n > 1 && start.previous().isValid(); --n)
        start = start.previous();
    QTextCursor c(doc);
    c.beginEditBlock();
    c.setPosition(start.position());
    c.setPosition(own.position() + own.length() - 1, QTextCursor::KeepAnchor);
    const QTextDocumentFragment text = c.selection();
    const QTextBlockFormat firstFormat = start.blockFormat();
    QTextBlockFormat format = own.blockFormat();
    format.setProperty(lineProperty, line);
    // The own line and the break after it go; it comes back after `after`.
    c.setPosition(own.next().position(), QTextCursor::KeepAnchor);
    c.removeSelectedText();
    c.setPosition(after.position() + after.length() - 1);
    c.insertBlock(firstFormat);
    c.insertFragment(text);
    c.setBlockFormat(format);
    c.block().setUserState(int(number));
    c.endEditBlock();
    return true;
}

QString OwnLineMarks::markOf(const QTextDocument *doc, quint32 number)
{
    const QTextBlock b = findLine(doc, number);
    if (!b.isValid())
        return {};
    const int start = markStart(b) - b.position();
    return b.text().mid(start);
}

} // namespace hchat
