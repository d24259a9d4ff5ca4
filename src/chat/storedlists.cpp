#include "chat/storedlists.h"

#include "catalogue/catalogue.h"
#include "chat/chatsession.h"
#include "chat/chatsettings.h"
#include "chat/roomlist.h"

#include "protocol/atomicfile.h"
#include "protocol/field.h"

#include <QStringDecoder>

#include <functional>

namespace hchat {

namespace {

// Lists are small; a file far beyond this is not ours and is left alone.
constexpr qint64 MaxFileSize = 8 * 1024 * 1024;

const QByteArray Key = QByteArrayLiteral("hchat:lists");

using ReadResult = AtomicFile::ReadResult;

ReadResult readLines(const QString &path, QStringList *lines)
{
    QByteArray data;
    const ReadResult result = AtomicFile::read(path, &data, nullptr, MaxFileSize);
    if (result != ReadResult::Read)
        return result;
    // Files from older versions may not be UTF-8; read those as Latin-1.
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8(data);
    if (utf8.hasError())
        text = QString::fromLatin1(data);
    QStringList out = text.split(u'\n');
    if (out.constLast().isEmpty())
        out.removeLast(); // the break after the last line does not start another
    for (QString &line : out) {
        if (line.endsWith(u'\r'))
            line.chop(1);
    }
    *lines = std::move(out);
    return ReadResult::Read;
}

bool writeLines(const QString &path, const QStringList &lines, QString *error)
{
    QByteArray bytes;
    for (const QString &line : lines) {
        bytes += line.toUtf8();
        bytes += '\n';
    }
    return AtomicFile::save(path, bytes, error); // owner-only, whatever the list
}

// The names the shipped catalogue gives, for a catalogue whose own are not
// plain file names.
QString shippedName(int entry)
{
    switch (entry) {
    case StoredLists::RoomsFile:
        return QStringLiteral("Rooms.lst");
    case StoredLists::PassesFile:
        return QStringLiteral("RoomPass.lst");
    case StoredLists::IgnoreFile:
        return QStringLiteral("Ignore.lst");
    case StoredLists::FavouritesFile:
        return QStringLiteral("Favourites.lst");
    default:
        return QStringLiteral("Keywords.lst");
    }
}

// Applies `change` to the raw value of every <X>...</X> field of the given
// name, keeping each field where it stands.
QString mapField(const QString &record, QChar name, const std::function<QString(const QString &)> &change)
{
    const QString open = QStringLiteral("<") + name + u'>';
    const QString close = QStringLiteral("</") + name + u'>';
    QString out;
    qsizetype from = 0;
    while (true) {
        const qsizetype start = record.indexOf(open, from);
        if (start < 0)
            break;
        const qsizetype value = start + open.size();
        const qsizetype end = record.indexOf(close, value);
        if (end < 0)
            break;
        out += record.mid(from, value - from);
        out += change(record.mid(value, end - value));
        out += close;
        from = end + close.size();
    }
    out += record.mid(from);
    return out;
}

QStringList recordsOf(const RoomList &list)
{
    QStringList out;
    out.reserve(list.entries.size());
    for (const QString &record : list.entries)
        out << StoredLists::scrambleRecord(record);
    return out;
}

} // namespace

QString StoredLists::scramble(const QString &plain)
{
    if (plain.isEmpty())
        return plain;
    QByteArray bytes = plain.toUtf8();
    for (qsizetype i = 0; i < bytes.size(); ++i)
        bytes[i] = char(bytes.at(i) ^ Key.at(i % Key.size()) ^ char(i * 29));
    return u'*' + QString::fromLatin1(bytes.toHex());
}

QString StoredLists::unscramble(const QString &stored)
{
    if (!stored.startsWith(u'*') || stored.size() % 2 == 0)
        return stored;
    const QString digits = stored.mid(1);
    for (QChar ch : digits) {
        if (!ch.isDigit() && !(ch >= u'a' && ch <= u'f') && !(ch >= u'A' && ch <= u'F'))
            return stored;
    }
    QByteArray bytes = QByteArray::fromHex(digits.toLatin1());
    for (qsizetype i = 0; i < bytes.size(); ++i)
        bytes[i] = char(bytes.at(i) ^ Key.at(i % Key.size()) ^ char(i * 29));
    return QString::fromUtf8(bytes);
}

QString StoredLists::scrambleRecord(const QString &record)
{
    return mapField(mapField(record, Field::AdminPassword, scramble), Field::AccessPassword, scramble);
}

QString StoredLists::unscrambleRecord(const QString &record)
{
    return mapField(mapField(record, Field::AdminPassword, unscramble), Field::AccessPassword, unscramble);
}

int StoredLists::load(const Catalogue &catalogue, ChatSession &session)
{
    if (!catalogue.isLoaded())
        return 0;
    m_loaded = true;
    int read = 0;
    auto loadInto = [&](Slot slot, int entry, const std::function<void(QStringList &&)> &take) {
        QStringList lines;
        const ReadResult result = readLines(path(catalogue, Entry(entry)), &lines);
        m_state[slot].writable = result != ReadResult::Failed;
        if (result == ReadResult::Read) {
            take(std::move(lines));
            ++read;
        }
    };
    auto records = [](RoomList &list) {
        return [&list](QStringList &&lines) {
            for (QString &line : lines)
                line = unscrambleRecord(line);
            list.entries = std::move(lines);
        };
    };
    loadInto(Rooms, RoomsFile, records(session.rooms));
    loadInto(Passes, PassesFile, records(session.passes));
    loadInto(Ignore, IgnoreFile, [&](QStringList &&l) {
        // A blank line (a hand edit, a trailing break) names nobody.
        l.removeIf([](const QString &prefix) { return prefix.trimmed().isEmpty(); });
        session.ignoreList = std::move(l);
    });
    loadInto(Favourites, FavouritesFile, [&](QStringList &&l) { session.favourites = std::move(l); });
    loadInto(Keywords, KeywordsFile, [&](QStringList &&l) { session.keywords = std::move(l); });
    m_loadedKeywords = session.keywords;
    return read;
}

QString StoredLists::path(const Catalogue &catalogue, Entry entry)
{
    return catalogue.LookupFile(entry, shippedName(entry));
}

bool StoredLists::save(const Catalogue &catalogue, const ChatSession &session, QString *error)
{
    if (!m_loaded || !catalogue.isLoaded())
        return true; // nothing was loaded, so nothing on disk may be replaced
    bool ok = true;
    auto saveFrom = [&](Slot slot, int entry, const QStringList &lines) {
        if (!m_state[slot].writable)
            return;
        QString why;
        const QString file = path(catalogue, Entry(entry));
        if (!writeLines(file, lines, &why)) {
            if (error)
                *error +=
                    (error->isEmpty() ? QString() : QStringLiteral("; ")) + file + QStringLiteral(": ") + why;
            ok = false;
        }
    };
    saveFrom(Favourites, FavouritesFile, session.favourites);
    saveFrom(Ignore, IgnoreFile, session.ignoreList);
    saveFrom(Passes, PassesFile, recordsOf(session.passes));
    saveFrom(Rooms, RoomsFile, recordsOf(session.rooms));
    if (session.keywords != m_loadedKeywords) {
        saveFrom(Keywords, KeywordsFile, session.keywords);
        if (ok)
            m_loadedKeywords = session.keywords;
    }
    return ok;
}

void StoredLists::boundRooms(ChatSettings &settings, const RoomList &rooms)
{
    if (rooms.count() == 0)
        return;
    const int highest = rooms.count() - 1;
    if (settings.room > highest || settings.room < 0)
        settings.room = 0;
    if (settings.room2 > highest || settings.room2 < 0)
        settings.room2 = 0;
}

} // namespace hchat
