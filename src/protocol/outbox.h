#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace hchat {

/// The records waiting for the server, as the bytes a poll carries, and which
/// of them the poll in flight carried. Bounded by WireLimits::maxQueuedRecords
/// and maxQueuedBytes: past either bound the oldest waiting records are given
/// up. An announcement (presence, room entry, away text) goes ahead of
/// everything waiting and is exempt from the bound.
class Outbox
{
public:
    /// A record given up to make room.
    struct Dropped {
        quint32 number;
        QString record; ///< without its line feed
    };

    /// Queues one record line (ending in a line feed) under its number;
    /// returns the records given up to make room for it.
    QList<Dropped> add(quint32 number, const QByteArray &line);

    /// Records added until endAnnouncement() go ahead of the others, in the
    /// order added, replacing the announcement still waiting from before.
    /// Nothing is in flight afterwards: what the last poll carried goes again.
    void beginAnnouncement();
    void endAnnouncement() { m_announcing = false; }
    /// The announcement waiting becomes records like the others: the next
    /// poll carries it with what follows.
    void settleAnnouncement();

    /// What the next poll carries: whole records from the front, no more
    /// than the server takes in one poll; an announcement alone. Marks them
    /// in flight.
    qsizetype carry();
    /// Bytes and records the poll in flight carried; 0 when none.
    qsizetype inFlightBytes() const { return m_inFlightBytes; }
    /// True when the poll in flight carries an announcement.
    bool inFlightAnnounces() const { return m_inFlightCount > 0 && m_entries.first().announcement; }
    /// Nothing is in flight any more: the next poll carries afresh.
    void forgetInFlight();
    /// The poll in flight was acknowledged: its records leave; returns their numbers.
    QList<quint32> acknowledge();

    const QByteArray &bytes() const { return m_bytes; }
    int count() const { return int(m_entries.size()); }
    bool isEmpty() const { return m_entries.isEmpty(); }

private:
    struct Entry {
        quint32 number;
        int bytes; ///< with its line feed
        bool announcement;
    };

    qsizetype offsetOf(qsizetype index) const;

    QByteArray m_bytes;
    QList<Entry> m_entries;
    bool m_announcing = false;
    qsizetype m_announceAt = 0; ///< entry index of the next announcement record
    qsizetype m_inFlightBytes = 0;
    qsizetype m_inFlightCount = 0;
};

} // namespace hchat
