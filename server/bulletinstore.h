#pragma once

#include <QByteArray>
#include <QHash>
#include <QMap>
#include <QString>

#include <functional>

namespace hchat {

/// Room bulletins, one file per room in a `bulletins` folder beside the
/// rooms file, each written atomically: a change costs what that room's
/// bulletin costs, however many others are stored. Texts are kept with the
/// codec's escaping, so whatever a member typed (`</M>`, `||`) comes back
/// as typed after a restart.
class BulletinStore
{
public:
    /// All bulletins together, as stored: a bound on the disk and memory
    /// that members can make the server hold.
    static constexpr qint64 defaultTotalBytes = 4 * 1024 * 1024;

    /// Reads the folder under `dataDir` (empty: memory only). `legacy` holds
    /// the bulletins of the single file older servers wrote (`legacyPath`):
    /// those whose room has no file yet are written to the folder, and once
    /// all are, the old file is renamed aside so it is read only once.
    void load(const QString &dataDir, const QMap<int, QString> &legacy, const QString &legacyPath);
    /// Where load() reports what it skipped, moved or could not save.
    std::function<void(const QString &)> log = [](const QString &) {};

    QString text(int room) const { return m_texts.value(room); }
    /// The bulletin record (kind 20) of a room, made once per change.
    QByteArray record(int room) const;
    /// False when storing `text` for the room would take all bulletins
    /// past the total bound.
    bool fits(int room, const QString &text) const;
    void setTotalBytes(qint64 bytes) { m_totalLimit = bytes; }
    /// Stores and saves; an empty text removes the bulletin. False (with
    /// the reason) when it could not be saved: nothing changed then.
    bool set(int room, const QString &text, QString *error = nullptr);

private:
    QString path(int room) const;
    void put(int room, const QString &text);
    bool save(int room, const QString &text, QString *error) const;
    QString m_dir; ///< the bulletins folder; empty when kept in memory only
    QHash<int, QString> m_texts;
    QHash<int, qint64> m_sizes; ///< stored bytes of each bulletin
    qint64 m_total = 0;
    qint64 m_totalLimit = defaultTotalBytes;
    mutable QHash<int, QByteArray> m_records;
};

} // namespace hchat
