#pragma once

#include "chat/chatsettings.h"
#include "protocol/serverendpoint.h"

#include <QHash>
#include <QString>

namespace hchat {

/// The chat servers' public keys the user holds. A key belongs to the address
/// it was learned for: `ServerKey0` to `ServerKey2` of the settings go with
/// the addresses in the same places of the server list. A key learned for an
/// address in no place (`--server`) is kept for this run only.
class ServerKeys
{
public:
    explicit ServerKeys(ChatSettings &settings) : m_settings(settings) {}

    /// The key (base64) held for an address; empty when none is.
    QString keyFor(const ServerEndpoint &server) const;
    /// Keeps a key for an address (empty: forgets it). Returns true when the
    /// settings changed and are worth saving; false when it was kept for this
    /// run only or was held already.
    bool setKeyFor(const ServerEndpoint &server, const QString &key);

    /// Why a typed or pasted key can't be used, or the empty text when it can
    /// (empty, or 32 bytes in base64).
    static QString problem(const QString &typed);

private:
    ChatSettings &m_settings;
    QHash<QString, QString> m_thisRun; ///< "host:port" -> key, for addresses in no place
};

} // namespace hchat
