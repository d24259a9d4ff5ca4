#include "protocol/roomflags.h"

#include "protocol/codec.h"
#include "protocol/field.h"

namespace hchat {

RoomFlags RoomFlags::read(const QString &record)
{
    const QString h = GetS(record, Field::RoomHas);
    RoomFlags f;
    f.adminPassword = h.contains(u'S');
    f.accessPassword = h.contains(u'B');
    f.administrator = h.contains(u'A');
    f.staff = h.contains(u'T');
    return f;
}

QString RoomFlags::field() const
{
    QString h;
    if (adminPassword)
        h += u'S';
    if (accessPassword)
        h += u'B';
    if (administrator)
        h += u'A';
    if (staff)
        h += u'T';
    return AddS(h, Field::RoomHas);
}

} // namespace hchat
