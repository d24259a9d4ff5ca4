#include "upgrade/upgradelisting.h"

#include "catalogue/cataloguecodec.h"
#include "catalogue/dateformat.h"

#include <QStringList>

namespace hchat {

namespace {
// A name line of the listing: the name ends at the line's end or at a blank,
// so "hchat" does not pick up the entry of "hchat-server".
bool namesFile(const QString &line, const QString &name)
{
    const QString head = QStringLiteral("file=") + name;
    if (!line.startsWith(head))
        return false;
    return line.size() == head.size() || line.at(head.size()).isSpace();
}

qint64 floorDiv(qint64 a, qint64 b)
{
    const qint64 q = a / b;
    return (a % b != 0 && ((a < 0) != (b < 0))) ? q - 1 : q;
}
} // namespace

QDate UpgradeListing::dayOf(qint64 unixSeconds)
{
    // Split first so that the five-hour shift cannot overflow at the ends of the range.
    constexpr qint64 day = 86400;
    const qint64 days = unixSeconds / day + floorDiv(unixSeconds % day - 5 * 3600, day);
    return QDate(1970, 1, 1).addDays(days);
}

UpgradeListing UpgradeListing::PostDates(const QString &listing, const QString &programFile)
{
    UpgradeListing result;
    const QStringList lines = CatalogueCodec::splitLines(listing);
    qsizetype at = -1;
    for (qsizetype i = 0; i < lines.size() && !programFile.isEmpty(); ++i) {
        if (namesFile(lines.at(i), programFile)) {
            at = i;
            break;
        }
    }
    if (at < 0 || at + 2 >= lines.size() || !lines.at(at + 2).startsWith(QLatin1String("mtime=")))
        return result;
    bool ok = false;
    const qint64 seconds = lines.at(at + 2).mid(6, 20).trimmed().toLongLong(&ok);
    const QDate date = ok ? dayOf(seconds) : QDate();
    if (!date.isValid())
        return result;
    result.found = true;
    result.date = date;
    QString size;
    for (qsizetype i = at + 1; i < lines.size() && !lines.at(i).startsWith(QLatin1String("file=")); ++i) {
        const QString &l = lines.at(i);
        if (l.startsWith(QLatin1String("sha256=")) && result.sha256.isEmpty())
            result.sha256 = l.mid(7).trimmed().toLower().toLatin1();
        else if (l.startsWith(QLatin1String("size=")) && size.isEmpty())
            size = l.mid(5).trimmed();
        else if (l.startsWith(QLatin1String("sig=")) && result.signature.isEmpty())
            result.signature = QByteArray::fromHex(l.mid(4).trimmed().toLatin1());
    }
    bool sizeOk = false;
    result.size = size.toLongLong(&sizeOk);
    if (!sizeOk || result.size < 0)
        result.size = -1;
    // What the site's key signs: the entry as the site lists it, in one order.
    result.signedText = (QStringLiteral("file=%1\nsize=%2\nmtime=%3\nsha256=%4\n")
                             .arg(programFile, QString::number(result.size), QString::number(seconds),
                                  QString::fromLatin1(result.sha256)))
                            .toUtf8();
    return result;
}

QString UpgradeListing::caption() const
{
    return QStringLiteral("Upgrade to version ") + FormatDateTime(QStringLiteral("mmm d"), date.startOfDay());
}

} // namespace hchat
