#pragma once

#include <QHashFunctions>
#include <QString>

#include <array>
#include <cstring>

namespace hchat {

/// A peer's UDP address: IPv4 or IPv6 bytes and port, comparable and
/// hashable without touching the socket layer, so the server's state machine
/// can be driven by tests with made-up peers.
struct Endpoint {
    std::array<quint8, 16> address{}; ///< IPv4 in the first 4 bytes when !v6
    quint16 port = 0;
    bool v6 = false;

    /// An IPv4 peer from a host-order address, e.g. 0x7f000001 for 127.0.0.1.
    static Endpoint ipv4(quint32 hostOrder, quint16 port)
    {
        Endpoint e;
        e.address[0] = quint8(hostOrder >> 24);
        e.address[1] = quint8(hostOrder >> 16);
        e.address[2] = quint8(hostOrder >> 8);
        e.address[3] = quint8(hostOrder);
        e.port = port;
        return e;
    }

    friend bool operator==(const Endpoint &a, const Endpoint &b)
    {
        return a.port == b.port && a.v6 == b.v6 && a.address == b.address;
    }

    /// "1.2.3.4:5500" or "[::1]:5500" for log lines.
    QString toString() const
    {
        if (!v6)
            return QStringLiteral("%1.%2.%3.%4:%5")
                .arg(address[0])
                .arg(address[1])
                .arg(address[2])
                .arg(address[3])
                .arg(port);
        QString s = QStringLiteral("[");
        for (int i = 0; i < 16; i += 2) {
            if (i)
                s += u':';
            s += QString::number((address[i] << 8) | address[i + 1], 16);
        }
        return s + QStringLiteral("]:") + QString::number(port);
    }
};

inline size_t qHash(const Endpoint &e, size_t seed = 0)
{
    return qHashBits(e.address.data(), e.v6 ? 16 : 4, seed ^ (size_t(e.port) << 1) ^ size_t(e.v6));
}

} // namespace hchat
