#include "roomstore.h"

#include "protocol/atomicfile.h"
#include "protocol/codec.h"
#include "protocol/field.h"
#include "protocol/wiretext.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace hchat {

namespace {

QString cleanLine(const QString &s)
{
    // Stored one record per line: line breaks inside values travel as "||".
    QString out = s;
    out.replace(QLatin1String("\r\n"), QLatin1String("||"));
    out.remove(u'\r');
    out.replace(u'\n', QLatin1String("||"));
    return out;
}

// Room records hold the rooms' passwords: for the server's owner only.
constexpr QFileDevice::Permissions kPermissions = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

} // namespace

QString RoomStore::freeName(const QString &path)
{
    QString name = path;
    for (int i = 1; QFileInfo::exists(name) && i < 1000; ++i)
        name = path + u'.' + QString::number(i);
    return name;
}

RoomStore::RoomStore(const QString &dataDir) : m_dir(dataDir) {}

std::optional<int> RoomStore::roomNumber(const QString &value)
{
    if (value.isEmpty() || value.size() > 4)
        return std::nullopt;
    for (const QChar c : value) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
    }
    const int room = value.toInt();
    return validRoom(room) ? std::optional<int>(room) : std::nullopt;
}

bool RoomStore::readStore(Store &store, QString *error)
{
    store.entries.clear();
    store.lines.clear();
    store.blocked.clear();
    if (m_dir.isEmpty())
        return true;
    const QString path = m_dir + u'/' + store.name;
    QByteArray bytes;
    QString why;
    switch (AtomicFile::read(path, &bytes, &why)) {
    case AtomicFile::ReadResult::Absent:
        return true;
    case AtomicFile::ReadResult::Failed:
        if (error)
            *error = path + QStringLiteral(": ") + why;
        return false;
    case AtomicFile::ReadResult::Read:
        break;
    }
    int skipped = 0;
    for (const QByteArray &raw : bytes.split('\n')) {
        // Files written by older servers may hold Latin-1 names.
        const QString line = decodeWireLine(raw).trimmed();
        if (line.isEmpty())
            continue;
        const std::optional<int> room =
            HasField(line, Field::Room) ? roomNumber(GetS(line, Field::Room)) : std::nullopt;
        if (!room) {
            ++skipped;
            continue;
        }
        if (!store.bulletins)
            store.entries.insert(*room, KillS(line, Field::Room));
        else if (const QString text = GetS(line, Field::Text); !text.isEmpty())
            store.entries.insert(*room, text);
    }
    // A rooms file is never empty once written: empty is as damaged as garbage.
    const bool damaged = store.entries.isEmpty() && (skipped > 0 || !store.bulletins);
    if (!damaged && skipped == 0)
        return true;
    const QString aside = freeName(path + QStringLiteral(".damaged"));
    if (damaged ? QFile::rename(path, aside) : AtomicFile::save(aside, bytes, nullptr, kPermissions)) {
        log(damaged ? QStringLiteral("%1 holds no record: set aside as %2").arg(path, aside)
                    : QStringLiteral("%1: skipped %2 line(s) that hold no room record; the file as it "
                                     "was is kept as %3")
                          .arg(path)
                          .arg(skipped)
                          .arg(aside));
    } else {
        // Not set aside: then it must not be written over either.
        store.blocked = QStringLiteral("%1 is damaged and could not be set aside").arg(path);
        log(store.blocked + QStringLiteral("; it is left as it is and changes are not saved"));
    }
    return true;
}

bool RoomStore::load(QString *error)
{
    m_public.clear();
    m_booted.clear();
    m_facts.clear();
    m_publicList.reset();
    if (!readStore(m_rooms, error) || !readStore(m_oldBulletins, error))
        return false;
    m_bulletins.log = log;
    m_bulletins.load(m_dir, m_oldBulletins.entries, m_dir + u'/' + m_oldBulletins.name);
    m_oldBulletins.entries.clear();
    if (m_rooms.entries.isEmpty()) {
        m_rooms.entries.insert(
            0, RoomRecord{.name = QStringLiteral("Support Room"), .editor = QStringLiteral("Halvex Staff")}
                   .encode());
        for (int r = 1; r <= 9; ++r)
            m_rooms.entries.insert(r, RoomRecord{.name = QStringLiteral("Vacant")}.encode());
        QString why;
        if (!save(&why))
            log(QStringLiteral("the seeded rooms are not saved: ") + why);
    }
    return true;
}

QString RoomStore::cleanField(QString value)
{
    value.replace(QLatin1String("\r\n"), QLatin1String("||"));
    value.remove(u'\r');
    value.remove(u'\n');
    return stripFieldTags(value);
}

