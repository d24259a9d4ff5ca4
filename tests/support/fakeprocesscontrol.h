#pragma once

#include "remote/processcontrol.h"

#include <QSet>

namespace hchat::test {

/// Windows and services as the test sets them; every call is logged in
/// order ("windows", "end 42", "service TeamViewer7", "elevated PATH",
/// "start PATH ARGS... in FOLDER").
class FakeProcessControl : public ProcessControl
{
public:
    QList<TopWindow> topLevelWindows() override
    {
        log << QStringLiteral("windows");
        return windows;
    }
    void endProcess(qint64 pid) override { log << QStringLiteral("end %1").arg(pid); }
    bool isServiceRunning(const QString &name) override
    {
        log << QStringLiteral("service ") + name;
        return running.contains(name);
    }
    bool startElevated(const QString &program, const QString &) override
    {
        log << QStringLiteral("elevated ") + program;
        return elevates;
    }
    QString startDetached(const QString &program, const QStringList &arguments,
                          const QString &workingFolder) override
    {
        log << (QStringList{QStringLiteral("start"), program} + arguments +
                QStringList{QStringLiteral("in"), workingFolder})
                   .join(u' ');
        return startError;
    }

    QList<TopWindow> windows;
    QSet<QString> running;
    bool elevates = true;
    QString startError; ///< what startDetached answers
    QStringList log;
};

} // namespace hchat::test
