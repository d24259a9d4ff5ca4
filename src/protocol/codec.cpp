#include "protocol/codec.h"

#include "protocol/field.h"

#include <QLatin1StringView>

#include <limits>
#include <type_traits>

namespace hchat {

namespace {

struct FieldSpan {
    qsizetype open = -1;  // start of "<X>"
    qsizetype close = -1; // start of "</X>"
    bool valid() const { return open >= 0 && close >= 0 && open + 3 <= close; }
    qsizetype valueStart() const { return open + 3; }
    qsizetype end() const { return close + 4; }
};

FieldSpan findField(QStringView record, char name)
{
    // The tags live on the stack: this runs for every field of every datagram.
    const char open[3] = {'<', name, '>'};
    const char close[4] = {'<', '/', name, '>'};
    FieldSpan s;
    s.open = record.indexOf(QLatin1StringView(open, 3));
    s.close = record.indexOf(QLatin1StringView(close, 4));
    return s;
}

// Field names are one ASCII character: the overloads by name read it so,
// and a longer name (none is) names no field.
char letter(const QString &name)
{
    return name.size() == 1 && name[0].unicode() < 0x80 ? char(name[0].unicode()) : '\0';
}

QString valueOf(const QString &record, const FieldSpan &s)
{
    // A closing tag without its opening tag yields nothing: never take text
    // from the start of the record.
    if (!s.valid())
        return {};
    QString value = record.mid(s.valueStart(), s.close - s.valueStart());
    if (value.contains(QLatin1String("||")))
        value.replace(QLatin1String("||"), QLatin1String("\r\n"));
    return value;
}

template <typename Chars> bool readWhole(const Chars &text, qint64 *out)
{
    if (text.isEmpty())
        return false;
    qsizetype i = 0;
    bool negative = false;
    const auto at = [&text](qsizetype n) -> char16_t {
        if constexpr (std::is_same_v<Chars, QByteArrayView>)
            return char16_t(quint8(text[n]));
        else
            return text[n].unicode();
    };
    if (at(0) == u'-' || at(0) == u'+') {
        negative = at(0) == u'-';
        i = 1;
        if (text.size() == 1)
            return false;
    }
    qint64 v = 0;
    for (; i < text.size(); ++i) {
        const char16_t c = at(i);
        if (c < u'0' || c > u'9')
            return false;
        v = v * 10 + (c - u'0');
        // Past the int range already: leading zeros may make a long text, a
        // long run of digits must not overflow the sum.
        if (v > qint64(std::numeric_limits<int>::max()) + 1)
            return false;
    }
    if (negative)
        v = -v;
    if (v > std::numeric_limits<int>::max() || v < std::numeric_limits<int>::min())
        return false;
    *out = v;
    return true;
}

} // namespace

QString AddS(const QString &value, char name)
{
    if (value.isEmpty())
        return {};
    QString out;
    out.reserve(value.size() + 7);
    out += u'<';
    out += QLatin1Char(name);
    out += u'>';
    out += value;
    out += u"</";
    out += QLatin1Char(name);
    out += u'>';
    return out;
}

QString AddS(const QString &value, const QString &name)
{
    const char c = letter(name);
    return c ? AddS(value, c) : QString();
}

QString AddI(qint64 value, const QString &name)
{
    return AddS(QString::number(value), name);
}

QString AddI(qint64 value, char name)
{
    return AddS(QString::number(value), name);
}

QString AddKind(RecordKind kind)
{
    return AddI(kindNumber(kind), 'R');
}

QString GetS(const QString &record, const QString &name)
{
    const char c = letter(name);
    return c ? GetS(record, c) : QString();
}

QString GetS(const QString &record, char name)
{
    return valueOf(record, findField(record, name));
}

bool HasField(const QString &record, char name)
{
    return findField(record, name).valid();
}

int toIntOrZero(QStringView text)
{
    qint64 v = 0;
    return readWhole(text, &v) ? int(v) : 0;
}

int toIntOrZero(QByteArrayView text)
{
    qint64 v = 0;
    return readWhole(text, &v) ? int(v) : 0;
}

bool readInt(QByteArrayView text, int *value)
{
    qint64 v = 0;
    if (!readWhole(text, &v))
        return false;
    *value = int(v);
    return true;
}

int GetI(const QString &record, const QString &name)
{
    const char c = letter(name);
    return c ? GetI(record, c) : 0;
}

int GetI(const QString &record, char name)
{
    const FieldSpan s = findField(record, name);
    if (!s.valid())
        return 0;
    return toIntOrZero(QStringView(record).mid(s.valueStart(), s.close - s.valueStart()));
}

QString KillS(const QString &record, char name)
{
    const FieldSpan s = findField(record, name);
    if (!s.valid())
        return record;
    return record.left(s.open) + record.mid(s.end());
}

QString KillS(const QString &record, const QString &name)
{
    const char c = letter(name);
    return c ? KillS(record, c) : record;
}

QString hidePasswords(const QString &text)
{
    QString out = text;
    for (const char name : {Field::AdminPassword, Field::AccessPassword}) {
        const QString open = QStringLiteral("<%1>").arg(QLatin1Char(name));
        const QString close = QStringLiteral("</%1>").arg(QLatin1Char(name));
        for (qsizetype o = out.indexOf(open); o >= 0; o = out.indexOf(open, o + open.size())) {
            const qsizetype from = o + open.size();
            qsizetype to = out.indexOf(close, from);
            const qsizetype lineEnd = out.indexOf(u'\n', from);
            if (to < 0 || (lineEnd >= 0 && lineEnd < to))
                to = lineEnd < 0 ? out.size() : lineEnd;
            out.replace(from, to - from, QStringLiteral("***"));
        }
    }
    return out;
}

QByteArrayView fieldBytes(QByteArrayView line, char name)
{
    const char open[3] = {'<', name, '>'};
    const char close[4] = {'<', '/', name, '>'};
    const qsizetype o = line.indexOf(QByteArrayView(open, 3));
    const qsizetype c = line.indexOf(QByteArrayView(close, 4));
    if (o < 0 || c < 0 || o + 3 > c)
        return {};
    return line.sliced(o + 3, c - o - 3);
}

} // namespace hchat
