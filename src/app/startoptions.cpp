#include "app/startoptions.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#ifndef HCHAT_DATA_FROM_BIN
#define HCHAT_DATA_FROM_BIN "../share/halvex-chat"
#endif
#ifndef HCHAT_PLUGINS_FROM_BIN
#define HCHAT_PLUGINS_FROM_BIN "../lib/halvex-chat/plugins"
#endif

namespace hchat {

namespace {
QString withSlash(const QString &folder)
{
    QString f = QDir::cleanPath(QDir(folder).absolutePath());
    if (!f.endsWith(u'/'))
        f += u'/';
    return f;
}

// The user's own folders, for a program installed where the user can't write.
void useUserFolders(StartOptions &o)
{
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (config.isEmpty() || data.isEmpty())
        return; // no home at all: stay where we are, and saving will say so
    o.programFolder = withSlash(data + QStringLiteral("/halvex-chat"));
    o.configFolder = withSlash(config + QStringLiteral("/halvex-chat"));
    o.logFolder = o.programFolder + QStringLiteral("ChatLog/");
}

void useHome(StartOptions &o, const QString &home)
{
    o.programFolder = withSlash(home);
    o.configFolder = o.logFolder = o.programFolder + QStringLiteral("ChatLog/");
}
} // namespace

bool StartOptions::isStandAlone(const QString &executablePath)
{
    return QFileInfo(executablePath).fileName().toUpper().contains(QLatin1String("HCHAT"));
}

bool StartOptions::isWritableFolder(const QString &folder)
{
    // QFileInfo asks the system (access(2) on Unix), which knows about
    // read-only mounts as well as permissions.
    const QFileInfo info(folder);
    return info.isDir() && info.isWritable();
}

QString StartOptions::usage()
{
    return QStringLiteral("usage: hchat [--home DIR] [--server HOST[:PORT]] [--help] [--version]");
}

QString StartOptions::help()
{
    return usage() +
           QStringLiteral("\n\n"
                          "  --home DIR                keep settings, logs and lists in DIR\n"
                          "  --server HOST[:PORT]      talk to this chat server for this run\n"
                          "  --help                    show this text\n"
                          "  --version                 show the version date\n"
                          "\n"
                          "HCHAT_HOME=DIR works as --home; HCHAT_DEBUG=1 shows diagnostics on stderr.");
}

QString StartOptions::installedDataFromBin()
{
    return QStringLiteral(HCHAT_DATA_FROM_BIN);
}

QString StartOptions::installedPluginsFromBin()
{
    return QStringLiteral(HCHAT_PLUGINS_FROM_BIN);
}

StartOptions StartOptions::inFolder(const QString &folder)
{
    StartOptions o;
    useHome(o, folder);
    o.installFolder = o.programFolder;
    o.pluginFolder = o.programFolder + QStringLiteral("plugins/");
    return o;
}

QString StartOptions::shippedFile(const QString &relative) const
{
    const QString own = programFolder + relative;
    return programFolder == installFolder || QFileInfo::exists(own) ? own : installFolder + relative;
}

StartOptions StartOptions::parse(const QStringList &arguments, const QString &executablePath,
                                 const QString &homeFromEnvironment)
{
    const QString bin = withSlash(QFileInfo(executablePath).absolutePath());
    StartOptions o = inFolder(bin);
    o.standAlone = isStandAlone(executablePath);
    // An installed layout keeps the shipped data and the plugin in folders of
    // their own beside bin/; a build folder has them beside the executable.
    const QString installedData = withSlash(bin + installedDataFromBin());
    if (QFileInfo(installedData).isDir()) {
        o.installFolder = installedData;
        o.pluginFolder = withSlash(bin + installedPluginsFromBin());
    }
    o.packaged = !isWritableFolder(bin);

    QString home = homeFromEnvironment;
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
            next(home);
        } else if (a.startsWith(QLatin1String("--home="))) {
            if (a.size() > 7)
                home = a.mid(7);
        } else if (a == QLatin1String("--server")) {
            next(o.serverOverride);
        } else if (a.startsWith(QLatin1String("--server="))) {
            o.serverOverride = a.mid(9);
        } else if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            o.showHelp = true;
        } else if (a == QLatin1String("--version")) {
            o.showVersion = true;
        } else if (a.startsWith(QLatin1String("-platform")) || a.startsWith(QLatin1String("-style"))) {
            ++i; // Qt's own options, already taken by QApplication when present
        } else {
            o.error = QStringLiteral("unknown option ") + a;
        }
        if (!o.error.isEmpty())
            break;
    }
    if (!home.isEmpty())
        useHome(o, home);
    else if (o.packaged)
        useUserFolders(o);
    return o;
}

} // namespace hchat
