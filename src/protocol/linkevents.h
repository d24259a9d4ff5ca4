#pragma once

#include <QString>

namespace hchat {

/// What the datagram link needs from the layers above it: somewhere to show
/// lines, the record handlers, and the parts of the conversation (presence,
/// catalogue texts) that the link itself knows nothing about.
class LinkEvents
{
public:
    virtual ~LinkEvents() = default;

    /// A debug echo or a notice of the link itself.
    virtual void linkShow(const QString &line) = 0;
    /// A received record of any kind but 0, 4 and 18.
    virtual void linkDispatch(int kind, const QString &record) = 0;
    /// Kind 4: someone paged us; `from` is their nick.
    virtual void linkPaged(const QString &from) = 0;
    /// Kind 18: the server's new value for the presence field `T`.
    virtual void linkBufferSize(int t) = 0;
    /// An acknowledgement with K = 10: the server asks us to announce again.
    virtual void linkReannounce() = 0;
    /// The server reported the same non-zero backlog Q again.
    virtual void linkRepeatWarning(int count, const QString &record) = 0;
    /// 60 ticks without a record: the link is marked lost.
    virtual void linkLost() = 0;
    /// The first record after the link was marked lost.
    virtual void linkRestored() = 0;
    /// A queued record went out in a poll the server acknowledged.
    virtual void linkDelivered(quint32 number) { Q_UNUSED(number); }
    /// The server took the chat lines of record `number`'s poll from line
    /// number `line` on (Field::LineNumber); called after linkDelivered and
    /// after the records of the same reply.
    virtual void linkPlaced(quint32 number, quint32 line)
    {
        Q_UNUSED(number);
        Q_UNUSED(line);
    }
    /// A queued record was given up before the server took it: `record` is
    /// the record as queued, `reason` a short text saying why.
    virtual void linkDropped(quint32 number, const QString &record, const QString &reason)
    {
        Q_UNUSED(number);
        Q_UNUSED(record);
        Q_UNUSED(reason);
    }
};

} // namespace hchat
