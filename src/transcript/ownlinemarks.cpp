#include "transcript/ownlinemarks.h"

#include <QColor>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

namespace hchat {

namespace {

// Set on the mark's characters, so that the mark alone is taken off again.
constexpr int markProperty = QTextFormat::UserProperty + 17;
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

void OwnLineMarks::markLast(QTextDocument *doc, quint32 number)
{
    QTextBlock last = doc->lastBlock();
    last.setUserState(int(number));
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

QString OwnLineMarks::markOf(const QTextDocument *doc, quint32 number)
{
    const QTextBlock b = findLine(doc, number);
    if (!b.isValid())
        return {};
    const int start = markStart(b) - b.position();
    return b.text().mid(start);
}

} // namespace hchat
