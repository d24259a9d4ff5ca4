#pragma once

#include "protocol/recordkind.h"
#include "protocol/roomflags.h"

#include <QString>

#include <array>
#include <optional>
#include <utility>

namespace hchat {

// Typed records: one encode and one decode per record the client and the
// server both build or read, so that the field letters, their order on the
// wire and the reading of an absent field are written once. docs/protocol.md
// has the table; a field a record leaves out reads as the member's default.

/// Kind 5 out (also sent for the client's kinds 50 and 51): the client's own
/// presence. On the wire: E N I # W T.
struct PresenceRecord {
    QString id;
    QString nick; ///< cleaned by encode(), so it cannot carry fields of its own
    QString icon; ///< "icon|away code"
    int room = -1;
    int watch = -1; ///< watched second room; -1 none, also when the field is absent
    int buffer = 0;

    /// The fields without the kind, as the link queues them.
    QString encode() const;
    static PresenceRecord decode(const QString &record);
};

/// Kinds 5 and 15 in (a member's record), 13 in (where a member is). On the
/// wire: R N E # W I [Z] [D]; kind 13 carries no I, and its "not in the
/// chat" answer no W.
struct MemberRecord {
    QString nick{};
    QString id{};
    int room = -1;         ///< -1: not in the chat, also when the field is absent
    int watch = -1;        ///< -1: no watched room, also when the field is absent
    bool hasWatch = true;  ///< write W (every member record does; the "not in the chat" answer does not)
    QString icon{};        ///< "icon|away code"; left out when empty
    QString silentSince{}; ///< Z: server time since the member has not been heard
    QString renamed{};     ///< D: a departure that only changed the nick

    QString encode(RecordKind kind = RecordKind::Presence) const;
    static MemberRecord decode(const QString &record);
};

/// Kind 1, a chat line; also kind 16 in (a report line) and kind 2 out (a
/// global message: M alone). Out: F # M. In: [X] F E # Z M; a line without F
/// is the server's, and its notice about a record of ours it refused names
/// that record: O M.
struct ChatLineRecord {
    quint32 recordNumber = 0;    ///< O: the refused record of ours; 0 none
    quint32 lineNumber = 0;      ///< X: the server's order of lines; 0 none
    std::optional<int> colour{}; ///< F: none on a system line
    QString id{};                ///< E: the sender
    std::optional<int> room{};   ///< #: none is the reader's first room
    QString time{};              ///< Z: server time hh:mm:ss
    QString text{};              ///< M, as typed

    QString encode() const;
    static ChatLineRecord decode(const QString &record);
};

/// Kind 3, a private message. Out: N E M [A]; in: N E [F] M [A]; the
/// server's "not in the chat" answer: O N E M A.
struct PrivateMessageRecord {
    quint32 recordNumber = 0; ///< O: the message the answer is about
    QString nick{};           ///< the recipient out, the sender in
    QString id{};
    std::optional<int> colour{}; ///< F: the sender's
    QString text{};
    bool automatic = false; ///< A=1: never answered automatically

    QString encode() const;
    static PrivateMessageRecord decode(const QString &record);
};

/// A command naming a member or a room: kinds 4 (page), 8 (boot), 6 and 13
/// out (profile, where is), 11, 15, 16 and 21 out (a room), 28 out
/// (administer a room). On the wire: N E # S.
struct CommandRecord {
    QString nick{};
    QString id{};
    std::optional<int> room{}; ///< none is the sender's first room
    QString adminPassword{};   ///< S: boot, administer

    QString encode() const;
    static CommandRecord decode(const QString &record);
};

/// Kind 6, a profile: out the own one (U M) or a request (N E); in the
/// answer (N E U M; no E: not in the chat).
struct ProfileRecord {
    QString nick{};
    QString id{};
    QString url{};
    QString text{};

    QString encode() const;
    static ProfileRecord decode(const QString &record);
};

/// Kinds 9 and 20: a room's bulletin (# M; 20 out: # alone), also a line of
/// the server's bulletin file.
struct BulletinRecord {
    std::optional<int> room{}; ///< none is the reader's first room
    QString text{};

    QString encode() const;
    static BulletinRecord decode(const QString &record);
};

/// Kind 25: out a room entry request (# [B] [S] [W=1]), in its refusal
/// (# N A [W=1]).
struct RoomEntryRecord {
    std::optional<int> room{};
    QString name{};           ///< N: the room's name
    QString denied{};         ///< A: the room's access-denied text
    QString accessPassword{}; ///< B
    QString adminPassword{};  ///< S
    bool watch = false;       ///< W=1: the room is (to be) the watched one

    QString encode() const;
    static RoomEntryRecord decode(const QString &record);
};

/// Kind 7, a room's settings record; in, the public one (no passwords).
/// Also kind 28 in, the answer to an administrator password: `#` and `H`,
/// and the whole record, passwords included, when `H` holds `A`. On the
/// wire: # N S B I P C U M A V G J H, each left out when empty; the server
/// stores the record without `#` and `H`.
struct RoomRecord {
    std::optional<int> room{};
    QString name{};           ///< N; "Vacant" marks a free room
    QString adminPassword{};  ///< S
    QString accessPassword{}; ///< B
    QString icon{};           ///< I: the icon number, as written
    QString serverChoice{};   ///< P: 0 to 2, as written
    QString caption{};        ///< C
    QString url{};            ///< U: the web button's address
    QString welcome{};        ///< M
    QString denied{};         ///< A: the access-denied text
    QString roots{};          ///< V: approved URL roots, one a line
    QString booted{};         ///< G: booted nicks, one a line
    QString editor{};         ///< J: nick of the last editor
    RoomFlags flags{};        ///< H

    /// The settings an administrator edits, in the order they travel: the
    /// record counts as a whole over these.
    static const std::array<std::pair<char, QString RoomRecord::*>, 11> settings;
    bool sameSettings(const RoomRecord &other) const;

    QString encode() const;
    static RoomRecord decode(const QString &record);
};

} // namespace hchat
