#include "staffpasswords.h"

#include <QFile>
#include <QFileInfo>

#include <sodium.h>

namespace hchat {

namespace {

bool sodiumReady()
{
    static const bool ready = sodium_init() >= 0;
    return ready;
}

} // namespace

bool StaffPasswords::load(const QString &path, QString *error)
{
    m_hashes.clear();
    const QFileInfo info(path);
    if (!info.isFile()) {
        *error = QStringLiteral("%1: no such file").arg(path);
        return false;
    }
    constexpr QFileDevice::Permissions others =
        QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ReadOther | QFileDevice::WriteOther;
    if (info.permissions() & others) {
        *error = QStringLiteral("%1 may be read or changed by others than its owner; "
                                "make it the owner's only (chmod 600)")
                     .arg(path);
        return false;
    }
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("%1: %2").arg(path, f.errorString());
        return false;
    }
    int lineNumber = 0;
    for (const QByteArray &raw : f.readAll().split('\n')) {
        ++lineNumber;
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        // The hash holds no ':', a nick may: split at the last one.
        const qsizetype colon = line.lastIndexOf(u':');
        const QString nick = colon > 0 ? line.left(colon).trimmed() : QString();
        const QByteArray hashText = colon > 0 ? line.mid(colon + 1).trimmed().toLatin1() : QByteArray();
        if (nick.isEmpty() || !hashText.startsWith("$argon2") || hashText.size() >= crypto_pwhash_STRBYTES) {
            *error = QStringLiteral("%1, line %2: not a `nick:hash` line (make one with "
                                    "hchat-server --hash-password NICK)")
                         .arg(path)
                         .arg(lineNumber);
            m_hashes.clear();
            return false;
        }
        add(nick, hashText);
    }
    if (m_hashes.isEmpty()) {
        *error = QStringLiteral("%1 names no staff").arg(path);
        return false;
    }
    return true;
}

void StaffPasswords::add(const QString &nick, const QByteArray &hash)
{
    m_hashes.insert(nick.trimmed().toUpper(), hash);
}

bool StaffPasswords::isStaffNick(const QString &nick) const
{
    return !nick.isEmpty() && m_hashes.contains(nick.toUpper());
}

bool StaffPasswords::verify(const QString &nick, const QString &password) const
{
    return verifyHash(hashOf(nick), password);
}

bool StaffPasswords::verifyHash(const QByteArray &hash, const QString &password)
{
    if (hash.isEmpty() || password.isEmpty() || !sodiumReady())
        return false;
    const QByteArray pw = password.toUtf8();
    // constData() is zero-terminated, as the library wants the hash.
    return crypto_pwhash_str_verify(hash.constData(), pw.constData(), quint64(pw.size())) == 0;
}

QByteArray StaffPasswords::hash(const QString &password, quint64 opsLimit, size_t memLimit)
{
    if (!sodiumReady())
        return {};
    const QByteArray pw = password.toUtf8();
    char out[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str(out, pw.constData(), quint64(pw.size()),
                          opsLimit ? opsLimit : crypto_pwhash_OPSLIMIT_INTERACTIVE,
                          memLimit ? memLimit : crypto_pwhash_MEMLIMIT_INTERACTIVE) != 0)
        return {};
    return QByteArray(out);
}

quint64 StaffPasswords::minOpsLimit()
{
    return crypto_pwhash_OPSLIMIT_MIN;
}

size_t StaffPasswords::minMemLimit()
{
    return crypto_pwhash_MEMLIMIT_MIN;
}

} // namespace hchat
