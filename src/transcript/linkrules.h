#pragma once

#include <QString>

#include <functional>

namespace hchat {

/// The rules that decide whether a posted line carries an address worth
/// opening, and whether its host is one the room trusts.
class LinkRules
{
public:
    using Catalogue = std::function<QString(int)>;

    /// The address a shown line points to, or empty: the line's last line,
    /// sound, media, program and mail texts excluded, "www." prefixed with
    /// catalogue text 439, bare site names only when they look like one. The
    /// address ends at the first blank.
    static QString extractAddress(const QString &text, const Catalogue &text439);
    /// The host name of an http or https address, lower case; empty for any
    /// other scheme or a malformed address.
    static QString webHost(const QString &address);
    /// True when host is non-empty and equals one of the approved roots (one
    /// per line of the room's `V` field) or ends with "." and one of them.
    static bool hostApproved(const QString &host, const QString &roots);
    /// True when the address lies on the site a catalogue text names. The
    /// text is the start of an address: "http://host:port/path",
    /// "host:port/path" for either web scheme, or "/path" on the web site base
    /// (catalogue text 0). A port in the text must be the address's port; a
    /// text without a scheme also covers the host's subdomains; a path covers
    /// itself and what lies below it. An empty text matches nothing.
    static bool onSite(const QString &address, const QString &site, const QString &webBase = QString());
    /// Whether the line may open its address: approved host, one of the
    /// vendor's site texts (100, 111 to 114, 444, 438; paths resolved against
    /// text 0), or an http(s) address the user posted.
    static bool mayOpen(const QString &address, const QString &roots, const Catalogue &text, bool own);
};

} // namespace hchat
