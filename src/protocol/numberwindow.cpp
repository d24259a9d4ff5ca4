#include "protocol/numberwindow.h"

#include "protocol/wirelimits.h"

namespace hchat {

namespace {

// A run moves by at most an outbox or a reply at a time; a number further
// away than this belongs to another run.
constexpr qint64 farAway = 4096;

// n - top, taken round the wrap into (-max/2, max/2].
qint64 distance(quint32 n, quint32 top)
{
    const qint64 m = WireLimits::maxNumber;
    qint64 d = (qint64(n) - qint64(top)) % m;
    if (d > m / 2)
        d -= m;
    else if (d <= -m / 2)
        d += m;
    return d;
}

} // namespace

quint32 NumberWindow::next(quint32 n)
{
    return n >= WireLimits::maxNumber ? 1 : n + 1;
}

void NumberWindow::clear()
{
    m_top = 0;
    m_bits.fill(0);
}

bool NumberWindow::take(quint32 n)
{
    if (n == 0 || n > WireLimits::maxNumber)
        return false;
    const qint64 d = m_top == 0 ? farAway + 1 : distance(n, m_top);
    if (d > farAway || d < -farAway) {
        clear();
        m_top = n;
        m_bits[0] = 1;
        return true;
    }
    if (d > 0) {
        // Slide the window up by d: bit i becomes bit i + d.
        const qint64 words = d / 64;
        const int bits = int(d % 64);
        for (int w = int(m_bits.size()) - 1; w >= 0; --w) {
            const qint64 from = w - words;
            quint64 v = from >= 0 ? m_bits[size_t(from)] << bits : 0;
            if (bits > 0 && from - 1 >= 0)
                v |= m_bits[size_t(from - 1)] >> (64 - bits);
            m_bits[size_t(w)] = v;
        }
        m_top = n;
        m_bits[0] |= 1;
        return true;
    }
    const qint64 i = -d;
    if (i >= span)
        return false;
    quint64 &word = m_bits[size_t(i / 64)];
    const quint64 bit = quint64(1) << (i % 64);
    if (word & bit)
        return false;
    word |= bit;
    return true;
}

} // namespace hchat
