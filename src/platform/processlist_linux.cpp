#include "platform/processlist.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <unistd.h>

namespace hchat {

QList<ProcessList::Process> ProcessList::all(const QString &procRoot)
{
    QList<Process> out;
    const QDir root(procRoot);
    for (const QString &entry : root.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool number = false;
        const qint64 pid = entry.toLongLong(&number);
        if (!number || pid <= 0)
            continue;
        Process p = one(pid, procRoot);
        // Another user's process hides its executable, and then the kernel's
        // short name (15 characters) stands in.
        if (p.name.isEmpty()) {
            QFile comm(root.filePath(entry + QStringLiteral("/comm")));
            if (comm.open(QIODevice::ReadOnly))
                p.name = QString::fromUtf8(comm.readAll()).trimmed();
        }
        if (!p.name.isEmpty())
            out << p;
    }
    return out;
}

ProcessList::Process ProcessList::one(qint64 pid, const QString &procRoot)
{
    const QString dir = QDir(procRoot).filePath(QString::number(pid));
    Process p;
    p.pid = pid;
    p.name = QFileInfo(QFileInfo(dir + QStringLiteral("/exe")).symLinkTarget()).fileName();
    const QFileInfo info(dir);
    p.ownUser = info.exists() && info.ownerId() == ::getuid();
    return p;
}

quint64 ProcessList::startTime(qint64 pid, const QString &procRoot)
{
    QFile stat(QDir(procRoot).filePath(QString::number(pid) + QStringLiteral("/stat")));
    if (pid <= 0 || !stat.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray line = stat.readAll();
    // The name in parentheses may hold blanks and parentheses of its own:
    // the fields proper start after the last ')'. The start time is field
    // 22, the 20th after the name.
    const qsizetype close = line.lastIndexOf(')');
    if (close < 0)
        return 0;
    const QList<QByteArray> fields = line.mid(close + 1).simplified().split(' ');
    return fields.size() > 19 ? fields.at(19).toULongLong() : 0;
}

} // namespace hchat
