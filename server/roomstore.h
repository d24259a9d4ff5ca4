#pragma once

#include "bulletinstore.h"
#include "protocol/records.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QMap>
#include <QSet>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace hchat {

/// Room settings records and bulletins, by room number. With a data folder
/// every change is written at once, atomically, so a restart keeps them; a
/// change that could not be written is undone and reported.
/// Records are kept without their `R` and `#` fields.
class RoomStore
{
public:
    /// `dataDir` empty: kept in memory only.
    explicit RoomStore(const QString &dataDir = QString());

    /// Reads rooms.txt and the bulletins (BulletinStore); seeds the default rooms when there
    /// is no rooms file. A file with no record in it (empty, garbage) is set
    /// aside as NAME.damaged (rooms then start from the seeds); lines that are
    /// no record are skipped after a copy of the file is put aside, so the
    /// next save loses nothing. Each such step is told to `log`. False with
    /// `error` set only when an existing file cannot be read.
    bool load(QString *error = nullptr);
    /// Where load() reports what it set aside, skipped or could not save.
    std::function<void(const QString &)> log = [](const QString &) {};

    static constexpr int maxRoom = 999;
    static bool validRoom(int room) { return room >= 0 && room <= maxRoom; }
    /// A `#` value read strictly: a whole decimal number of a room, nothing
    /// else (a number out of range must not wrap onto room 0).
    static std::optional<int> roomNumber(const QString &value);

    /// A stored room record (passwords included) is at most a record on the
    /// wire, so that a room list stays a bounded size whatever is in it.
    static constexpr int maxRecordBytes = 4096;
    /// A field value as stored and relayed: one line (line breaks as "||")
    /// and no field tag of its own, which would shadow another field.
    static QString cleanField(QString value);
    /// A name beside `path` (itself or with ".1", ".2", ...) not taken yet.
    static QString freeName(const QString &path);
    /// The record with each of its settings (passwords included) cleaned.
    static RoomRecord cleaned(RoomRecord record);

    /// Every room that has a record, in number order.
    QList<int> rooms() const { return m_rooms.entries.keys(); }
    /// The stored fields of a room (passwords included); empty when unknown.
    QString fields(int room) const { return m_rooms.entries.value(room); }
    RoomRecord record(int room) const { return RoomRecord::decode(fields(room)); }
    /// The room record as clients see it: kind 7, room tag, no passwords,
    /// but `H` telling which passwords the room has. Built from the fields
    /// one by one, so nothing stored can carry a password along; made once
    /// per change.
    QByteArray publicRecord(int room) const;
    /// Which passwords the room has (no rights of anybody's).
    RoomFlags flags(int room) const;
    /// Every room's public record, in number order: what a newcomer is sent.
    /// Made once per change and shared by everybody still being sent it.
    std::shared_ptr<const QList<QByteArray>> publicList() const;
    /// A room nobody has made their own: no record, or a free one ("Vacant",
    /// "Available by Request") without an administrator password.
    bool isFree(int room) const;
    /// True when the nick is in the room's booted list (case ignored).
    bool isBooted(int room, const QString &nick) const;

    /// What is asked of a room on every entry and administration, read
    /// from its record once per change.
    struct Facts {
        QString adminPassword;
        QString accessPassword;
        QString name;
        QString denied; ///< "Access Denied Message"
    };
    const Facts &facts(int room) const;
    QString adminPassword(int room) const { return facts(room).adminPassword; }
    QString accessPassword(int room) const { return facts(room).accessPassword; }

    /// Replaces a room's fields (passwords included) and saves. False (with
    /// the reason) when the room is no room or the file could not be saved:
    /// nothing changed then, in memory or on disk.
    bool setFields(int room, const QString &fields, QString *error = nullptr);

    QString bulletin(int room) const { return m_bulletins.text(room); }
    /// As setFields(), but only the room's bulletin file is written; an
    /// empty text removes the bulletin.
    bool setBulletin(int room, const QString &text, QString *error = nullptr);
    BulletinStore &bulletins() { return m_bulletins; }

    /// The fields of a room after a reset: everything cleared, name "Available by Request".
    static QString resetFields();

private:
    struct Store {
        QString name; ///< file name in the data folder
        bool bulletins;
        QMap<int, QString> entries;
        QString blocked;              ///< why the file must not be written; empty when it may
        QHash<int, QByteArray> lines; ///< each entry's line in the file, made when first saved
    };
    bool readStore(Store &store, QString *error);
    bool save(QString *error);
    static bool noRoom(int room, QString *error);

    void forget(int room) const;

    QString m_dir;
    // Made from the entries when first asked for, dropped when they change.
    mutable QHash<int, QByteArray> m_public;
    mutable QHash<int, QSet<QString>> m_booted;
    mutable QHash<int, Facts> m_facts;
    mutable std::shared_ptr<const QList<QByteArray>> m_publicList;
    Store m_rooms{QStringLiteral("rooms.txt"), false, {}, {}, {}};
    /// The single bulletins file of older servers: read once, then moved.
    Store m_oldBulletins{QStringLiteral("bulletins.txt"), true, {}, {}, {}};
    BulletinStore m_bulletins;
};

} // namespace hchat
