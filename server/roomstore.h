#pragma once

#include <QMap>
#include <QString>

namespace hchat {

/// Room settings records and bulletins, by room number. With a data folder
/// every change is written at once, atomically, so a restart keeps them.
/// Records are kept without their `R` and `#` fields.
class RoomStore
{
public:
    /// `dataDir` empty: kept in memory only.
    explicit RoomStore(const QString &dataDir = QString());

    /// Reads rooms.txt and bulletins.txt; seeds the default rooms when there
    /// is no rooms file. Unreadable lines are skipped. False with `error` set
    /// only when an existing file cannot be read.
    bool load(QString *error = nullptr);

    static constexpr int maxRoom = 999;
    static bool validRoom(int room) { return room >= 0 && room <= maxRoom; }

    /// Every room that has a record, in number order.
    QList<int> rooms() const { return m_rooms.keys(); }
    /// The stored fields of a room (passwords included); empty when unknown.
    QString fields(int room) const { return m_rooms.value(room); }
    /// The room record as clients see it: kind 7, room tag, no passwords.
    QString publicRecord(int room) const;

    QString adminPassword(int room) const;
    QString accessPassword(int room) const;

    /// Replaces a room's fields (passwords included) and saves.
    bool setFields(int room, const QString &fields);

    QString bulletin(int room) const { return m_bulletins.value(room); }
    bool setBulletin(int room, const QString &text);

    /// The fields of a room after a reset: everything cleared, name "Available by Request".
    static QString resetFields();

private:
    bool saveRooms();
    bool saveBulletins();

    QString m_dir;
    QMap<int, QString> m_rooms;
    QMap<int, QString> m_bulletins;
};

} // namespace hchat
