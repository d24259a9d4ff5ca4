#include "roomstore.h"

#include "protocol/codec.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

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

bool writeLines(const QString &path, const QMap<int, QString> &map, bool bulletins)
{
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    for (auto it = map.cbegin(); it != map.cend(); ++it) {
        QString line = AddI(it.key(), QStringLiteral("#"));
        line += bulletins ? AddS(cleanLine(it.value()), QStringLiteral("M")) : cleanLine(it.value());
        line += u'\n';
        f.write(line.toUtf8());
    }
    return f.commit();
}

bool readLines(const QString &path, QMap<int, QString> *map, bool bulletins, QString *error)
{
    QFile f(path);
    if (!f.exists())
        return true;
    if (!f.open(QIODevice::ReadOnly)) {
        if (error)
            *error = f.errorString();
        return false;
    }
    const QList<QByteArray> lines = f.readAll().split('\n');
    for (const QByteArray &raw : lines) {
        const QString line = QString::fromUtf8(raw).trimmed();
        if (!line.contains(QLatin1String("<#>")))
            continue;
        const int room = GetI(line, QStringLiteral("#"));
        if (!RoomStore::validRoom(room))
            continue;
        if (bulletins) {
            QString text = GetS(line, QStringLiteral("M"));
            if (!text.isEmpty())
                map->insert(room, text);
        } else {
            map->insert(room, KillS(line, QStringLiteral("#")));
        }
    }
    return true;
}

} // namespace

RoomStore::RoomStore(const QString &dataDir) : m_dir(dataDir) {}

bool RoomStore::load(QString *error)
{
    m_rooms.clear();
    m_bulletins.clear();
    const bool haveRooms = !m_dir.isEmpty() && QFile::exists(m_dir + QStringLiteral("/rooms.txt"));
    if (haveRooms && !readLines(m_dir + QStringLiteral("/rooms.txt"), &m_rooms, false, error))
        return false;
    if (!m_dir.isEmpty() && !readLines(m_dir + QStringLiteral("/bulletins.txt"), &m_bulletins, true, error))
        return false;
    if (!haveRooms) {
        m_rooms.insert(0, AddS(QStringLiteral("Support Room"), QStringLiteral("N")) +
                              AddS(QStringLiteral("Halvex Staff"), QStringLiteral("J")));
        for (int r = 1; r <= 9; ++r)
            m_rooms.insert(r, AddS(QStringLiteral("Vacant"), QStringLiteral("N")));
        saveRooms();
    }
    return true;
}

QString RoomStore::publicRecord(int room) const
{
    QString f = m_rooms.value(room);
    for (const char *name : {"S", "B"})
        f = KillS(f, QString::fromLatin1(name));
    return AddI(7, QStringLiteral("R")) + AddI(room, QStringLiteral("#")) + f;
}

QString RoomStore::adminPassword(int room) const
{
    return GetS(m_rooms.value(room), QStringLiteral("S"));
}

QString RoomStore::accessPassword(int room) const
{
    return GetS(m_rooms.value(room), QStringLiteral("B"));
}

bool RoomStore::setFields(int room, const QString &fields)
{
    if (!validRoom(room))
        return false;
    m_rooms.insert(room, fields);
    return saveRooms();
}

bool RoomStore::setBulletin(int room, const QString &text)
{
    if (!validRoom(room))
        return false;
    if (text.isEmpty())
        m_bulletins.remove(room);
    else
        m_bulletins.insert(room, text);
    return saveBulletins();
}

QString RoomStore::resetFields()
{
    return AddS(QStringLiteral("Available by Request"), QStringLiteral("N")) + AddI(0, QStringLiteral("I"));
}

bool RoomStore::saveRooms()
{
    if (m_dir.isEmpty())
        return true;
    QDir().mkpath(m_dir);
    return writeLines(m_dir + QStringLiteral("/rooms.txt"), m_rooms, false);
}

bool RoomStore::saveBulletins()
{
    if (m_dir.isEmpty())
        return true;
    QDir().mkpath(m_dir);
    return writeLines(m_dir + QStringLiteral("/bulletins.txt"), m_bulletins, true);
}

} // namespace hchat
