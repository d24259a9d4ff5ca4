#pragma once

#include <QDateTime>
#include <QString>

namespace hchat {

/// Formats `t` by the classic date-time letters the catalogue's formats are
/// written in (letters are case-insensitive):
///   d dd ddd dddd      day, day with zero, "Mon", "Monday"
///   m mm mmm mmmm      month, month with zero, "Jan", "January"; m and mm
///                      right after an h or hh give minutes instead
///   yy yyyy            year in two or four digits
///   h hh n nn s ss     hour, minutes ("n", not "m"), seconds; zero-padded when doubled
///   z zzz              milliseconds
///   am/pm a/p ampm     12-hour clock with that marker (the case as written)
///   t tt c             short time, long time, date and long time
///   "..." '...'        literal text
/// Any other character is copied as it stands. Names are English whatever the locale.
QString FormatDateTime(const QString &format, const QDateTime &t);

} // namespace hchat
