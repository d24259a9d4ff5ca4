#include "transcript/chatlogger.h"

#include "transcript/logfolder.h"

#include <QDir>
#include <QFileInfo>

namespace hchat {

namespace {
#ifdef Q_OS_WIN
const char kEol[] = "\r\n";
#else
const char kEol[] = "\n";
#endif
} // namespace

ChatLogger::ChatLogger(const QString &logFolder, std::function<QDateTime()> now)
    : m_folder(logFolder), m_now(std::move(now))
{
}

ChatLogger::~ChatLogger() = default;

QString ChatLogger::roomLogPath(int room) const
{
    return QDir(m_folder).filePath(QStringLiteral("Room %1 %2.log")
                                       .arg(room)
                                       .arg(m_now().date().toString(QStringLiteral("yyyy-MM-dd"))));
}

QString ChatLogger::pmLogPath() const
{
    return QDir(m_folder).filePath(
        QStringLiteral("PM %1.log").arg(m_now().date().toString(QStringLiteral("yyyy-MM-dd"))));
}

void ChatLogger::LogOpened()
{
    const QString line = QStringLiteral("----------  ") +
                         m_now().time().toString(QStringLiteral("hh:mm:ss")) +
                         QStringLiteral(" Open  ----------");
    AutoLog(line);
    PMAutoLog(line);
}

void ChatLogger::append(Slot &slot, const QString &path, const QString &line)
{
    // Rooms and days change under a running window: follow them, keeping one
    // file open per kind of log.
    if (slot.path != path || !slot.file || !slot.file->isOpen()) {
        slot.file.reset();
        slot.path = path;
        auto f = std::make_unique<QFile>(path);
        // Private conversations: the folder and the files are the owner's only.
        if (!LogFolder::make(QFileInfo(path).absolutePath()) || !LogFolder::openForAppend(*f))
            return; // a log that can't be written must not stop the chat
        slot.file = std::move(f);
    }
    QString text = line;
    text.replace(QLatin1Char('\n'), QLatin1String(kEol));
    slot.file->write(text.toUtf8());
    slot.file->write(kEol);
    slot.file->flush();
}

} // namespace hchat
