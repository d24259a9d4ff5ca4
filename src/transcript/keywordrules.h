#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace hchat {

/// Keyword alert lines: "word", "word|sound" or "word=sound".
class KeywordRules
{
public:
    /// The sound of the first keyword line whose word occurs in the line
    /// (compared in lower case), or nothing. A line without a separator
    /// sounds defaultSound; "read" means the line is to be spoken.
    static std::optional<QString> match(const QString &line, const QStringList &keywords,
                                        const QString &defaultSound);
    /// A sound file name as the user gave it, made absolute: a name with ":"
    /// or starting with "/" stands as it is, any other is relative to the
    /// program folder.
    static QString soundPath(const QString &sound, const QString &programFolder);
};

} // namespace hchat
