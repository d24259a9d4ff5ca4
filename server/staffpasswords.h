#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>

namespace hchat {

/// The server's staff: nicks and their password hashes, read from a file
/// only its owner may read or change. A line is `nick:hash`, the hash as
/// libsodium's crypto_pwhash_str writes it (`hchat-server --hash-password`
/// makes such a line); blank lines and lines starting with '#' are skipped.
/// Nicks compare in upper case, like the client's.
class StaffPasswords
{
public:
    /// Reads the file. False, with the reason, when it can't be read, when
    /// others than its owner may read or change it, or when a line is not
    /// `nick:hash`: a server that guessed at its staff would hand out rights.
    bool load(const QString &path, QString *error);

    /// Adds one member of staff.
    void add(const QString &nick, const QByteArray &hash);

    bool isEmpty() const { return m_hashes.isEmpty(); }
    /// The nick is a staff nick; that alone proves nothing.
    bool isStaffNick(const QString &nick) const;
    /// The password is this staff nick's. Costs what the hash asks (about a
    /// tenth of a second and 64 MiB for a hash made by hash()).
    bool verify(const QString &nick, const QString &password) const;
    /// The staff nick's hash, empty for any other nick: what verifyHash()
    /// needs, to check away from the poll loop.
    QByteArray hashOf(const QString &nick) const { return m_hashes.value(nick.toUpper()); }
    /// The password is the one the hash was made of (as verify()).
    static bool verifyHash(const QByteArray &hash, const QString &password);

    /// A hash of the password for the staff file, with libsodium's
    /// interactive limits unless told otherwise. Empty when the library
    /// can't start or runs out of memory.
    static QByteArray hash(const QString &password, quint64 opsLimit = 0, size_t memLimit = 0);
    /// The cheapest limits the library takes: for tests, never for real files.
    static quint64 minOpsLimit();
    static size_t minMemLimit();

private:
    QHash<QString, QByteArray> m_hashes; ///< upper-case nick -> hash
};

} // namespace hchat