RoomRecord RoomStore::cleaned(RoomRecord record)
{
    for (const auto &[name, member] : RoomRecord::settings)
        record.*member = cleanField(record.*member);
    return record;
}

QByteArray RoomStore::publicRecord(int room) const
{
    auto it = m_public.constFind(room);
    if (it != m_public.cend())
        return *it;
    RoomRecord r = cleaned(record(room));
    r.room = room;
    r.adminPassword.clear();
    r.accessPassword.clear();
    r.editor = cleanField(r.editor);
    r.flags = flags(room);
    return *m_public.insert(room, (AddKind(RecordKind::RoomRecord) + r.encode()).toUtf8());
}

RoomFlags RoomStore::flags(int room) const
{
    RoomFlags f;
    f.adminPassword = !adminPassword(room).isEmpty();
    f.accessPassword = !accessPassword(room).isEmpty();
    return f;
}

std::shared_ptr<const QList<QByteArray>> RoomStore::publicList() const
{
    if (!m_publicList) {
        QList<QByteArray> list;
        for (auto it = m_rooms.entries.cbegin(); it != m_rooms.entries.cend(); ++it)
            list << publicRecord(it.key());
        m_publicList = std::make_shared<const QList<QByteArray>>(std::move(list));
    }
    return m_publicList;
}

bool RoomStore::isFree(int room) const
{
    const RoomRecord r = record(room);
    return fields(room).isEmpty() ||
           (r.adminPassword.isEmpty() &&
            (r.name == QLatin1String("Vacant") || r.name == QLatin1String("Available by Request")));
}

bool RoomStore::isBooted(int room, const QString &nick) const
{
    auto it = m_booted.constFind(room);
    if (it == m_booted.cend()) {
        QSet<QString> nicks;
        for (const QString &b : record(room).booted.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts))
            nicks << b.trimmed().toCaseFolded();
        it = m_booted.insert(room, nicks);
    }
    return it->contains(nick.trimmed().toCaseFolded());
}

void RoomStore::forget(int room) const
{
    m_public.remove(room);
    m_booted.remove(room);
    m_facts.remove(room);
    m_publicList.reset();
}

const RoomStore::Facts &RoomStore::facts(int room) const
{
    auto it = m_facts.constFind(room);
    if (it == m_facts.cend()) {
        const RoomRecord r = record(room);
        it = m_facts.insert(room, {r.adminPassword, r.accessPassword, r.name, r.denied});
    }
    return *it;
}

bool RoomStore::noRoom(int room, QString *error)
{
    if (validRoom(room))
        return false;
    if (error)
        *error = QStringLiteral("there is no room %1").arg(room);
    return true;
}

bool RoomStore::setBulletin(int room, const QString &text, QString *error)
{
    return !noRoom(room, error) && m_bulletins.set(room, text, error);
}

QString RoomStore::resetFields()
{
    return RoomRecord{.name = QStringLiteral("Available by Request"), .icon = QStringLiteral("0")}.encode();
}

bool RoomStore::setFields(int room, const QString &fields, QString *error)
{
    if (noRoom(room, error))
        return false;
    if (fields.toUtf8().size() > maxRecordBytes) {
        if (error)
            *error = QStringLiteral("the record of room %1 would be longer than %2 bytes")
                         .arg(room)
                         .arg(maxRecordBytes);
        return false;
    }
    forget(room);
    m_rooms.lines.remove(room);
    const std::optional<QString> before =
        m_rooms.entries.contains(room) ? std::optional<QString>(m_rooms.entries.value(room)) : std::nullopt;
    m_rooms.entries.insert(room, fields);
    if (save(error))
        return true;
    // What is served stays what is stored.
    m_rooms.lines.remove(room);
    if (before)
        m_rooms.entries.insert(room, *before);
    else
        m_rooms.entries.remove(room);
    return false;
}

bool RoomStore::save(QString *error)
{
    if (m_dir.isEmpty())
        return true;
    if (!m_rooms.blocked.isEmpty()) {
        if (error)
            *error = m_rooms.blocked;
        return false;
    }
    QDir().mkpath(m_dir);
    // Each line is made once per change: a change rewrites every room.
    QByteArray bytes;
    for (auto it = m_rooms.entries.cbegin(); it != m_rooms.entries.cend(); ++it) {
        auto line = m_rooms.lines.constFind(it.key());
        if (line == m_rooms.lines.cend()) {
            QString text = AddI(it.key(), Field::Room);
            text += cleanLine(it.value());
            line = m_rooms.lines.insert(it.key(), text.toUtf8() + '\n');
        }
        bytes += *line;
    }
    return AtomicFile::save(m_dir + u'/' + m_rooms.name, bytes, error, kPermissions);
}

} // namespace hchat
