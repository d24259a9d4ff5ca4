#pragma once

#include "protocol/recordkind.h"

#include <QString>

namespace hchat {

/// Field `H` of room records (kind 7) and of administration answers (kind
/// 28): what a room has and what the receiving session may do with it, as
/// letters, so that clients can follow the unlock rules while the passwords
/// themselves stay on the server.
///   S  the room has an administrator password
///   B  the room has an access password
///   A  this session may administer the room (the answer carries the whole
///      record, passwords included)
///   T  this session has proved its staff rights
struct RoomFlags {
    bool adminPassword = false;
    bool accessPassword = false;
    bool administrator = false;
    bool staff = false;

    /// Reads `H` of a record; letters we don't know are skipped.
    static RoomFlags read(const QString &record);
    /// The `H` field, or the empty text when no letter is set.
    QString field() const;

    /// Kind of the administration request (out: `#`, `S`) and its answer
    /// (in: `#`, `H`, and the whole record when granted).
    static constexpr int AdminKind = kindNumber(RecordKind::AdminCheck);
};

} // namespace hchat
