#include "catalogue/dateformat.h"

#include <QLocale>

namespace hchat {

namespace {

QString num(int value, int width)
{
    return QStringLiteral("%1").arg(value, width, 10, QLatin1Char('0'));
}

// Whether the format asks for the 12-hour clock: an am/pm marker anywhere
// outside quoted text.
bool wantsTwelveHour(const QString &format)
{
    QString bare;
    QChar quote;
    for (QChar ch : format) {
        if (!quote.isNull()) {
            if (ch == quote)
                quote = QChar();
            continue;
        }
        if (ch == u'"' || ch == u'\'') {
            quote = ch;
            continue;
        }
        bare += ch.toLower();
    }
    return bare.contains(QLatin1String("am/pm")) || bare.contains(QLatin1String("a/p")) ||
           bare.contains(QLatin1String("ampm"));
}

int runLength(const QString &format, qsizetype at)
{
    const QChar letter = format.at(at).toLower();
    int n = 0;
    while (at + n < format.size() && format.at(at + n).toLower() == letter)
        ++n;
    return n;
}

} // namespace

QString FormatDateTime(const QString &format, const QDateTime &t)
{
    const QDate date = t.date();
    const QTime time = t.time();
    const bool twelve = wantsTwelveHour(format);
    QString out;
    QChar last; // the previous date or time letter: decides what "m" means
    qsizetype i = 0;
    while (i < format.size()) {
        const QChar ch = format.at(i);
        const QChar lower = ch.toLower();
        if (ch == u'"' || ch == u'\'') {
            const qsizetype end = format.indexOf(ch, i + 1);
            const qsizetype stop = end < 0 ? format.size() : end;
            out += format.mid(i + 1, stop - i - 1);
            i = stop + 1;
            continue;
        }
        if (lower == u'a') {
            const bool pm = time.hour() >= 12;
            if (format.mid(i, 5).compare(QLatin1String("am/pm"), Qt::CaseInsensitive) == 0) {
                out += format.mid(pm ? i + 3 : i, 2);
                i += 5;
            } else if (format.mid(i, 3).compare(QLatin1String("a/p"), Qt::CaseInsensitive) == 0) {
                out += format.at(pm ? i + 2 : i);
                i += 3;
            } else if (format.mid(i, 4).compare(QLatin1String("ampm"), Qt::CaseInsensitive) == 0) {
                out += pm ? QStringLiteral("PM") : QStringLiteral("AM");
                i += 4;
            } else {
                out += ch;
                ++i;
            }
            continue;
        }
        if (lower == u'c') {
            out += FormatDateTime(QStringLiteral("m/d/yyyy h:nn:ss"), t);
            ++i;
            continue;
        }
        if (lower != u'd' && lower != u'm' && lower != u'y' && lower != u'h' && lower != u'n' &&
            lower != u's' && lower != u'z' && lower != u't') {
            out += ch;
            ++i;
            continue;
        }
        const int n = runLength(format, i);
        i += n;
        // Names in English whatever the system's language (the C locale's);
        // an invalid date has none.
        const auto names = n == 3 ? QLocale::ShortFormat : QLocale::LongFormat;
        if (lower == u'd') {
            if (n == 1 || n == 2)
                out += num(date.day(), n);
            else if (n == 3 || n == 4)
                out += QLocale::c().dayName(date.dayOfWeek(), names);
            else if (n == 5)
                out += FormatDateTime(QStringLiteral("m/d/yyyy"), t);
            else
                out += FormatDateTime(QStringLiteral("dddd, mmmm d, yyyy"), t);
        } else if (lower == u'm') {
            if (last == u'h' && n <= 2)
                out += num(time.minute(), n);
            else if (n <= 2)
                out += num(date.month(), n);
            else
                out += QLocale::c().monthName(date.month(), names);
        } else if (lower == u'y') {
            out += n <= 2 ? num(date.year() % 100, 2) : num(date.year(), 4);
        } else if (lower == u'h') {
            int hour = time.hour();
            if (twelve) {
                hour %= 12;
                if (hour == 0)
                    hour = 12;
            }
            out += num(hour, n >= 2 ? 2 : 1);
        } else if (lower == u'n') {
            out += num(time.minute(), n >= 2 ? 2 : 1);
        } else if (lower == u's') {
            out += num(time.second(), n >= 2 ? 2 : 1);
        } else if (lower == u'z') {
            out += num(time.msec(), n >= 3 ? 3 : 1);
        } else { // t, tt
            out += FormatDateTime(n == 1 ? QStringLiteral("h:nn") : QStringLiteral("h:nn:ss"), t);
        }
        last = lower;
    }
    return out;
}

} // namespace hchat
