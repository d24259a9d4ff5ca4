#include "chat/memberlist.h"

#include <algorithm>
#include <type_traits>

namespace hchat {

namespace {

// Keys are case-folded when made, so a plain comparison is the
// case-insensitive one, without folding every character on every probe.
int compareKeys(const QString &a, const QString &b)
{
    return QString::compare(a, b, Qt::CaseSensitive);
}

bool tagMatches(int a, int b)
{
    return a == 0 || b == 0 || a == b;
}

} // namespace

QString MemberList::SortKey(const QString &nick, int icon)
{
    QString key;
    key.reserve(nick.size() + 1);
    if (icon <= 61)
        key += u'=';
    else // icons past 113 have no picture; keep them first rather than wrap
        key += QChar(char16_t(std::max(0, 113 - icon)));
    key += nick.toCaseFolded();
    return key;
}

int MemberList::lstMembersCompare(const RosterEntry &a, const RosterEntry &b)
{
    return compareKeys(a.key, b.key);
}

qsizetype MemberList::upperBound(const QString &key) const
{
    auto it =
        std::upper_bound(m_entries.cbegin(), m_entries.cend(), key,
                         [](const QString &k, const RosterEntry &e) { return compareKeys(k, e.key) < 0; });
    return it - m_entries.cbegin();
}

int MemberList::find(const QString &nick, int tag) const
{
    // High icons sort before every "=" key, so the list is two runs: scan the
    // (short) run of high icons, then binary-search the nick among the rest.
    const QString plain = SortKey(nick, 0);
    auto firstPlain =
        std::lower_bound(m_entries.cbegin(), m_entries.cend(), QStringLiteral("="),
                         [](const RosterEntry &e, const QString &k) { return compareKeys(e.key, k) < 0; });
    for (auto it = m_entries.cbegin(); it != firstPlain; ++it)
        if (it->nick == nick && tagMatches(it->tag, tag))
            return int(it - m_entries.cbegin());
    auto range = std::equal_range(firstPlain, m_entries.cend(), plain, [](const auto &a, const auto &b) {
        if constexpr (std::is_same_v<std::decay_t<decltype(a)>, RosterEntry>)
            return compareKeys(a.key, b) < 0;
        else
            return compareKeys(a, b.key) < 0;
    });
    for (auto it = range.first; it != range.second; ++it)
        if (it->nick == nick && tagMatches(it->tag, tag))
            return int(it - m_entries.cbegin());
    return -1;
}

int MemberList::insert(const QString &nick, int icon, int state, int tag)
{
    RosterEntry e{nick, icon, state, tag, SortKey(nick, icon), {}};
    const qsizetype row = upperBound(e.key);
    m_observer->beginInsert(int(row));
    m_entries.insert(row, std::move(e));
    m_observer->endInsert();
    return int(row);
}

void MemberList::removeAt(int row)
{
    if (row < 0 || row >= count())
        return;
    m_observer->beginRemove(row);
    m_entries.removeAt(row);
    m_observer->endRemove();
}

void MemberList::setNote(int row, const QString &note)
{
    if (row < 0 || row >= count() || m_entries[row].note == note)
        return;
    m_entries[row].note = note;
    m_observer->changed(row);
}

int MemberList::update(int row, int icon, int state)
{
    if (row < 0 || row >= count())
        return -1;
    RosterEntry &e = m_entries[row];
    QString key = SortKey(e.nick, icon);
    qsizetype to = row;
    if (compareKeys(key, e.key) != 0) {
        // Place among the others: the bound counts the entry itself when it sits before it.
        to = upperBound(key);
        if (to > row)
            --to;
    }
    const bool moves = to != row;
    if (moves)
        m_observer->beginMove(row, int(to > row ? to + 1 : to));
    e.icon = icon;
    e.state = state;
    e.key = std::move(key);
    if (moves) {
        m_entries.move(row, to);
        m_observer->endMove();
    }
    m_observer->changed(int(to));
    return int(to);
}

void MemberList::replaceState(int from, int to)
{
    for (qsizetype i = 0; i < m_entries.size(); ++i) {
        if (m_entries.at(i).state == from) {
            m_entries[i].state = to;
            m_observer->changed(int(i));
        }
    }
}

void MemberList::clear()
{
    m_observer->beginReset();
    m_entries.clear();
    m_observer->endReset();
}

} // namespace hchat
