#pragma once

#include <QString>
#include <QStringList>

namespace hchat {

/// An ordered list of tagged-field records, one per room, addressed by
/// zero-based position. Used for the room list and the room-pass list.
class RoomList
{
public:
    /// `GetS` of the entry at `index`; empty when the index is out of range.
    QString RoomField(int index, char name) const;
    QString entry(int index) const;
    void setEntry(int index, const QString &record); ///< grows the list as needed
    int count() const { return int(entries.size()); }
    void clear() { entries.clear(); }

    QStringList entries;
};

/// Maps a room number to its position in the room choosers (the identity).
inline int GetIndex(int index)
{
    return index;
}

} // namespace hchat
