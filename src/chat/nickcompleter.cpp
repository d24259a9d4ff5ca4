#include "chat/nickcompleter.h"

#include <algorithm>

namespace hchat {

std::optional<NickCompleter::Result> NickCompleter::complete(const QString &text, int caret,
                                                             const QStringList &nicks, const QString &ownNick)
{
    caret = qBound(0, caret, int(text.size()));
    if (m_last && m_last->text == text && m_last->caret == caret) {
        // Tab again: the next candidate in place of the one just put in.
        Cycle &c = *m_last;
        c.index = (c.index + 1) % int(c.candidates.size());
        return apply(c, text.left(c.start), text.mid(caret));
    }
    m_last.reset();

    int start = caret;
    while (start > 0 && !text.at(start - 1).isSpace())
        --start;
    const QString prefix = text.mid(start, caret - start);
    if (prefix.isEmpty())
        return std::nullopt;

    QStringList candidates;
    for (const QString &nick : nicks) {
        if (nick.isEmpty() || nick.compare(ownNick, Qt::CaseInsensitive) == 0)
            continue;
        if (nick.startsWith(prefix, Qt::CaseInsensitive) && !candidates.contains(nick))
            candidates.append(nick);
    }
    if (candidates.isEmpty())
        return std::nullopt;
    std::sort(candidates.begin(), candidates.end(), [](const QString &a, const QString &b) {
        const int folded = a.compare(b, Qt::CaseInsensitive);
        return folded != 0 ? folded < 0 : a < b;
    });

    Cycle c;
    c.start = start;
    c.candidates = candidates;
    m_last = c;
    return apply(*m_last, text.left(start), text.mid(caret));
}

NickCompleter::Result NickCompleter::apply(Cycle &cycle, const QString &before, const QString &after) const
{
    QString inserted = cycle.candidates.at(cycle.index);
    // At the start of the line the nick addresses someone; the separator is
    // not doubled when it is already there.
    const QString lineBefore = before.mid(before.lastIndexOf(u'\n') + 1);
    if (lineBefore.trimmed().isEmpty() && !after.startsWith(u':')) {
        // Blanks typed after the caret already count towards the separator.
        QString sep = separator();
        for (int i = 0; i < after.size() && after.at(i) == u' ' && sep.endsWith(u' '); ++i)
            sep.chop(1);
        inserted += sep;
    }
    Result r;
    r.text = before + inserted + after;
    r.caret = int(before.size() + inserted.size());
    cycle.text = r.text;
    cycle.caret = r.caret;
    return r;
}

} // namespace hchat
