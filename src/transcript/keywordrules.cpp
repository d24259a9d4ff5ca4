#include "transcript/keywordrules.h"

#include <QDir>

namespace hchat {

std::optional<QString> KeywordRules::match(const QString &line, const QStringList &keywords,
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
            return defaultSound;
        const QString sound = entry.mid(sep + 1);
        return sound.compare(QLatin1String("read"), Qt::CaseInsensitive) == 0 ? QStringLiteral("read")
                                                                              : sound;
    }
    return std::nullopt;
}

QString KeywordRules::soundPath(const QString &sound, const QString &programFolder)
{
    if (sound.isEmpty())
        return sound;
    if (sound.contains(QLatin1Char(':')) || sound.startsWith(QLatin1Char('/')))
        return sound;
    if (programFolder.isEmpty())
        return sound;
    return QDir(programFolder).filePath(sound);
}

} // namespace hchat
