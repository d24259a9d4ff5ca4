#pragma once

#include <QString>

namespace hchat {

/// A chat server's host and UDP port, as written in the settings and on the
/// command line: "host", "host:port", "[v6-address]:port" or a bare v6 address.
struct ServerEndpoint {
    static constexpr quint16 defaultPort = 5500;

    QString host;
    quint16 port = defaultPort;

    bool isValid() const { return !host.isEmpty() && port != 0; }
    /// "host:port", with brackets around a v6 address.
    QString toString() const;
    bool operator==(const ServerEndpoint &) const = default;

    /// Reads the text; an invalid endpoint (empty host) when it can't be read.
    /// A missing port is 5500.
    static ServerEndpoint parse(const QString &text);
};

} // namespace hchat
