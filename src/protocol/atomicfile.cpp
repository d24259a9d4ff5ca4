#include "protocol/atomicfile.h"

#include <QFile>
#include <QSaveFile>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstring>
#include <unistd.h>
#endif

namespace hchat {

AtomicFile::AtomicFile(const QString &path, QFileDevice::Permissions permissions)
    : m_path(path), m_permissions(permissions)
{
}

AtomicFile::~AtomicFile()
{
    cancel();
}

bool AtomicFile::fail(const QString &why)
{
    if (m_error.isEmpty())
        m_error = why.isEmpty() ? QStringLiteral("unknown error") : why;
    cancel();
    return false;
}

bool AtomicFile::open()
{
    cancel();
    m_error.clear();
    m_file = std::make_unique<QSaveFile>(m_path);
    // Never fall back to writing the target in place: that is what loses it.
    m_file->setDirectWriteFallback(false);
    if (!m_file->open(QIODevice::WriteOnly))
        return fail(m_file->errorString());
    // What this program writes is its user's alone unless the caller says otherwise.
    const QFileDevice::Permissions permissions =
        m_permissions ? m_permissions : QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    if (!m_file->setPermissions(permissions))
        return fail(m_file->errorString());
    return true;
}

bool AtomicFile::write(const QByteArray &bytes)
{
    if (!m_file)
        return fail(QStringLiteral("not open"));
    if (m_file->write(bytes) != bytes.size())
        return fail(m_file->errorString());
    return true;
}

bool AtomicFile::commit()
{
    if (!m_file)
        return fail(QStringLiteral("not open"));
    // Small writes sit in the device's buffer, so a full disk shows only
    // here; QSaveFile::commit() alone would not tell and would put an empty
    // file in place of the old one.
    if (!m_file->flush())
        return fail(m_file->errorString());
#ifdef Q_OS_UNIX
    // Some file systems refuse space only when the data goes to disk;
    // QSaveFile ignores that result, so ask ourselves.
    if (::fsync(m_file->handle()) != 0 && errno != EINVAL && errno != EROFS)
        return fail(QString::fromLocal8Bit(std::strerror(errno)));
#endif
    if (!m_file->commit())
        return fail(m_file->errorString());
    m_file.reset();
    return true;
}

void AtomicFile::cancel()
{
    if (m_file)
        m_file->cancelWriting();
    m_file.reset();
}

bool AtomicFile::save(const QString &path, const QByteArray &bytes, QString *error,
                      QFileDevice::Permissions permissions)
{
    AtomicFile file(path, permissions);
    const bool ok = file.open() && file.write(bytes) && file.commit();
    if (!ok && error)
        *error = file.errorString();
    return ok;
}

AtomicFile::ReadResult AtomicFile::read(const QString &path, QByteArray *bytes, QString *error,
                                        qint64 maxSize)
{
    auto failed = [&](const QString &why) {
        if (error)
            *error = why;
        return ReadResult::Failed;
    };
    QFile file(path);
    if (!file.exists())
        return ReadResult::Absent;
    if (!file.open(QIODevice::ReadOnly))
        return failed(file.errorString());
    const qint64 size = file.size();
    if (maxSize > 0 && size > maxSize)
        return failed(QStringLiteral("larger than %1 bytes").arg(maxSize));
    QByteArray data = file.readAll();
    // A short read is a read error too (a regular file's size is known).
    if (file.error() != QFileDevice::NoError)
        return failed(file.errorString());
    if (size > 0 && data.size() != size)
        return failed(QStringLiteral("read %1 of %2 bytes").arg(data.size()).arg(size));
    *bytes = std::move(data);
    return ReadResult::Read;
}

} // namespace hchat
