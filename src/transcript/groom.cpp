#include "transcript/groom.h"

#include "catalogue/cataloguetext.h"

#include <QStringList>

namespace hchat {

namespace {

// Staff first names that Groom capitalises; the program's own list.
const char *const kStaffNames[] = {"annika", "bertil", "corwin",  "dagny",  "elsbeth",
                                   "fenna",  "gideon", "halvard", "ingrid", "joakim"};

// Replaces every occurrence of `from` by `to`, one at a time from the left.
// `to` differs from `from` only in case, so the search always ends.
void replaceAll(QString &s, const QString &from, const QString &to)
{
    qsizetype i = 0;
    while ((i = s.indexOf(from, i)) >= 0) {
        s.replace(i, from.size(), to);
        i += 1; // the next blank may start another occurrence (" i i ")
    }
}

QString cleanNick(QString nick, const GroomNickInput &in)
{
    if (!in.staffMode) {
        while (!nick.isEmpty() && !nick.at(0).isLetter() && nick.at(0) != QLatin1Char('@'))
            nick.remove(0, 1);
        const QString upper = nick.toUpper();
        for (int n : {509, 510}) {
            const QString reserved = in.text ? in.text(n).toUpper() : QString();
            if (!reserved.isEmpty() && upper.contains(reserved))
                nick.clear();
        }
    }
    return nick;
}

} // namespace

QString Groom(const QString &text)
{
    QString s = text;
    replaceAll(s, QStringLiteral(" i "), QStringLiteral(" I "));
    replaceAll(s, QStringLiteral(" halvex "), QStringLiteral(" Halvex "));
    for (const char *name : kStaffNames) {
        const QString lower = QLatin1Char(' ') + QLatin1String(name);
        QString upper = lower;
        upper[1] = upper.at(1).toUpper();
        replaceAll(s, lower, upper);
    }
    return s;
}

QString GroomMessage(const QString &text)
{
    QString s = text;
    s.replace(QLatin1String("\r\n"), QLatin1String("||"));
    // A lone break would end the record early on the wire: those go too.
    s.replace(QLatin1Char('\r'), QLatin1String("||"));
    s.replace(QLatin1Char('\n'), QLatin1String("||"));
    s.replace(QChar::ParagraphSeparator, QLatin1String("||"));
    s.replace(QChar::LineSeparator, QLatin1String("||"));
    return s;
}

QString GroomNick(const QString &nick, const GroomNickInput &in)
{
    const auto text = [&](int n) { return in.text ? in.text(n) : QString(); };
    QString result = cleanNick(nick, in);
    if (!result.isEmpty())
        return result;
    if (in.staffMode)
        return text(CatalogueText::StaffDefaultNick);
    const QString guest = text(CatalogueText::Staff5);
    // The desk's guest name is ours to give: it is used as it stands, even
    // though it holds a word that a typed nick may not.
    if (!guest.isEmpty() && in.registeredName == guest)
        return text(CatalogueText::DeskDefaultNick);
    // Ask again while the answer cleans to nothing; a cancel ends it.
    for (int tries = 0; tries < 5 && in.ask; ++tries) {
        const QString answer =
            in.ask(text(CatalogueText::NickCaption), text(CatalogueText::NickPrompt), in.storedName);
        if (answer.trimmed().isEmpty())
            break;
        result = cleanNick(answer, in);
        if (!result.isEmpty())
            break;
    }
    return result;
}

} // namespace hchat
