#pragma once

#include "remote/processcontrol.h"

#include <QObject>

namespace hchat {

/// ProcessControl on this operating system.
///
/// Linux: windows from the window manager's client list over X11 (EWMH
/// `_NET_CLIENT_LIST`, `_NET_WM_NAME`, `_NET_WM_PID`); without a window
/// manager, the root window's children; on Wayland, or without an X
/// display, the running processes by executable name under /proc. A process
/// is ended with SIGTERM, then SIGKILL after the grace period. Services are
/// systemd units asked over D-Bus; elevation is pkexec.
///
/// Windows: EnumWindows, TerminateProcess, the service control manager and
/// ShellExecute with "runas".
class SystemProcessControl : public QObject, public ProcessControl
{
    Q_OBJECT
public:
    explicit SystemProcessControl(QObject *parent = nullptr);

    /// How long an ended process gets to go before it is killed (default 3 s).
    void setGracePeriod(int milliseconds) { m_graceMs = milliseconds; }

    QList<TopWindow> topLevelWindows() override;
    void endProcess(qint64 pid) override;
    bool isServiceRunning(const QString &name) override;
    bool startElevated(const QString &program, const QString &workingFolder) override;
    QString startDetached(const QString &program, const QStringList &arguments,
                          const QString &workingFolder) override;

private:
    /// QProcess's detached start, with its reason on failure.
    static QString startProcess(const QString &program, const QStringList &arguments,
                                const QString &workingFolder);

    int m_graceMs = 3000;
};

} // namespace hchat
