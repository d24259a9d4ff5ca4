#pragma once

#include "protocol/recordkind.h"

#include <QString>

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
    int room = -1;        ///< -1: not in the chat, also when the field is absent
    int watch = -1;       ///< -1: no watched room, also when the field is absent
    bool hasWatch = true; ///< write W (every member record does; the "not in the chat" answer does not)
    QString icon{};         ///< "icon|away code"; left out when empty
    QString silentSince{};  ///< Z: server time since the member has not been heard
    QString renamed{};      ///< D: a departure that only changed the nick

    QString encode(RecordKind kind = RecordKind::Presence) const;
    static MemberRecord decode(const QString &record);
};

} // namespace hchat
