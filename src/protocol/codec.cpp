#include "protocol/codec.h"

#include <limits>

namespace hchat {

namespace {

struct FieldSpan {
    qsizetype open = -1;  // start of "<X>"
    qsizetype close = -1; // start of "</X>"
    qsizetype nameLength = 0;
    bool valid() const { return open >= 0 && close >= 0 && open + nameLength + 2 <= close; }
    qsizetype valueStart() const { return open + nameLength + 2; }
};

FieldSpan findField(const QString &record, const QString &name)
{
    FieldSpan s;
    s.nameLength = name.size();
    if (name.isEmpty())
        return s;
    // Build the tags on the stack: this runs for every field of every datagram.
    QString openTag;
    openTag.reserve(name.size() + 2);
    openTag += u'<';
    openTag += name;
    openTag += u'>';
    QString closeTag;
    closeTag.reserve(name.size() + 3);
    closeTag += u"</";
    closeTag += name;
    closeTag += u'>';
    s.open = record.indexOf(openTag);
    s.close = record.indexOf(closeTag);
    return s;
}

} // namespace

QString AddS(const QString &value, const QString &name)
{
    if (value.isEmpty())
        return {};
    QString out;
    out.reserve(value.size() + 2 * name.size() + 5);
    out += u'<';
    out += name;
    out += u'>';
    out += value;
    out += u"</";
    out += name;
    out += u'>';
    return out;
}

QString AddI(qint64 value, const QString &name)
{
    return AddS(QString::number(value), name);
}

QString GetS(const QString &record, const QString &name)
{
    const FieldSpan s = findField(record, name);
    // A closing tag without its opening tag yields nothing: never take text
    // from the start of the record.
    if (!s.valid())
        return {};
    QString value = record.mid(s.valueStart(), s.close - s.valueStart());
    if (value.contains(QLatin1String("||")))
        value.replace(QLatin1String("||"), QLatin1String("\r\n"));
    return value;
}

int toIntOrZero(QStringView text)
{
    if (text.isEmpty() || text.size() > 12)
        return 0;
    qsizetype i = 0;
    bool negative = false;
    if (text[0] == u'-' || text[0] == u'+') {
        negative = text[0] == u'-';
        i = 1;
        if (text.size() == 1)
            return 0;
    }
    qint64 v = 0;
    for (; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9')
            return 0;
        v = v * 10 + (c - u'0');
    }
    if (negative)
        v = -v;
    if (v > std::numeric_limits<int>::max() || v < std::numeric_limits<int>::min())
        return 0;
    return static_cast<int>(v);
}

int GetI(const QString &record, const QString &name)
{
    const FieldSpan s = findField(record, name);
    if (!s.valid())
        return 0;
    return toIntOrZero(QStringView(record).mid(s.valueStart(), s.close - s.valueStart()));
}

QString KillS(const QString &record, const QString &name)
{
    const FieldSpan s = findField(record, name);
    if (!s.valid())
        return record;
    const qsizetype end = s.close + s.nameLength + 3;
    return record.left(s.open) + record.mid(end);
}

} // namespace hchat
