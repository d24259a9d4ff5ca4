#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <optional>

namespace hchat {

/// The header record that ends every poll: `<R>0</R><K>k</K>`, the link token
/// `<L>` when the client has one, and `<Y>` with the number of the last reply
/// the client took (0 before the first). A poll without `Y` comes from a
/// client that knows nothing of reply numbers. A poll announcing the client
/// again names in `<X>` the token of the session it had: only with it does
/// the new session take over the old one's rights.
struct PollHeader {
    int k = 0;
    QByteArrayView token;         ///< points into the parsed line
    QByteArrayView previousToken; ///< likewise; empty when absent
    bool echoesReplies = false;
    quint32 lastReply = 0;

    /// Reads a header line (no line break). Nothing when it is not a poll: `R`
    /// is not 0 or `K` is not a single digit.
    static std::optional<PollHeader> parse(QByteArrayView line);
    /// The header line without its CR LF.
    static QByteArray build(int k, QByteArrayView token, quint32 lastReply,
                            QByteArrayView previousToken = {});
};

} // namespace hchat
