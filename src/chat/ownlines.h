#pragma once

#include "chat/sinkholder.h"
#include "transcript/ownlinestate.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QPair>
#include <QString>

namespace hchat {

/// The user's own lines on their way to the server, known by the number of
/// the record that carries each: pending until the server acknowledges the
/// poll that carried it, then delivered (the mark goes), or not delivered
/// with the reason when the link gives it up or the server refuses it. Lines
/// of the first transcript are marked through the sink; lines of private
/// message windows through stateChanged().
class OwnLines : public QObject
{
    Q_OBJECT
public:
    enum class Where {
        Transcript,
        PrivateMessage,
    };

    /// Refusals can follow the acknowledgement: this many delivered lines
    /// are remembered.
    static constexpr int recentDelivered = 200;

    explicit OwnLines(const SinkHolder &sink, QObject *parent = nullptr);

    /// Follows the line carried by record `number` (0 follows nothing).
    void follow(quint32 number, Where where);
    bool isPending(quint32 number) const { return m_pending.contains(number); }
    int pendingCount() const { return int(m_pending.size()); }

    /// The server acknowledged the poll that carried record `number`.
    void delivered(quint32 number);
    /// Record `number` did not arrive, or the server refused it.
    void notDelivered(quint32 number, const QString &reason);

signals:
    void stateChanged(quint32 number, hchat::OwnLineState state, const QString &reason);

private:
    void show(quint32 number, Where where, OwnLineState state, const QString &reason);

    const SinkHolder &m_sink;
    QHash<quint32, Where> m_pending;
    QList<QPair<quint32, Where>> m_recent;
};

} // namespace hchat
