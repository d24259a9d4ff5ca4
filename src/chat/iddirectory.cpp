#include "chat/iddirectory.h"

#include <algorithm>

namespace hchat {

IdDirectory::IdDirectory(QStringList &lines) : m_lines(lines) {}

void IdDirectory::remember()
{
    m_size = m_lines.size();
    m_data = m_lines.constData();
}

void IdDirectory::sync()
{
    // Appends and removals made here are recorded; anything else (a loaded
    // or cleared list) shows as another size or another buffer.
    if (m_lines.size() != m_size || m_lines.constData() != m_data)
        rebuild();
}

void IdDirectory::rebuild()
{
    m_serial.clear();
    m_serial.reserve(m_lines.size());
    m_order.clear();
    m_order.reserve(size_t(m_lines.size()));
    m_duplicates = false;
    m_next = 0;
    for (const QString &line : std::as_const(m_lines)) {
        if (m_serial.contains(line))
            m_duplicates = true;
        else
            m_serial.insert(line, m_next);
        m_order.push_back(m_next++);
    }
    remember();
}

bool IdDirectory::contains(const QString &line)
{
    sync();
    return m_serial.contains(line);
}

void IdDirectory::add(const QString &line)
{
    if (contains(line))
        return;
    m_lines.append(line);
    m_serial.insert(line, m_next);
    m_order.push_back(m_next++);
    remember();
}

void IdDirectory::remove(const QString &line)
{
    sync();
    const auto it = m_serial.constFind(line);
    if (it == m_serial.cend())
        return;
    if (m_duplicates) {
        m_lines.removeAll(line);
        rebuild();
        return;
    }
    const auto pos = std::lower_bound(m_order.begin(), m_order.end(), it.value());
    const qsizetype row = pos - m_order.begin();
    m_serial.erase(it);
    m_order.erase(pos);
    m_lines.removeAt(row);
    remember();
}

} // namespace hchat
