#pragma once

#include <QDate>

namespace hchat {

/// The calendar date that is this program's version, set once in the build.
QDate programVersionDate();

} // namespace hchat
