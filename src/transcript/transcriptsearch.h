#pragma once

#include <QList>
#include <QString>

class QTextDocument;

namespace hchat {

/// Finds text in a transcript: every occurrence, for the search bar to
/// highlight and step through. Hits never span two lines.
class TranscriptSearch
{
public:
    struct Hit {
        int position = 0; ///< document position of the first character
        int length = 0;
        bool operator==(const Hit &) const = default;
    };

    /// Every occurrence of needle, in document order; none for an empty
    /// needle. Occurrences do not overlap: "aa" is found once in "aaa".
    static QList<Hit> findAll(const QTextDocument &doc, const QString &needle, Qt::CaseSensitivity cs);

    /// The hit to go to from `position` (a document position, usually the
    /// current hit's): the first hit after it going forward, the last one
    /// before it going backward, wrapping at either end. -1 when there are none.
    static int step(const QList<Hit> &hits, int position, bool forward);
};

} // namespace hchat
