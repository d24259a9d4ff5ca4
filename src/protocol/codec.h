#pragma once

#include "protocol/recordkind.h"

#include <QByteArrayView>
#include <QString>

namespace hchat {

// The tagged-field record format: every record is one line of fields written
// <X>value</X>, one-character names, in any order. Only the first occurrence
// of a field counts. AddS and GetS do not escape: text a user typed goes
// through AddText and GetText (wiretext.h), which carry line breaks as "||"
// and keep typed "||" and closing tags apart from them.

/// `<name>value</name>`, or the empty text for an empty value.
QString AddS(const QString &value, const QString &name);
QString AddS(const QString &value, char name);
/// `<name>` decimal `</name>`; always written, also for 0 and negatives.
QString AddI(qint64 value, const QString &name);
QString AddI(qint64 value, char name);
/// `<R>kind</R>`: the field every record starts with.
QString AddKind(RecordKind kind);
/// The value of the first field `name`, each "||" turned into CR LF; empty
/// when the field is absent, empty, or its tags are out of order.
QString GetS(const QString &record, const QString &name);
QString GetS(const QString &record, char name);
/// GetS read as a whole decimal integer; 0 when absent or not a number in full.
int GetI(const QString &record, const QString &name);
int GetI(const QString &record, char name);
/// Whether the record holds the field `name` with its tags in order.
bool HasField(const QString &record, char name);
/// The record without its first field `name`; unchanged when absent.
QString KillS(const QString &record, const QString &name);
QString KillS(const QString &record, char name);

/// Text for a log or an echo: every password field (`S`, `B`) of every
/// record in it reads `***`, also one cut off before its closing tag.
QString hidePasswords(const QString &text);

/// Strict whole-number reading shared by the codec and its callers: an
/// optional sign and decimal digits only, 0 otherwise (also on overflow).
int toIntOrZero(QStringView text);
int toIntOrZero(QByteArrayView text);
/// The same, false when the text is not a number in full.
bool readInt(QByteArrayView text, int *value);

/// The raw bytes of the first field `name` of a record line, by the same
/// rule as GetS but without any decoding: for the header lines every
/// datagram carries, read before anything else.
QByteArrayView fieldBytes(QByteArrayView line, char name);

} // namespace hchat
