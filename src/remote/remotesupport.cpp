#include "remote/remotesupport.h"

#include "remote/processcontrol.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSet>

namespace hchat {

RemoteSupport::RemoteSupport(ProcessControl &control, QString programFolder)
    : m_control(control), m_folder(std::move(programFolder))
{
    if (!m_folder.isEmpty() && !m_folder.endsWith(u'/'))
        m_folder += u'/';
}

QString RemoteSupport::findHelper(const QStringList &folders)
{
    for (const QString &folder : folders) {
        if (folder.isEmpty())
            continue;
        const QFileInfo helper(QDir(folder).filePath(helpProgramName()));
        if (helper.isFile() && helper.isExecutable())
            return QDir::cleanPath(helper.absolutePath()) + u'/';
    }
    return QString();
}

QString RemoteSupport::notFoundNotice(const QString &userFolder)
{
    return QStringLiteral("Remote support is not installed here: ask support for the program %1 "
                          "and put it into %2")
        .arg(helpProgramName(), QDir::toNativeSeparators(userFolder));
}

void RemoteSupport::endConflictingWindows()
{
    QSet<qint64> ended; // a process with several windows is ended once
    for (const ProcessControl::TopWindow &w : m_control.topLevelWindows()) {
        const QString title = w.title.left(255);
        if (!title.contains(QLatin1String(ToolName)) || title.contains(QLatin1String(KeptMarker)))
            continue;
        if (w.pid <= 0 || ended.contains(w.pid))
            continue;
        // A title is anybody's to choose (a browser's page, a chat window
        // named after a nick) and a window's pid another host's: only the
        // tool itself, here and ours, and never this program.
        if (!w.local || !w.ownUser || !w.executable.contains(QLatin1String(ToolName), Qt::CaseInsensitive) ||
            w.pid == QCoreApplication::applicationPid())
            continue;
        ended.insert(w.pid);
        m_control.endProcess(w.pid);
    }
}

bool RemoteSupport::anyServiceRunning()
{
    // Every service is asked, as the count is what decides.
    int running = 0;
    for (int n = FirstServiceNumber; n <= LastServiceNumber; ++n) {
        if (m_control.isServiceRunning(QLatin1String(ToolName) + QString::number(n)))
            ++running;
    }
    return running > 0;
}

QString RemoteSupport::run()
{
    endConflictingWindows();
    if (anyServiceRunning())
        m_control.startElevated(m_folder + elevatedScriptName(), m_folder);
    const QString why = m_control.startDetached(m_folder + helpProgramName(), {}, m_folder);
    if (why.isEmpty())
        return QString();
    return QStringLiteral("Remote support could not be started: ") + why;
}

} // namespace hchat
