#include "app/debuglog.h"

#include "transcript/logfolder.h"

#include <QFile>

namespace hchat {

namespace {
QString &folder()
{
    static QString f;
    return f;
}
} // namespace

void DebugLog::setFolder(const QString &logFolder)
{
    folder() = logFolder;
}

void DebugLog::note(const QString &line)
{
    if (folder().isEmpty() || !LogFolder::make(folder()))
        return;
    QFile f(folder() + QStringLiteral("Debug.log"));
    // Keep the log from growing without end over months of daily use.
    if (f.size() > 1024 * 1024)
        f.remove();
    if (LogFolder::openForAppend(f, QIODevice::Text))
        f.write((line + QLatin1Char('\n')).toUtf8());
}

} // namespace hchat
