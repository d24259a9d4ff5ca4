#pragma once

#include <QDateTime>
#include <QFile>
#include <QString>

#include <functional>
#include <memory>

namespace hchat {

/// Appends shown lines to log files in the ChatLog folder: one file per room
/// and day ("Room 12 2024-05-01.log"), one per day for private messages
/// ("PM 2024-05-01.log"). Each line is flushed as it is written so a crash
/// loses at most that line. Whether to log ("Auto Logging") is the caller's
/// choice.
class ChatLogger
{
public:
    explicit ChatLogger(
        const QString &logFolder,
        std::function<QDateTime()> now = [] { return QDateTime::currentDateTime(); });
    ~ChatLogger();

    /// Room numbers of the first and second transcript, read at each line.
    std::function<int()> firstRoom = [] { return 0; };
    std::function<int()> secondRoom = [] { return -1; };

    /// A line of the first room's transcript.
    void AutoLog(const QString &line) { append(m_first, roomLogPath(firstRoom()), line); }
    /// A line of the second room's transcript.
    void AutoLog2(const QString &line) { append(m_second, roomLogPath(secondRoom()), line); }
    /// A line of a private-message conversation.
    void PMAutoLog(const QString &line) { append(m_pm, pmLogPath(), line); }
    /// "----------  hh:nn:ss Open  ----------" to the chat log and the
    /// private-message log, written when the window opens with logging on.
    void LogOpened();

    /// The file a room's lines go to today.
    QString roomLogPath(int room) const;
    /// The file private messages go to today.
    QString pmLogPath() const;

private:
    struct Slot {
        QString path;
        std::unique_ptr<QFile> file;
    };
    void append(Slot &slot, const QString &path, const QString &line);

    QString m_folder;
    std::function<QDateTime()> m_now;
    Slot m_first, m_second, m_pm;
};

} // namespace hchat
