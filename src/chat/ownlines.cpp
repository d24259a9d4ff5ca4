#include "chat/ownlines.h"

#include "transcript/transcriptsink.h"

namespace hchat {

OwnLines::OwnLines(const SinkHolder &sink, QObject *parent) : QObject(parent), m_sink(sink) {}

void OwnLines::follow(quint32 number, Where where)
{
    if (number != 0)
        m_pending.insert(number, where);
}

void OwnLines::delivered(quint32 number)
{
    const auto it = m_pending.constFind(number);
    if (it == m_pending.cend())
        return;
    const Where where = it.value();
    m_pending.erase(it);
    m_recent.append({number, where});
    if (m_recent.size() > recentDelivered)
        m_recent.removeFirst();
    show(number, where, OwnLineState::Delivered, {});
}

void OwnLines::notDelivered(quint32 number, const QString &reason)
{
    if (const auto it = m_pending.constFind(number); it != m_pending.cend()) {
        const Where where = it.value();
        m_pending.erase(it);
        show(number, where, OwnLineState::NotDelivered, reason);
        return;
    }
    // The server took the poll, then refused the line in it.
    for (qsizetype i = m_recent.size() - 1; i >= 0; --i) {
        if (m_recent[i].first == number) {
            const Where where = m_recent.takeAt(i).second;
            show(number, where, OwnLineState::NotDelivered, reason);
            return;
        }
    }
}

void OwnLines::show(quint32 number, Where where, OwnLineState state, const QString &reason)
{
    if (where == Where::Transcript)
        m_sink->setOwnLineState(number, state, reason);
    emit stateChanged(number, state, reason);
}

} // namespace hchat
