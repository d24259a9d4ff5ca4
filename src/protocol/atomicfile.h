#pragma once

#include <QByteArray>
#include <QFileDevice>
#include <QString>

#include <memory>

class QSaveFile;

namespace hchat {

/// Every file the client and the server write whole goes through here: the
/// bytes go to a temporary file beside the target, each write, the flush and
/// the sync to disk are checked, and only then does the temporary replace
/// the target. On any failure (full disk, read-only folder, missing folder)
/// the old file stays exactly as it was and errorString() says why.
///
/// It sits in the protocol library only because that is the one library the
/// server links besides Qt; it knows nothing about the wire. Where the file
/// lives is the caller's business.
class AtomicFile
{
public:
    /// `permissions`: given to the new file before it replaces the old one;
    /// none makes it readable and writable by its owner alone.
    explicit AtomicFile(const QString &path, QFileDevice::Permissions permissions = {});
    /// Anything not committed is thrown away; the old file stays.
    ~AtomicFile();
    AtomicFile(const AtomicFile &) = delete;
    AtomicFile &operator=(const AtomicFile &) = delete;

    /// Starts the temporary file. False when it cannot be made.
    bool open();
    /// Appends bytes. False once anything failed: later writes are ignored
    /// and commit() fails.
    bool write(const QByteArray &bytes);
    /// Flushes and syncs, then replaces the target. False when anything
    /// failed since open(); the target is untouched then.
    bool commit();
    /// Drops what was written; the target is untouched.
    void cancel();

    QString fileName() const { return m_path; }
    /// Why the last step failed; empty while all went well.
    QString errorString() const { return m_error; }

    /// The whole file in one go. False (old file kept, `error` set) on failure.
    static bool save(const QString &path, const QByteArray &bytes, QString *error = nullptr,
                     QFileDevice::Permissions permissions = {});

    enum class ReadResult {
        Absent, ///< no such file: saving creates it
        Read,   ///< read whole
        Failed  ///< there but not read whole: it must not be saved over
    };
    /// Reads a file whole. A file larger than `maxSize` (when positive) is
    /// not read and counts as Failed.
    static ReadResult read(const QString &path, QByteArray *bytes, QString *error = nullptr,
                           qint64 maxSize = -1);

private:
    bool fail(const QString &why);

    QString m_path;
    QFileDevice::Permissions m_permissions;
    std::unique_ptr<QSaveFile> m_file;
    QString m_error;
};

} // namespace hchat
