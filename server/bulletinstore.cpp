#include "bulletinstore.h"

#include "protocol/atomicfile.h"
#include "protocol/codec.h"
#include "protocol/field.h"
#include "protocol/recordkind.h"
#include "protocol/records.h"
#include "protocol/wiretext.h"
#include "roomstore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace hchat {

namespace {

constexpr QFileDevice::Permissions kPermissions = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

qint64 storedBytes(const QString &text)
{
    return encodeText(text).toUtf8().size();
}

} // namespace

QString BulletinStore::path(int room) const
{
    return m_dir + u'/' + QString::number(room) + QStringLiteral(".txt");
}

void BulletinStore::put(int room, const QString &text)
{
    m_records.remove(room);
    m_total -= m_sizes.take(room);
    m_texts.remove(room);
    if (text.isEmpty())
        return;
    const qint64 bytes = storedBytes(text);
    m_texts.insert(room, text);
    m_sizes.insert(room, bytes);
    m_total += bytes;
}

void BulletinStore::load(const QString &dataDir, const QMap<int, QString> &legacy, const QString &legacyPath)
{
    m_texts.clear();
    m_sizes.clear();
    m_records.clear();
    m_total = 0;
    m_dir = dataDir.isEmpty() ? QString() : dataDir + QStringLiteral("/bulletins");
    if (!m_dir.isEmpty()) {
        const QDir dir(m_dir);
        for (const QString &name : dir.entryList({QStringLiteral("*.txt")}, QDir::Files, QDir::Name)) {
            const std::optional<int> room = RoomStore::roomNumber(QFileInfo(name).completeBaseName());
            QByteArray bytes;
            QString why;
            if (!room || AtomicFile::read(dir.filePath(name), &bytes, &why) != AtomicFile::ReadResult::Read) {
                log(QStringLiteral("%1: not read as a bulletin %2").arg(dir.filePath(name), why));
                continue;
            }
            const QString line = decodeWireLine(bytes).trimmed();
            if (RoomStore::roomNumber(GetS(line, Field::Room)) != room) {
                log(QStringLiteral("%1 holds no bulletin of its room; skipped").arg(dir.filePath(name)));
                continue;
            }
            put(*room, BulletinRecord::decode(line).text);
        }
    }
    // The old single file's texts were stored unescaped: taken as they are.
    bool moved = true;
    for (auto it = legacy.cbegin(); it != legacy.cend(); ++it) {
        if (m_sizes.contains(it.key()) || (!m_dir.isEmpty() && QFileInfo::exists(path(it.key()))))
            continue;
        QString why;
        if (!save(it.key(), it.value(), &why)) {
            moved = false;
            log(QStringLiteral("bulletin of room %1 not moved to %2: %3").arg(it.key()).arg(m_dir, why));
        }
        put(it.key(), it.value());
    }
    if (m_dir.isEmpty() || !QFileInfo::exists(legacyPath))
        return;
    const QString aside = RoomStore::freeName(legacyPath + QStringLiteral(".moved"));
    if (moved && QFile::rename(legacyPath, aside))
        log(QStringLiteral("%1: bulletins moved to %2; the old file is kept as %3")
                .arg(legacyPath, m_dir, aside));
}

QByteArray BulletinStore::record(int room) const
{
    auto it = m_records.constFind(room);
    if (it == m_records.cend())
        it = m_records.insert(
            room, (AddKind(RecordKind::Bulletin) + BulletinRecord{room, text(room)}.encode()).toUtf8());
    return *it;
}

bool BulletinStore::fits(int room, const QString &text) const
{
    return m_total - m_sizes.value(room) + storedBytes(text) <= m_totalLimit;
}

bool BulletinStore::save(int room, const QString &text, QString *error) const
{
    if (m_dir.isEmpty())
        return true;
    if (text.isEmpty()) {
        if (!QFile::exists(path(room)) || QFile::remove(path(room)))
            return true;
        if (error)
            *error = QStringLiteral("%1 could not be removed").arg(path(room));
        return false;
    }
    QDir().mkpath(m_dir);
    const QString line = BulletinRecord{room, text}.encode() + u'\n';
    return AtomicFile::save(path(room), line.toUtf8(), error, kPermissions);
}

bool BulletinStore::set(int room, const QString &text, QString *error)
{
    if (!save(room, text, error))
        return false;
    put(room, text);
    return true;
}

} // namespace hchat
