#pragma once

#include <QString>
#include <QStringList>

namespace hchat {

class ProcessControl;

#ifdef Q_OS_WIN
inline constexpr char remoteScriptFile[] = "tv.bat", remoteHelperFile[] = "halvexhelp.exe";
#else
inline constexpr char remoteScriptFile[] = "tv.sh", remoteHelperFile[] = "halvexhelp";
#endif

/// The Remote Support command: clears away running copies of the
/// remote-desktop tool that would get in the way, stops its services through
/// the shipped elevated script when one runs, then starts our own
/// remote-support program from the program folder.
class RemoteSupport
{
public:
    /// The tool whose windows and services are cleared away.
    static constexpr const char *ToolName = "TeamViewer";
    /// Windows of the tool with this in their title are left alone.
    static constexpr const char *KeptMarker = "QRV";
    /// Service names are the tool's name followed by one of these numbers.
    static constexpr int FirstServiceNumber = 7;
    static constexpr int LastServiceNumber = 13;

    RemoteSupport(ProcessControl &control, QString programFolder);

    /// Runs the three steps in order. Returns one notice line when our own
    /// program could not be started, else the empty text; the other
    /// failures stay silent.
    QString run();

    /// The first of folders (in order) that holds the remote-support program,
    /// ending in '/'; empty when none does.
    static QString findHelper(const QStringList &folders);
    /// The notice for a remote-support program found nowhere: where the user
    /// can put it without asking an administrator.
    static QString notFoundNotice(const QString &userFolder);

    /// The elevated script and the remote-support program of this platform.
    static QString elevatedScriptName() { return QLatin1String(remoteScriptFile); }
    static QString helpProgramName() { return QLatin1String(remoteHelperFile); }

private:
    void endConflictingWindows();
    bool anyServiceRunning();

    ProcessControl &m_control;
    QString m_folder;
};

} // namespace hchat
