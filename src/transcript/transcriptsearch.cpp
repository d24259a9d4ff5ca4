#include "transcript/transcriptsearch.h"

#include <QTextBlock>
#include <QTextDocument>

#include <algorithm>

namespace hchat {

QList<TranscriptSearch::Hit> TranscriptSearch::findAll(const QTextDocument &doc, const QString &needle,
                                                       Qt::CaseSensitivity cs)
{
    QList<Hit> hits;
    if (needle.isEmpty())
        return hits;
    const int length = int(needle.size());
    // Line by line: a line's text is a plain string, searched far faster
    // than through the document's cursors.
    for (QTextBlock block = doc.begin(); block.isValid(); block = block.next()) {
        const QString text = block.text();
        if (text.size() < length)
            continue;
        const int base = block.position();
        for (qsizetype at = text.indexOf(needle, 0, cs); at >= 0; at = text.indexOf(needle, at + length, cs))
            hits.append({base + int(at), length});
    }
    return hits;
}

int TranscriptSearch::step(const QList<Hit> &hits, int position, bool forward)
{
    if (hits.isEmpty())
        return -1;
    const auto byPosition = [](const Hit &hit, int pos) { return hit.position < pos; };
    if (forward) {
        const auto after = std::lower_bound(hits.begin(), hits.end(), position + 1, byPosition);
        return after == hits.end() ? 0 : int(after - hits.begin());
    }
    const auto at = std::lower_bound(hits.begin(), hits.end(), position, byPosition);
    return at == hits.begin() ? int(hits.size()) - 1 : int(at - hits.begin()) - 1;
}

} // namespace hchat
