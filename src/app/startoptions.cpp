#include "app/startoptions.h"

#include <QDir>
#include <QFileInfo>

namespace hchat {

namespace {
QString withSlash(const QString &folder)
{
    QString f = QDir::cleanPath(QDir(folder).absolutePath());
    if (!f.endsWith(u'/'))
        f += u'/';
    return f;
}
} // namespace

bool StartOptions::isStandAlone(const QString &executablePath)
{
    return QFileInfo(executablePath).fileName().toUpper().contains(QLatin1String("HCHAT"));
}

QString StartOptions::usage()
{
    return QStringLiteral("usage: hchat [--home DIR] [--server HOST[:PORT]]");
}

StartOptions StartOptions::parse(const QStringList &arguments, const QString &executablePath,
                                 const QString &homeFromEnvironment)
{
    StartOptions o;
    o.installFolder = withSlash(QFileInfo(executablePath).absolutePath());
    o.programFolder = o.installFolder;
    o.standAlone = isStandAlone(executablePath);
    if (!homeFromEnvironment.isEmpty())
        o.programFolder = withSlash(homeFromEnvironment);
    for (int i = 1; i < arguments.size(); ++i) {
        const QString &a = arguments.at(i);
        auto next = [&](QString &out) {
            if (i + 1 >= arguments.size() || arguments.at(i + 1).isEmpty()) {
                o.error = a + QStringLiteral(" needs a value");
                return;
            }
            out = arguments.at(++i);
        };
        if (a == QLatin1String("--home")) {
            QString home;
            next(home);
            if (!home.isEmpty())
                o.programFolder = withSlash(home);
        } else if (a.startsWith(QLatin1String("--home="))) {
            o.programFolder = withSlash(a.mid(7));
        } else if (a == QLatin1String("--server")) {
            next(o.serverOverride);
        } else if (a.startsWith(QLatin1String("--server="))) {
            o.serverOverride = a.mid(9);
        } else if (a.startsWith(QLatin1String("-platform")) || a.startsWith(QLatin1String("-style"))) {
            ++i; // Qt's own options, already taken by QApplication when present
        } else {
            o.error = QStringLiteral("unknown option ") + a;
        }
        if (!o.error.isEmpty())
            break;
    }
    return o;
}

} // namespace hchat
