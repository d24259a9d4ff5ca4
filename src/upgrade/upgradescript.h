#pragma once

#include <QString>
#include <QStringList>

#include <functional>

namespace hchat {

/// The script that replaces the program with the downloaded "HChat.new"
/// once the program has ended. Its lines are catalogue texts 560 to 567;
/// 561 and 562 take the program file's path, 563 the program folder.
///
/// It is started with this program's process id and its arguments: it waits
/// for that process to end, keeps the old program as a backup, moves the new
/// one into place and starts it with the same arguments.
class UpgradeScript
{
public:
    /// The script's lines; `text` looks up catalogue texts.
    static QStringList lines(const std::function<QString(int)> &text, const QString &programPath,
                             const QString &programFolder);
    /// The script's path: the program's own path with its extension changed to `extension`.
    static QString pathFor(const QString &ownPath, const QString &extension);
    /// Writes the lines, readable, writable and runnable by the owner only.
    /// Returns the empty text, or why it could not be written.
    static QString write(const QString &path, const QStringList &lines);
    /// `value` as one word of the script, whatever it holds.
    static QString quoted(const QString &value);
    /// The arguments the script is started with: the process id, then the program's own arguments.
    static QStringList arguments(qint64 pid, const QStringList &ownArguments);
};

} // namespace hchat
