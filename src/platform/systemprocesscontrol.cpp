#include "platform/systemprocesscontrol.h"

#include <QProcess>

namespace hchat {

QString SystemProcessControl::startProcess(const QString &program, const QStringList &arguments,
                                           const QString &workingFolder)
{
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    process.setWorkingDirectory(workingFolder);
    if (!process.startDetached())
        return QStringLiteral("%1 could not be started: %2").arg(program, process.errorString());
    return QString();
}

} // namespace hchat
