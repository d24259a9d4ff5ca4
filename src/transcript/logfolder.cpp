#include "transcript/logfolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace hchat {

bool LogFolder::make(const QString &folder)
{
    if (folder.isEmpty())
        return false;
    if (!QFileInfo(folder).isDir() && !QDir().mkpath(folder))
        return false;
    QFile::setPermissions(folder, folderPermissions);
    return true;
}

bool LogFolder::secure(const QString &folder)
{
    if (!make(folder))
        return false;
    const QFileInfoList files = QDir(folder).entryInfoList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QFileInfo &f : files) {
        // A link may point anywhere: what it points to is not ours to change.
        if (!f.isSymLink())
            QFile::setPermissions(f.filePath(), filePermissions);
    }
    return true;
}

bool LogFolder::openForAppend(QFile &file, QIODevice::OpenMode extra)
{
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | extra, filePermissions))
        return false;
    file.setPermissions(filePermissions);
    return true;
}

} // namespace hchat
