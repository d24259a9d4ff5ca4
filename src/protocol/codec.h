#pragma once

#include <QString>

namespace hchat {

// The tagged-field record format: every record is one line of fields written
// <X>value</X>, one-character names, in any order. Only the first occurrence
// of a field counts. Values are not escaped: a line break inside a value
// travels as "||" (see GroomMessage) and reads back as CR LF.

/// `<name>value</name>`, or the empty text for an empty value.
QString AddS(const QString &value, const QString &name);
/// `<name>` decimal `</name>`; always written, also for 0 and negatives.
QString AddI(qint64 value, const QString &name);
/// The value of the first field `name`, each "||" turned into CR LF; empty
/// when the field is absent, empty, or its tags are out of order.
QString GetS(const QString &record, const QString &name);
/// GetS read as a whole decimal integer; 0 when absent or not a number in full.
int GetI(const QString &record, const QString &name);
/// The record without its first field `name`; unchanged when absent.
QString KillS(const QString &record, const QString &name);

/// Strict whole-number reading shared by the codec and its callers: an
/// optional sign and decimal digits only, 0 otherwise (also on overflow).
int toIntOrZero(QStringView text);

} // namespace hchat
