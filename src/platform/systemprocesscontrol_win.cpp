#include "platform/systemprocesscontrol.h"

#include "platform/win32control.h"

#include <QDir>

namespace hchat {

SystemProcessControl::SystemProcessControl(QObject *parent) : QObject(parent) {}

QList<ProcessControl::TopWindow> SystemProcessControl::topLevelWindows()
{
    QList<TopWindow> out;
    for (const Win32Control::Window &w : Win32Control::topLevelWindows())
        out << TopWindow{QString::fromStdWString(w.title), qint64(w.pid), QString::fromStdWString(w.image),
                         true, w.ownUser};
    return out;
}

void SystemProcessControl::endProcess(qint64 pid)
{
    // TerminateProcess ends at once: no grace period to wait out.
    if (pid > 0 && pid <= 0xFFFFFFFF)
        Win32Control::terminateProcess(std::uint32_t(pid));
}

bool SystemProcessControl::isServiceRunning(const QString &name)
{
    return Win32Control::isServiceRunning(name.toStdWString());
}

bool SystemProcessControl::startElevated(const QString &program, const QString &workingFolder)
{
    return Win32Control::shellExecute(L"runas", QDir::toNativeSeparators(program).toStdWString(),
                                      QDir::toNativeSeparators(workingFolder).toStdWString())
        .empty();
}

QString SystemProcessControl::startDetached(const QString &program, const QStringList &arguments,
                                            const QString &workingFolder)
{
    if (arguments.isEmpty()) {
        return QString::fromStdWString(
            Win32Control::shellExecute(L"open", QDir::toNativeSeparators(program).toStdWString(),
                                       QDir::toNativeSeparators(workingFolder).toStdWString()));
    }
    // Arguments need quoting by the rules of the command line: QProcess knows them.
    return startProcess(program, arguments, workingFolder);
}

} // namespace hchat
