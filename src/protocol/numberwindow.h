#pragma once

#include <QtGlobal>

#include <array>

namespace hchat {

/// Which of the most recent record or reply numbers were taken. Numbers run
/// from 1 to WireLimits::maxNumber and wrap; a number far from the newest
/// taken one starts a new run (another client run, another server session).
class NumberWindow
{
public:
    /// How far behind the newest number a number is still told apart.
    static constexpr int span = 256;

    /// The number after n, wrapping to 1.
    static quint32 next(quint32 n);

    /// Takes n: true when it is new, false when it was taken before or lies
    /// too far behind the newest to tell (then it is taken as old).
    bool take(quint32 n);
    /// Marks n taken without asking.
    void mark(quint32 n) { take(n); }
    void clear();
    bool isEmpty() const { return m_top == 0; }

    /// The window's state, kept across a restart of the server.
    using Bits = std::array<quint64, span / 64>;
    quint32 top() const { return m_top; }
    const Bits &bits() const { return m_bits; }
    void restore(quint32 top, const Bits &bits)
    {
        m_top = top;
        m_bits = bits;
    }

private:
    quint32 m_top = 0; ///< the newest number taken; 0 before the first
    Bits m_bits{};     ///< bit i: m_top - i taken
};

} // namespace hchat
