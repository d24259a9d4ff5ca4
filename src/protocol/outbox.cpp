#include "protocol/outbox.h"

#include "protocol/wirelimits.h"
#include "protocol/wiretext.h"

namespace hchat {

qsizetype Outbox::offsetOf(qsizetype index) const
{
    qsizetype at = 0;
    for (qsizetype i = 0; i < index; ++i)
        at += m_entries[i].bytes;
    return at;
}

QList<Outbox::Dropped> Outbox::add(quint32 number, const QByteArray &line)
{
    if (m_announcing) {
        m_bytes.insert(offsetOf(m_announceAt), line);
        m_entries.insert(m_announceAt++, {number, int(line.size()), true});
        return {};
    }
    QList<Dropped> dropped;
    for (;;) {
        qsizetype waiting = 0;
        qsizetype oldest = -1;
        for (qsizetype i = 0; i < m_entries.size(); ++i) {
            if (m_entries[i].announcement)
                continue;
            ++waiting;
            if (oldest < 0)
                oldest = i;
        }
        const bool full = waiting >= WireLimits::maxQueuedRecords ||
                          m_bytes.size() + line.size() > WireLimits::maxQueuedBytes;
        if (!full || oldest < 0)
            break;
        const qsizetype at = offsetOf(oldest);
        const Entry e = m_entries.takeAt(oldest);
        dropped.append({e.number, decodeWireLine(m_bytes.constData() + at, e.bytes - 1)});
        m_bytes.remove(at, e.bytes);
        // The poll in flight no longer matches: the next one carries afresh,
        // and the record numbers keep the server from taking any twice.
        if (oldest < m_inFlightCount)
            forgetInFlight();
        if (oldest < m_announceAt)
            --m_announceAt;
    }
    m_bytes += line;
    m_entries.append({number, int(line.size()), false});
    return dropped;
}

void Outbox::beginAnnouncement()
{
    forgetInFlight();
    qsizetype at = 0;
    for (qsizetype i = 0; i < m_entries.size();) {
        if (m_entries[i].announcement) {
            m_bytes.remove(at, m_entries[i].bytes);
            m_entries.removeAt(i);
        } else {
            at += m_entries[i].bytes;
            ++i;
        }
    }
    m_announcing = true;
    m_announceAt = 0;
}

void Outbox::settleAnnouncement()
{
    for (Entry &e : m_entries)
        e.announcement = false;
    m_announcing = false;
    m_announceAt = 0;
}

qsizetype Outbox::carry()
{
    // An announcement travels alone: the lines behind it follow in the next
    // poll, when the others coming back with us have announced themselves
    // too and can be told them.
    const bool announcing = !m_entries.isEmpty() && m_entries.first().announcement;
    qsizetype n = 0;
    qsizetype count = 0;
    for (const Entry &e : std::as_const(m_entries)) {
        if (count == WireLimits::maxRecordsPerPoll || n + e.bytes > WireLimits::maxCarriedBytes ||
            (announcing && !e.announcement))
            break;
        n += e.bytes;
        ++count;
    }
    m_inFlightBytes = n;
    m_inFlightCount = count;
    return n;
}

void Outbox::forgetInFlight()
{
    m_inFlightBytes = 0;
    m_inFlightCount = 0;
}

QList<quint32> Outbox::acknowledge()
{
    QList<quint32> numbers;
    numbers.reserve(m_inFlightCount);
    for (qsizetype i = 0; i < m_inFlightCount; ++i)
        numbers << m_entries[i].number;
    m_entries.remove(0, m_inFlightCount);
    m_bytes.remove(0, m_inFlightBytes);
    m_announceAt = qMax<qsizetype>(0, m_announceAt - m_inFlightCount);
    forgetInFlight();
    return numbers;
}

} // namespace hchat
