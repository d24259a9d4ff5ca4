#pragma once

#include "chat/chatsession.h"
#include "protocol/records.h"
#include "support/fakesink.h"

#include <QList>
#include <QMap>
#include <QPair>
#include <QStringList>

namespace hchat::test {

/// Catalogue lines "n," for entries 0 to count-1, with the given texts.
inline QStringList catalogueLines(int count, const QMap<int, QString> &texts)
{
    QStringList lines;
    for (int i = 0; i < count; ++i)
        lines << QString::number(i) + u',' + texts.value(i);
    return lines;
}

/// Points a session at a recording sink (cleared), an optional catalogue and,
/// when given, a list that records every record it sends (cleared).
inline void wireSession(ChatSession &s, FakeSink &sink, QList<QPair<int, QString>> *sent = nullptr,
                        const Catalogue *catalogue = nullptr)
{
    s.setSink(&sink);
    s.setCatalogue(catalogue);
    sink.clear();
    if (sent) {
        sent->clear();
        s.setSender([sent](int kind, const QString &data) { sent->append({kind, data}); });
    }
}

/// A member's record (kind 5) as the server sends it.
inline QString userRecord(const QString &nick, const QString &id, int room, int watched = -1,
                          const QString &icon = QStringLiteral("0|1"))
{
    return MemberRecord{.nick = nick, .id = id, .room = room, .watch = watched, .icon = icon}.encode();
}

} // namespace hchat::test
