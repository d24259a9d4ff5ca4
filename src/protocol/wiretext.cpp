#include "protocol/wiretext.h"

#include "protocol/codec.h"
#include "protocol/wirelimits.h"

#include <cstring>

namespace hchat {

QString decodeWireLine(const char *data, qsizetype size)
{
    // Nearly every line is plain ASCII: skip the validation for those.
    const auto *p = reinterpret_cast<const unsigned char *>(data);
    qsizetype i = 0;
    // Eight bytes at a time while no high bit is set.
    while (i + 8 <= size) {
        quint64 word;
        std::memcpy(&word, p + i, 8);
        if (word & 0x8080808080808080ull)
            break;
        i += 8;
    }
    while (i < size && p[i] < 0x80)
        ++i;
    if (i == size)
        return QString::fromLatin1(data, size);
    // Well-formed UTF-8 only: no overlongs, no surrogates, nothing above U+10FFFF.
    if (QByteArrayView(data + i, size - i).isValidUtf8())
        return QString::fromUtf8(data, size);
    return QString::fromLatin1(data, size);
}

namespace {

bool isLineBreak(QChar c)
{
    return c == u'\r' || c == u'\n' || c == QChar::LineSeparator || c == QChar::ParagraphSeparator;
}

// A closing tag the codec would read: "/", one field name (A to Z or "#",
// exact case) and ">", starting at `i`.
bool closingTagAt(QStringView text, qsizetype i)
{
    if (i + 3 > text.size() || text[i] != u'/' || text[i + 2] != u'>')
        return false;
    const QChar name = text[i + 1];
    return (name >= u'A' && name <= u'Z') || name == u'#';
}

// Past the run of backslashes that starts at `i`.
qsizetype skipBackslashes(QStringView text, qsizetype i)
{
    while (i < text.size() && text[i] == u'\\')
        ++i;
    return i;
}

} // namespace

QString encodeText(QStringView text)
{
    QString out;
    out.reserve(text.size() + 8);
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text[i];
        if (isLineBreak(c)) {
            if (c == u'\r' && i + 1 < n && text[i + 1] == u'\n')
                ++i;
            out += QLatin1String("||");
            continue;
        }
        out += c;
        // "|" or "<", then backslashes (none or more), then what would read as
        // a line break or a closing tag: one more backslash. A typed escape
        // gains one too, so the reader can take exactly one away.
        if (c != u'|' && c != u'<')
            continue;
        const qsizetype j = skipBackslashes(text, i + 1);
        if (c == u'|' ? (j < n && (text[j] == u'|' || isLineBreak(text[j]))) : closingTagAt(text, j))
            out += u'\\';
    }
    return out;
}

QString decodeText(const QString &value)
{
    if (!value.contains(u'\\'))
        return value;
    QString out;
    out.reserve(value.size());
    const qsizetype n = value.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = value[i];
        out += c;
        if ((c != u'|' && c != u'<') || i + 1 >= n || value[i + 1] != u'\\')
            continue;
        // GetS has turned the "||" of a line break into CR LF already.
        const qsizetype j = skipBackslashes(value, i + 1);
        if (c == u'|' ? (j < n && (value[j] == u'|' || value[j] == u'\r')) : closingTagAt(value, j))
            ++i;
    }
    return out;
}

QString AddText(const QString &text, char name)
{
    return AddS(encodeText(text), name);
}

QString GetText(const QString &record, char name)
{
    return decodeText(GetS(record, name));
}

QString stripFieldTags(const QString &value)
{
    if (!value.contains(u'>'))
        return value;
    // The text kept so far never holds a tag; a tag can only appear where a
    // ">" is added, at its end, and then it goes at once.
    QString out;
    out.reserve(value.size());
    auto fieldName = [](QChar c) { return c != u'<' && c != u'>'; };
    for (const QChar c : value) {
        out += c;
        if (c != u'>')
            continue;
        const qsizetype n = out.size();
        if (n >= 4 && out[n - 4] == u'<' && out[n - 3] == u'/' && fieldName(out[n - 2]))
            out.chop(4);
        else if (n >= 3 && out[n - 3] == u'<' && fieldName(out[n - 2]))
            out.chop(3);
    }
    return out;
}

QString cleanNick(const QString &nick)
{
    QString out;
    out.reserve(nick.size());
    for (const QChar c : nick) {
        if (c == u'<' || c == u'>' || c.category() == QChar::Other_Control || isLineBreak(c))
            continue;
        if (c == u'|' && out.endsWith(u'|'))
            continue;
        out += c;
    }
    return out.trimmed().left(WireLimits::maxNickChars).trimmed();
}

} // namespace hchat
