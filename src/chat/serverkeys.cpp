#include "chat/serverkeys.h"

#include "protocol/sealing.h"

#include <QCoreApplication>

namespace hchat {

QString ServerKeys::problem(const QString &typed)
{
    if (typed.trimmed().isEmpty() || !SealKeyText::decode(typed).isEmpty())
        return QString();
    return QCoreApplication::translate("ServerKeys", "That is not a server key: a key is 32 bytes in base64 "
                                                     "(44 characters ending in \"=\").");
}

QString ServerKeys::keyFor(const ServerEndpoint &server) const
{
    for (int i = 0; i < 3; ++i) {
        if (ServerEndpoint::parse(m_settings.servers[i]) == server && !m_settings.serverKeys[i].isEmpty())
            return m_settings.serverKeys[i];
    }
    return m_thisRun.value(server.toString());
}

bool ServerKeys::setKeyFor(const ServerEndpoint &server, const QString &key)
{
    bool placed = false;
    bool changed = false;
    // Every place that names the address: the same server must not be
    // trusted under one key in one place and another elsewhere.
    for (int i = 0; i < 3; ++i) {
        if (ServerEndpoint::parse(m_settings.servers[i]) == server) {
            placed = true;
            changed |= m_settings.serverKeys[i] != key;
            m_settings.serverKeys[i] = key;
        }
    }
    if (placed || key.isEmpty())
        m_thisRun.remove(server.toString());
    else
        m_thisRun.insert(server.toString(), key);
    return changed;
}

} // namespace hchat
