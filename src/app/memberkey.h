#pragma once

#include "protocol/sealing.h"

#include <QString>

namespace hchat {

/// The member's own key pair, which proves to sealed servers that this is
/// the member behind the member ID. Kept beside the settings, owner-only.
class MemberKey
{
public:
    struct Loaded {
        SealKeyPair pair;
        /// What the user must be told (a damaged file set aside, a key that
        /// could not be kept); empty when all went well.
        QString notice;
        /// The key is not the one the member ID was known under: the caller
        /// makes a new ID, which the old key's servers don't hold against us.
        bool replaced = false;
    };

    /// Reads the pair at `path`, or makes it there on the first start. A
    /// damaged file is renamed aside (never deleted: it may be mended by
    /// hand) and a new pair made; a pair that can't be saved serves this run.
    static Loaded load(const QString &path);
    /// The file's name beside Halvex.ini.
    static QString fileName() { return QStringLiteral("Member.key"); }
};

} // namespace hchat
