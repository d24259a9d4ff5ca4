#pragma once

#include <QString>
#include <QStringList>

namespace hchat {

class Catalogue;
class ChatSession;
class RoomList;
struct ChatSettings;

/// The lists kept between runs, one file each, named by catalogue entries
/// 270 to 274 under the program folder (a name that is not a plain file name
/// gives way to the shipped one):
///   270  room list (`rooms`)            records, `S`/`B` scrambled, owner-only file
///   271  room-pass list (`passes`)      records, `S`/`B` scrambled, owner-only file
///   272  ignore list (`ignoreList`)     8-character ID prefixes
///   273  favourites (`favourites`)      addresses
///   274  keyword list (`keywords`)      keyword alert lines, usually edited by hand
/// One entry per line, UTF-8; a room's record sits on the line of its
/// number, so empty lines in between are kept.
///
/// Saving writes 273, 272, 271 and 270, and 274 only when the keyword list
/// was changed in the program (a hand-edited file is never rewritten
/// needlessly). A list is saved only when loading ran for it and its file
/// was either absent or read in full: lists that were never loaded (no
/// catalogue yet) or a file that could not be read are left alone on disk.
class StoredLists
{
public:
    enum Entry {
        RoomsFile = 270,
        PassesFile = 271,
        IgnoreFile = 272,
        FavouritesFile = 273,
        KeywordsFile = 274
    };

    /// Loads every list whose file exists into the session, replacing what
    /// the session held. Does nothing while the catalogue is not loaded.
    /// Returns the number of files read.
    int load(const Catalogue &catalogue, ChatSession &session);
    /// Writes the lists (atomically). Returns false (with the files and
    /// reasons) when a write failed; the old file is kept then.
    bool save(const Catalogue &catalogue, const ChatSession &session, QString *error = nullptr);
    /// Where a list lives: the catalogue's name for it when that is a plain
    /// file name, the shipped name otherwise.
    static QString path(const Catalogue &catalogue, Entry entry);
    /// Whether load() has run with a loaded catalogue.
    bool isLoaded() const { return m_loaded; }

    /// After the room list is loaded: a `Room` or `Room2` above the highest
    /// room number the list knows (or below 0) becomes 0. An empty list knows
    /// no rooms yet and changes nothing.
    static void boundRooms(ChatSettings &settings, const RoomList &rooms);

    /// The reversible encoding of the `S` and `B` values on disk: "*" and
    /// the hex digits of the UTF-8 bytes, each xor-ed with a rolling key.
    static QString scramble(const QString &plain);
    /// Undoes scramble(); a value not in that form is taken as plain text.
    static QString unscramble(const QString &stored);
    /// The record with every `S` and `B` value replaced in place.
    static QString scrambleRecord(const QString &record);
    static QString unscrambleRecord(const QString &record);

private:
    bool m_writable[KeywordsFile - RoomsFile + 1] = {}; ///< per entry: file absent or read in full at load
    QStringList m_loadedKeywords;
    bool m_loaded = false;
};

} // namespace hchat
