#include "catalogue/cataloguecodec.h"

namespace hchat {

namespace {

constexpr int First = 32;
constexpr int Span = 95; // printable ASCII, 32..126
constexpr int Mul = 23;
constexpr int InverseMul = 62;
constexpr int Shift = 17;

QChar scramble(QChar ch)
{
    const int c = ch.unicode();
    if (c < First || c >= First + Span)
        return ch;
    return QChar(First + ((c - First) * Mul + Shift) % Span);
}

QChar unscramble(QChar ch)
{
    const int c = ch.unicode();
    if (c < First || c >= First + Span)
        return ch;
    const int shifted = ((c - First - Shift) % Span + Span) % Span;
    return QChar(First + (shifted * InverseMul) % Span);
}

} // namespace

const QByteArray CatalogueCodec::Signature = QByteArrayLiteral("HCHAT-CATALOGUE 1");

QString CatalogueCodec::encodeLine(const QString &plain)
{
    QString out = plain;
    for (QChar &ch : out)
        ch = scramble(ch);
    return out;
}

QString CatalogueCodec::decodeLine(const QString &stored)
{
    QString out = stored;
    for (QChar &ch : out)
        ch = unscramble(ch);
    return out;
}

QByteArray CatalogueCodec::encodeFile(const QStringList &plainLines)
{
    QByteArray out = Signature + '\n';
    for (const QString &line : plainLines) {
        out += encodeLine(line).toUtf8();
        out += '\n';
    }
    return out;
}

QStringList CatalogueCodec::splitLines(const QString &text)
{
    QStringList lines = text.split(u'\n');
    if (lines.constLast().isEmpty())
        lines.removeLast(); // the break after the last line does not start another
    for (QString &line : lines) {
        if (line.endsWith(u'\r'))
            line.chop(1);
    }
    return lines;
}

bool CatalogueCodec::decodeFile(const QByteArray &data, QStringList *lines)
{
    const qsizetype end = data.indexOf('\n');
    QByteArray first = end < 0 ? data : data.left(end);
    if (first.endsWith('\r'))
        first.chop(1);
    if (first != Signature)
        return false;
    QStringList stored = end < 0 ? QStringList() : splitPlain(data.mid(end + 1));
    for (QString &line : stored)
        line = decodeLine(line);
    *lines = std::move(stored);
    return true;
}

} // namespace hchat
