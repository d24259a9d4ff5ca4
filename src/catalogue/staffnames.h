#pragma once

#include <QString>

namespace hchat {

class Catalogue;

/// Whether `nick` is one of the staff names held in catalogue entries 481 to
/// 483 and 486 to 503, compared in upper case. Empty entries and an empty
/// nick never match, so a missing catalogue makes nobody staff.
bool isStaffNick(const Catalogue &catalogue, const QString &nick);

} // namespace hchat
