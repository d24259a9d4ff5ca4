#include "chat/roomlist.h"

#include "protocol/codec.h"

namespace hchat {

QString RoomList::entry(int index) const
{
    if (index < 0 || index >= entries.size())
        return {};
    return entries.at(index);
}

QString RoomList::RoomField(int index, char name) const
{
    return GetS(entry(index), name);
}

void RoomList::setEntry(int index, const QString &record)
{
    if (index < 0 || index > 100000) // room numbers are small; never let one allocate the world
        return;
    while (entries.size() <= index)
        entries.append(QString());
    entries[index] = record;
}

} // namespace hchat
