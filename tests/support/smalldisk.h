#pragma once

// A tiny file system of its own for tests of full and read-only disks: a
// tmpfs mounted on a temporary folder. Mounting needs root (or the right
// capability); where that is not allowed, available() is false and
// skipReason() says why, so the test can skip with a message.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#ifdef Q_OS_LINUX
#include <cerrno>
#include <cstring>
#include <sys/mount.h>
#endif

namespace hchat::test {

class SmallDisk
{
public:
    explicit SmallDisk(int kilobytes = 256)
    {
#ifdef Q_OS_LINUX
        if (!m_dir.isValid()) {
            m_reason = QStringLiteral("no temporary folder");
            return;
        }
        const QByteArray options = "size=" + QByteArray::number(kilobytes) + "k,mode=0755";
        if (::mount("tmpfs", QFile::encodeName(m_dir.path()).constData(), "tmpfs", 0, options.constData()) !=
            0) {
            m_reason = QStringLiteral("cannot mount a small tmpfs here (%1)")
                           .arg(QString::fromLocal8Bit(std::strerror(errno)));
            return;
        }
        m_mounted = true;
#else
        Q_UNUSED(kilobytes);
        m_reason = QStringLiteral("small disks are mounted on Linux only");
#endif
    }
    ~SmallDisk()
    {
#ifdef Q_OS_LINUX
        if (m_mounted)
            ::umount2(QFile::encodeName(m_dir.path()).constData(), MNT_DETACH);
#endif
    }
    bool available() const
    {
        return m_mounted;
    }
    QString skipReason() const
    {
        return m_reason;
    }
    /// The mount point, without a trailing '/'.
    QString path() const
    {
        return m_dir.path();
    }

    /// Fills every free byte with a file of its own; free() gives it back.
    void fill()
    {
        QFile f(path() + QStringLiteral("/.filler"));
        if (f.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
            while (f.write(QByteArray(4096, 'x')) > 0) {
            }
    }
    void free()
    {
        QFile::remove(path() + QStringLiteral("/.filler"));
    }

    /// Turns the disk read-only (or back).
    bool setReadOnly(bool readOnly)
    {
#ifdef Q_OS_LINUX
        const unsigned long flags = MS_REMOUNT | (readOnly ? MS_RDONLY : 0);
        return ::mount(nullptr, QFile::encodeName(path()).constData(), nullptr, flags, nullptr) == 0;
#else
        Q_UNUSED(readOnly);
        return false;
#endif
    }

private:
    QTemporaryDir m_dir;
    QString m_reason;
    bool m_mounted = false;
};

} // namespace hchat::test
