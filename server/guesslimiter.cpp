#include "guesslimiter.h"

#include <algorithm>
#include <iterator>

namespace hchat {

QByteArray GuessLimiter::host(const Endpoint &e)
{
    const char *bytes = reinterpret_cast<const char *>(e.address.data());
    if (!e.v6)
        return QByteArray(bytes, 4);
    // An IPv4 client of a dual-stack socket is that IPv4 host.
    static constexpr quint8 mapped[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff};
    if (std::equal(std::begin(mapped), std::end(mapped), e.address.begin()))
        return QByteArray(bytes + 12, 4);
    // One IPv6 subscriber holds a whole /64: counted per address, guesses
    // would be as good as unbounded.
    return QByteArray(bytes, 8).prepend('6');
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
