#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace hchat {

/// The storage form of the catalogue file "chat.dll".
///
/// The file is UTF-8 text: a plain first line, the signature
/// "HCHAT-CATALOGUE 1", then one catalogue line per text line, each scrambled
/// by a character substitution. The substitution moves every printable ASCII
/// character c (32..126) to 32 + ((c - 32) * 23 + 17) mod 95, a permutation
/// of the same 95 characters since 23 and 95 share no factor; it is undone
/// with the inverse multiplier 62 (23 * 62 = 1 mod 95). Every other character
/// (tabs, non-ASCII letters) is kept, so line breaks stay line breaks and a
/// scrambled line is still one line. The signature lets a download that is
/// not a catalogue (an error page, a cut-off or garbled file) be refused
/// instead of loaded as texts.
class CatalogueCodec
{
public:
    static const QByteArray Signature; ///< "HCHAT-CATALOGUE 1"

    /// One line scrambled for storage.
    static QString encodeLine(const QString &plain);
    /// One stored line back to its plain text.
    static QString decodeLine(const QString &stored);

    /// A whole file: the signature line and every line scrambled, each ended by "\n".
    static QByteArray encodeFile(const QStringList &plainLines);
    /// Reads a stored file into plain lines. False (and `lines` untouched) when
    /// the data does not start with the signature line.
    static bool decodeFile(const QByteArray &data, QStringList *lines);
    /// Reads a plain source ("strings2.txt"): UTF-8 lines, CR LF or LF.
    static QStringList splitPlain(const QByteArray &data) { return splitLines(QString::fromUtf8(data)); }
    /// The lines of a text ending in CR LF or LF; a break at the end starts no further line.
    static QStringList splitLines(const QString &text);
};

} // namespace hchat
