#include "platform/systemprocesscontrol.h"

#include "platform/processlist.h"
#include "platform/x11windowlist.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QSysInfo>
#include <QTimer>

#include <csignal>
#include <sys/types.h>
#include <unistd.h>

namespace hchat {

namespace {
bool waylandSession()
{
    return !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
           qEnvironmentVariable("XDG_SESSION_TYPE") == QLatin1String("wayland");
}

QDBusMessage callSystemd(const QString &path, const QString &interface, const QString &method,
                         const QVariantList &arguments)
{
    QDBusMessage m =
        QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.systemd1"), path, interface, method);
    m.setArguments(arguments);
    // A missing or hung service manager must not hold up the window for long.
    return QDBusConnection::systemBus().call(m, QDBus::Block, 2000);
}
} // namespace

SystemProcessControl::SystemProcessControl(QObject *parent) : QObject(parent) {}

QList<ProcessControl::TopWindow> SystemProcessControl::topLevelWindows()
{
    QList<TopWindow> out;
    if (!waylandSession()) {
        if (const auto windows = X11WindowList::list()) {
            const QString host = QSysInfo::machineHostName();
            for (const X11WindowList::Window &w : *windows) {
                // A window's pid means something only on the host that runs it.
                const bool local = !w.machine.isEmpty() && w.machine == host;
                const ProcessList::Process p = local ? ProcessList::one(w.pid) : ProcessList::Process();
                out << TopWindow{w.title, w.pid, p.name, local, p.ownUser};
            }
            return out;
        }
    }
    // Wayland clients cannot see each other's windows: the processes, by
    // their executable's name, stand in for them.
    for (const ProcessList::Process &p : ProcessList::all())
        out << TopWindow{p.name, p.pid, p.name, true, p.ownUser};
    return out;
}

void SystemProcessControl::endProcess(qint64 pid)
{
    // 0 and -1 would reach whole process groups; never ourselves either.
    if (pid <= 1 || pid == qint64(::getpid()))
        return;
    const quint64 started = ProcessList::startTime(pid);
    if (started == 0 || ::kill(pid_t(pid), SIGTERM) != 0)
        return;
    QTimer::singleShot(m_graceMs, this, [pid, started] {
        // Only the same process: its id may have gone to a new one meanwhile.
        if (ProcessList::startTime(pid) == started)
            ::kill(pid_t(pid), SIGKILL);
    });
}

bool SystemProcessControl::isServiceRunning(const QString &name)
{
    if (!QDBusConnection::systemBus().isConnected())
        return false;
    const QString unit = name.contains(u'.') ? name : name + QStringLiteral(".service");
    const QDBusMessage found =
        callSystemd(QStringLiteral("/org/freedesktop/systemd1"),
                    QStringLiteral("org.freedesktop.systemd1.Manager"), QStringLiteral("GetUnit"), {unit});
    if (found.type() != QDBusMessage::ReplyMessage || found.arguments().isEmpty())
        return false; // not loaded, so not running
    const QString path = found.arguments().constFirst().value<QDBusObjectPath>().path();
    if (path.isEmpty())
        return false;
    const QDBusMessage state =
        callSystemd(path, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"),
                    {QStringLiteral("org.freedesktop.systemd1.Unit"), QStringLiteral("ActiveState")});
    if (state.type() != QDBusMessage::ReplyMessage || state.arguments().isEmpty())
        return false;
    const QString active = state.arguments().constFirst().value<QDBusVariant>().variant().toString();
    return active == QLatin1String("active") || active == QLatin1String("reloading");
}

bool SystemProcessControl::startElevated(const QString &program, const QString &workingFolder)
{
    const QString pkexec = QStandardPaths::findExecutable(QStringLiteral("pkexec"));
    if (pkexec.isEmpty() || !QFileInfo(program).isFile())
        return false;
    return QProcess::startDetached(pkexec, {QFileInfo(program).absoluteFilePath()}, workingFolder);
}

QString SystemProcessControl::startDetached(const QString &program, const QStringList &arguments,
                                            const QString &workingFolder)
{
    const QFileInfo file(program);
    if (!file.isFile())
        return QStringLiteral("%1 is missing").arg(program);
    if (!file.isExecutable())
        return QStringLiteral("%1 is not runnable").arg(program);
    return startProcess(file.absoluteFilePath(), arguments, workingFolder);
}

} // namespace hchat
