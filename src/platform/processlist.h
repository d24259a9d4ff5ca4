#pragma once

#include <QList>
#include <QString>

namespace hchat {

/// The running processes and their executable names, from /proc.
class ProcessList
{
public:
    struct Process {
        qint64 pid = 0;
        QString name;         ///< the executable's file name, else the kernel's short name
        bool ownUser = false; ///< runs as our user
    };

    /// Every process under `procRoot` (default /proc) whose files can be read.
    static QList<Process> all(const QString &procRoot = QStringLiteral("/proc"));
    /// The process's start time in clock ticks since boot, 0 when it is gone;
    /// tells a process apart from a later one that got the same id.
    static quint64 startTime(qint64 pid, const QString &procRoot = QStringLiteral("/proc"));
    /// The process itself: its executable's file name (empty when it can't
    /// be read: gone, or another user's) and whether it runs as our user.
    static Process one(qint64 pid, const QString &procRoot = QStringLiteral("/proc"));
};

} // namespace hchat
