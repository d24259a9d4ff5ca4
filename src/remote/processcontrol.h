#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace hchat {

/// The operating system's processes, windows and services, as far as the
/// launchers need them: the seam between their rules and the platform.
class ProcessControl
{
public:
    /// A top-level window and the process that owns it.
    struct TopWindow {
        QString title;
        qint64 pid = 0;
        /// The file name of the owner's executable; empty when unknown.
        QString executable;
        /// The window's client machine is this host: the pid is one of ours.
        bool local = false;
        /// The owner runs as our user.
        bool ownUser = false;
    };

    virtual ~ProcessControl() = default;

    /// The desktop's top-level windows. Where windows cannot be listed, the
    /// running processes stand in for them, titled by their executable name.
    virtual QList<TopWindow> topLevelWindows() = 0;
    /// Ends the process; failures are ignored.
    virtual void endProcess(qint64 pid) = 0;
    /// Whether the named system service is running; any failure reads as not.
    virtual bool isServiceRunning(const QString &name) = 0;
    /// Starts `program` with administrator rights; false when it could not be started.
    virtual bool startElevated(const QString &program, const QString &workingFolder) = 0;
    /// Starts `program` detached from this one. Returns the empty text, or
    /// why it could not be started.
    virtual QString startDetached(const QString &program, const QStringList &arguments,
                                  const QString &workingFolder) = 0;
};

} // namespace hchat
