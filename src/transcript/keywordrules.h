#pragma once

#include <QString>
#include <QStringList>

#include <optional>
#include <utility>

namespace hchat {

/// Keyword alert lines: "word", "word|sound" or "word=sound".
class KeywordRules
{
public:
    /// The first keyword line whose word occurs in the line (compared in
    /// lower case): that word, in lower case, and its sound; or nothing. A
    /// line without a separator sounds defaultSound; "read" means the line
    /// is to be spoken.
    struct Match {
        QString word;
        QString sound;
    };
    static std::optional<Match> find(const QString &line, const QStringList &keywords,
                                     const QString &defaultSound);

    /// Start and length of each place where `word` occurs in line, any case.
    using Spans = QList<std::pair<int, int>>;
    static Spans occurrences(const QString &line, const QString &word);
    /// Where `nick` is named in what a chat line says (after the "nick:  "
    /// that starts it), as a word of its own and in any case. None for an
    /// empty nick.
    static Spans nickMentions(const QString &line, const QString &nick);
    /// A sound file name as the user gave it, made absolute: a name with ":"
    /// or starting with "/" stands as it is, any other is relative to the
    /// program folder.
    static QString soundPath(const QString &sound, const QString &programFolder);
};

} // namespace hchat
