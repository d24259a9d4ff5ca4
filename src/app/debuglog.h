#pragma once

#include <QString>

namespace hchat {

/// The program's debug log: ChatLog/Debug.log, one line per note, flushed at
/// once so that the last note before a crash is on disk.
class DebugLog
{
public:
    static void setFolder(const QString &logFolder);
    static void note(const QString &line);
};

} // namespace hchat
