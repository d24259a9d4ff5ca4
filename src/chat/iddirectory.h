#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

#include <vector>

namespace hchat {

/// Fast look-ups on the session's ID directory (a plain list of "nick=ID"
/// lines kept in the order seen). Holds a hash of the lines and each line's
/// arrival number, so that finding, adding and removing a line cost
/// O(1)..O(log n) plus one shift, instead of a scan of every line. Rebuilds
/// itself when somebody else changed the list.
class IdDirectory
{
public:
    explicit IdDirectory(QStringList &lines);

    bool contains(const QString &line);
    /// Appends the line when it is not there yet.
    void add(const QString &line);
    /// Removes every copy of the line.
    void remove(const QString &line);

private:
    void sync();
    void rebuild();
    void remember();

    QStringList &m_lines;
    QHash<QString, qint64> m_serial; // line -> arrival number
    std::vector<qint64> m_order;     // arrival number of each line, ascending
    qint64 m_next = 0;
    bool m_duplicates = false; // then fall back to plain list operations
    qsizetype m_size = -1;
    const QString *m_data = nullptr;
};

} // namespace hchat
