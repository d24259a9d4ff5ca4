#pragma once

#include <QFileDevice>
#include <QIODevice>
#include <QString>

class QFile;

namespace hchat {

/// The ChatLog folder holds private conversations, the settings (proxy
/// password included) and the debug log: only its owner may enter it, and
/// every file in it is readable by its owner only, whatever the umask.
class LogFolder
{
public:
    static constexpr QFileDevice::Permissions folderPermissions =
        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner;
    static constexpr QFileDevice::Permissions filePermissions =
        QFileDevice::ReadOwner | QFileDevice::WriteOwner;

    /// Makes the folder (and its parents) when missing and closes it to
    /// others. Returns false when it is not there afterwards.
    static bool make(const QString &folder);
    /// make(), and closes every file already in the folder to others: logs
    /// written by older versions were readable by everyone.
    static bool secure(const QString &folder);
    /// Opens `file` (in the folder) for appending; a new file is made
    /// owner-only from the start, an old one is made so.
    static bool openForAppend(QFile &file, QIODevice::OpenMode extra = {});
};

} // namespace hchat
