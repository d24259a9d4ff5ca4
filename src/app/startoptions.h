#pragma once

#include <QString>
#include <QStringList>

namespace hchat {

/// Where the program runs from and what the command line asked for.
struct StartOptions {
    QString programFolder; ///< home of ChatLog and the stored lists, ending in '/'
    QString installFolder; ///< folder of the executable, ending in '/'
    bool standAlone = true;
    QString serverOverride; ///< `--server HOST[:PORT]`, empty for the configured one
    QString error;          ///< a command-line mistake to report, empty when fine

    /// Reads `--home DIR`, `--server HOST[:PORT]`; HCHAT_HOME overrides the
    /// program folder when no `--home` is given.
    static StartOptions parse(const QStringList &arguments, const QString &executablePath,
                              const QString &homeFromEnvironment);
    /// Stand-alone when the upper-cased file name contains "HCHAT".
    static bool isStandAlone(const QString &executablePath);
    static QString usage();
};

} // namespace hchat
