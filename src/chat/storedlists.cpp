#include "chat/storedlists.h"

#include "catalogue/catalogue.h"
#include "catalogue/cataloguecodec.h"
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
    *lines = CatalogueCodec::splitLines(text);
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
const char *const shippedNames[] = {"Rooms.lst", "RoomPass.lst", "Ignore.lst", "Favourites.lst",
                                    "Keywords.lst"};

// The rolling key of the scrambled form; applying it twice gives the bytes back.
void applyKey(QByteArray &bytes)
{
    for (qsizetype i = 0; i < bytes.size(); ++i)
        bytes[i] = char(bytes.at(i) ^ Key.at(i % Key.size()) ^ char(i * 29));
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
    applyKey(bytes);
    return u'*' + QString::fromLatin1(bytes.toHex());
}

QString StoredLists::unscramble(const QString &stored)
{
    if (!stored.startsWith(u'*') || stored.size() % 2 == 0)
        return stored;
    const QString digits = stored.mid(1);
    for (QChar ch : digits)
        if (!ch.isDigit() && !(ch >= u'a' && ch <= u'f') && !(ch >= u'A' && ch <= u'F'))
            return stored;
    QByteArray bytes = QByteArray::fromHex(digits.toLatin1());
    applyKey(bytes);
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
    auto loadInto = [&](Entry entry, const std::function<void(QStringList &&)> &take) {
        QStringList lines;
        const ReadResult result = readLines(path(catalogue, entry), &lines);
        m_writable[entry - RoomsFile] = result != ReadResult::Failed;
        if (result == ReadResult::Read) {
            take(std::move(lines));
            ++read;
        }
    };
    auto records = [&session](void (ChatSession::*take)(QStringList)) {
        return [&session, take](QStringList &&lines) {
            for (QString &line : lines)
                line = unscrambleRecord(line);
            (session.*take)(std::move(lines));
        };
    };
    loadInto(RoomsFile, records(&ChatSession::setRooms));
    loadInto(PassesFile, records(&ChatSession::setPasses));
    loadInto(IgnoreFile, [&](QStringList &&l) {
        // A blank line (a hand edit, a trailing break) names nobody.
        l.removeIf([](const QString &prefix) { return prefix.trimmed().isEmpty(); });
        session.setIgnoreList(std::move(l));
    });
    loadInto(FavouritesFile, [&](QStringList &&l) { session.setFavourites(std::move(l)); });
    loadInto(KeywordsFile, [&](QStringList &&l) { session.setKeywords(std::move(l)); });
    m_loadedKeywords = session.keywords();
    return read;
}

QString StoredLists::path(const Catalogue &catalogue, Entry entry)
{
    return catalogue.LookupFile(entry, QLatin1String(shippedNames[entry - RoomsFile]));
}

bool StoredLists::save(const Catalogue &catalogue, const ChatSession &session, QString *error)
{
    if (!m_loaded || !catalogue.isLoaded())
        return true; // nothing was loaded, so nothing on disk may be replaced
    bool ok = true;
    auto saveFrom = [&](Entry entry, const QStringList &lines) {
        if (!m_writable[entry - RoomsFile])
            return;
        QString why;
        const QString file = path(catalogue, entry);
        if (!writeLines(file, lines, &why)) {
            if (error)
                *error +=
                    (error->isEmpty() ? QString() : QStringLiteral("; ")) + file + QStringLiteral(": ") + why;
            ok = false;
        }
    };
    saveFrom(FavouritesFile, session.favourites());
    saveFrom(IgnoreFile, session.ignoreList());
    saveFrom(PassesFile, recordsOf(session.passes()));
    saveFrom(RoomsFile, recordsOf(session.rooms()));
    if (session.keywords() != m_loadedKeywords) {
        saveFrom(KeywordsFile, session.keywords());
        if (ok)
            m_loadedKeywords = session.keywords();
    }
    return ok;
}

void StoredLists::boundRooms(ChatSettings &settings, const RoomList &rooms)
{
    if (rooms.count() == 0)
        return;
    for (int *room : {&settings.room, &settings.room2})
        if (*room >= rooms.count() || *room < 0)
            *room = 0;
}

} // namespace hchat
