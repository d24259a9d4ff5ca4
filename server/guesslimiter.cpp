#include "guesslimiter.h"

namespace hchat {

QByteArray GuessLimiter::host(const Endpoint &e)
{
    return QByteArray(reinterpret_cast<const char *>(e.address.data()), e.v6 ? 16 : 4);
}

bool GuessLimiter::open(const Window &w, qint64 nowMs)
{
    return w.wrong < limit || nowMs - w.startMs >= windowMs;
}

void GuessLimiter::count(Window &w, qint64 nowMs)
{
    if (w.wrong == 0 || nowMs - w.startMs >= windowMs) {
        w.startMs = nowMs;
        w.wrong = 0;
    }
    ++w.wrong;
}

bool GuessLimiter::allowed(const Window &session, const Endpoint &from, qint64 nowMs) const
{
    const auto it = m_addresses.constFind(host(from));
    return open(session, nowMs) && (it == m_addresses.constEnd() || open(*it, nowMs));
}

void GuessLimiter::failed(Window &session, const Endpoint &from, qint64 nowMs)
{
    count(session, nowMs);
    count(m_addresses[host(from)], nowMs);
}

void GuessLimiter::prune(qint64 nowMs)
{
    for (auto it = m_addresses.begin(); it != m_addresses.end();) {
        if (nowMs - it->startMs >= windowMs)
            it = m_addresses.erase(it);
        else
            ++it;
    }
}

} // namespace hchat
