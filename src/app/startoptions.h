#pragma once

#include <QString>
#include <QStringList>

namespace hchat {

/// Where the program runs from, where it keeps the user's files, and what the
/// command line asked for.
///
/// A build folder or a writable install keeps everything in the program
/// folder (ChatLog/ for the settings and logs, the stored lists beside it).
/// An installed package, whose folder the user can't write, keeps them in the
/// user's own folders instead, under the same file names. `--home DIR` and
/// HCHAT_HOME always win.
struct StartOptions {
    QString programFolder; ///< home of the stored lists, ending in '/'
    QString configFolder;  ///< folder of Halvex.ini, ending in '/'
    QString logFolder;     ///< folder of the logs, ending in '/'
    QString installFolder; ///< shipped data (chat.dll, Media/), ending in '/'
    QString pluginFolder;  ///< the web pane plugin's folder, ending in '/'
    /// The executable's folder can't be written: an installed package, kept up
    /// to date by the package manager. Unless `--home` or HCHAT_HOME says
    /// otherwise, the user's files are then in the user's own folders.
    bool packaged = false;
    bool standAlone = true;
    QString serverOverride;   ///< `--server HOST[:PORT]`, empty for the configured one
    bool showHelp = false;    ///< `--help`: print the usage and stop
    bool showVersion = false; ///< `--version`: print the version date and stop
    QString error;            ///< a command-line mistake to report, empty when fine

    /// Reads `--home DIR`, `--server HOST[:PORT]`, `--help`, `--version`; HCHAT_HOME overrides the
    /// program folder when no `--home` is given. Looks at the executable's
    /// folder to tell a build folder from an installed layout.
    static StartOptions parse(const QStringList &arguments, const QString &executablePath,
                              const QString &homeFromEnvironment);
    /// Everything in one folder: the layout of a build folder, and of `--home`.
    static StartOptions inFolder(const QString &folder);
    /// Whether this program may create and replace files in folder. False for
    /// a folder that is missing, read-only, or on a read-only file system.
    static bool isWritableFolder(const QString &folder);
    /// Stand-alone when the upper-cased file name contains "HCHAT".
    static bool isStandAlone(const QString &executablePath);
    static QString usage();
    /// The `--help` text: the usage line and what each option does.
    static QString help();

    /// Where an install puts the shipped data and the plugin, relative to the
    /// executable's folder.
    static QString installedDataFromBin();
    static QString installedPluginsFromBin();

    /// A shipped file by its relative name ("Media/Notify.wav"): the program
    /// folder's own copy when there is one, otherwise the installed one.
    QString shippedFile(const QString &relative) const;
};

} // namespace hchat
