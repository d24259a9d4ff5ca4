#include "protocol/records.h"

#include "protocol/codec.h"
#include "protocol/field.h"
#include "protocol/wiretext.h"

namespace hchat {

namespace {

// A number field that may be left out; empty counts as left out.
int intOr(const QString &record, char name, int absent)
{
    return GetS(record, name).isEmpty() ? absent : GetI(record, name);
}

} // namespace

QString PresenceRecord::encode() const
{
    return AddS(id, Field::Id) + AddS(cleanNick(nick), Field::Nick) + AddS(icon, Field::Icon) +
           AddI(room, Field::Room) + AddI(watch, Field::Watch) + AddI(buffer, Field::Buffer);
}

PresenceRecord PresenceRecord::decode(const QString &record)
{
    PresenceRecord r;
    r.id = GetS(record, Field::Id);
    r.nick = GetS(record, Field::Nick);
    r.icon = GetS(record, Field::Icon);
    r.room = GetI(record, Field::Room);
    r.watch = intOr(record, Field::Watch, -1);
    r.buffer = GetI(record, Field::Buffer);
    return r;
}

QString MemberRecord::encode(RecordKind kind) const
{
    return AddKind(kind) + AddS(nick, Field::Nick) + AddS(id, Field::Id) + AddI(room, Field::Room) +
           (hasWatch ? AddI(watch, Field::Watch) : QString()) + AddS(icon, Field::Icon) +
           AddS(silentSince, Field::Time) + AddS(renamed, Field::Renamed);
}

MemberRecord MemberRecord::decode(const QString &record)
{
    MemberRecord r;
    r.nick = GetS(record, Field::Nick);
    r.id = GetS(record, Field::Id);
    r.room = intOr(record, Field::Room, -1);
    r.hasWatch = !GetS(record, Field::Watch).isEmpty();
    r.watch = intOr(record, Field::Watch, -1);
    r.icon = GetS(record, Field::Icon);
    r.silentSince = GetS(record, Field::Time);
    r.renamed = GetS(record, Field::Renamed);
    return r;
}

} // namespace hchat
