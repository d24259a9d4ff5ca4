#include "transcript/keywordrules.h"

#include <QDir>

namespace hchat {

std::optional<KeywordRules::Match> KeywordRules::find(const QString &line, const QStringList &keywords,
                                                      const QString &defaultSound)
{
    const QString hay = line.toLower();
    for (const QString &entry : keywords) {
        const QString k = entry.toLower();
        // The first separator of either kind splits the line, so a sound name
        // may itself hold the other character.
        const qsizetype bar = k.indexOf(QLatin1Char('|'));
        const qsizetype eq = k.indexOf(QLatin1Char('='));
        qsizetype sep = bar < 0 ? eq : (eq < 0 ? bar : qMin(bar, eq));
        const QString word = sep < 0 ? k : k.left(sep);
        if (word.isEmpty() || !hay.contains(word))
            continue;
        // The word is matched in lower case; the sound keeps its case, file
        // names are case-sensitive here.
        if (sep < 0)
            return Match{word, defaultSound};
        const QString sound = entry.mid(sep + 1);
        return Match{word, sound.compare(QLatin1String("read"), Qt::CaseInsensitive) == 0
                               ? QStringLiteral("read")
                               : sound};
    }
    return std::nullopt;
}

KeywordRules::Spans KeywordRules::occurrences(const QString &line, const QString &word)
{
    Spans spans;
    if (word.isEmpty())
        return spans;
    for (qsizetype at = line.indexOf(word, 0, Qt::CaseInsensitive); at >= 0;
         at = line.indexOf(word, at + word.size(), Qt::CaseInsensitive))
        spans.append({int(at), int(word.size())});
    return spans;
}

KeywordRules::Spans KeywordRules::nickMentions(const QString &line, const QString &nick)
{
    Spans spans;
    const QString name = nick.trimmed();
    if (name.isEmpty())
        return spans;
    // The speaker's own nick starts the line: only what is said counts.
    const qsizetype said = line.indexOf(QLatin1String(":  "));
    const int from = said < 0 ? 0 : int(said) + 3;
    const auto wordChar = [](QChar c) { return c.isLetterOrNumber() || c == u'_'; };
    for (const auto &[at, length] : occurrences(line.mid(from), name)) {
        const int start = from + at;
        const int end = start + length;
        // "Bob" is not named in "Bobby", nor in "eBob".
        if ((start > 0 && wordChar(line.at(start - 1))) || (end < line.size() && wordChar(line.at(end))))
            continue;
        spans.append({start, length});
    }
    return spans;
}

QString KeywordRules::soundPath(const QString &sound, const QString &programFolder)
{
    if (sound.isEmpty() || sound.contains(QLatin1Char(':')) || sound.startsWith(QLatin1Char('/')) ||
        programFolder.isEmpty())
        return sound;
    return QDir(programFolder).filePath(sound);
}

} // namespace hchat
