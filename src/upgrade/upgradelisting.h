#pragma once

#include <QByteArray>
#include <QDate>
#include <QString>

namespace hchat {

/// What the web site's download listing says about the program file.
///
/// The listing names each file on a "file=" line; the line two below it
/// carries "mtime=" and the file's Unix time. A "sha256=" line among the
/// entry's lines, when present, gives the digest of the file's contents.
struct UpgradeListing {
    bool found = false;    ///< the entry and a readable time were there
    QDate date;            ///< the posted file's date, as the site's calendar counts it
    QByteArray sha256;     ///< lower-case hex digest, empty when the listing has none
    QByteArray signedText; ///< the "file=", "size=", "mtime=" and "sha256=" lines a signature covers
    QByteArray signature;  ///< the "sig=" line's Ed25519 signature, decoded from hex
    qint64 size = -1;      ///< the "size=" line's length, -1 without one

    /// Reads the entry of `programFile` from the listing text.
    static UpgradeListing PostDates(const QString &listing, const QString &programFile);
    /// The day of a Unix time the way the site counts it: five hours behind UTC.
    static QDate dayOf(qint64 unixSeconds);

    /// The upgrade button's caption: "Upgrade to version " and the date as "mmm d".
    QString caption() const;
    /// Whether the posted file is later than the running program's version date.
    bool isLaterThan(const QDate &versionDate) const { return found && versionDate < date; }
};

} // namespace hchat
