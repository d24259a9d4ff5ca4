#include "memberkeys.h"

#include "protocol/atomicfile.h"
#include "protocol/sealing.h"

#include <QDir>

namespace hchat {

// One binding a line: base64 of the ID's UTF-8, a blank, base64 of the key.
MemberKeys::MemberKeys(const QString &dir)
    : m_path(dir.isEmpty() ? QString() : QDir(dir).filePath(QString::fromLatin1(fileName)))
{
    if (m_path.isEmpty())
        return;
    QByteArray bytes;
    const auto read = AtomicFile::read(m_path, &bytes, &m_loadError, 64 << 20);
    if (read == AtomicFile::ReadResult::Absent)
        return;
    m_unreadable = read == AtomicFile::ReadResult::Failed;
    m_damaged = m_unreadable;
    for (const QByteArray &line : bytes.split('\n')) {
        if (line.isEmpty())
            continue;
        const QList<QByteArray> parts = line.split(' ');
        const QByteArray key = QByteArray::fromBase64(parts.value(1));
        const QString id = QString::fromUtf8(QByteArray::fromBase64(parts.value(0)));
        if (parts.size() != 2 || key.size() != SealWire::keyBytes || id.isEmpty()) {
            m_damaged = true;
            continue;
        }
        m_keys.insert(id, key);
    }
    if (m_damaged && m_loadError.isEmpty())
        m_loadError =
            QStringLiteral("%1 is damaged; it is kept as it is and no new member key is bound").arg(m_path);
}

bool MemberKeys::bind(const QString &id, const QByteArray &key)
{
    if (m_damaged || m_keys.size() >= maxBindings || key.size() != SealWire::keyBytes)
        return false;
    m_keys.insert(id, key);
    m_changed = true;
    return true;
}

void MemberKeys::save()
{
    if (!m_changed || m_path.isEmpty())
        return;
    QByteArray out;
    for (auto it = m_keys.cbegin(); it != m_keys.cend(); ++it)
        out += it.key().toUtf8().toBase64() + ' ' + it.value().toBase64() + '\n';
    QString error;
    if (AtomicFile::save(m_path, out, &error)) {
        m_changed = false;
        m_saveError.clear();
    } else if (error != std::exchange(m_saveError, error)) {
        log(QStringLiteral("cannot write the member keys: %1").arg(error));
    }
}

} // namespace hchat
