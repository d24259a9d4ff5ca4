#pragma once

#include <QString>

namespace hchat {

/// Whether a downloaded file is a program this computer can run: an ELF (or,
/// on Windows, PE) executable of the same class, byte order and machine as
/// the program that is running.
class ExecutableCheck
{
public:
    /// The empty text when `candidate` is such a program, else why not.
    /// `reference` is the running program's own file.
    static QString problem(const QString &candidate, const QString &reference);
    /// The empty text when `program` answers "--version" with this program's
    /// name and exit status 0 within `timeoutMs`, else why not. It is ended
    /// when it takes longer.
    static QString versionProblem(const QString &program, int timeoutMs = 5000);
};

} // namespace hchat
