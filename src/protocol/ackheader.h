#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <optional>

namespace hchat {

/// The acknowledgement that starts every reply: `<R>0</R><K>k</K>`, then the
/// backlog `<Q>`, the link token `<L>` and, when the reply carries records,
/// its number `<Y>`. K = 10 asks the client to announce itself again.
struct AckHeader {
    static constexpr int announceAgain = 10;

    int k = 0;
    int q = 0;            ///< 0 when absent
    QByteArrayView token; ///< points into the parsed line; empty when absent
    quint32 reply = 0;    ///< 0: the reply has no number (no records, or an older server)
    /// The number the server gave the first chat line of the poll answered
    /// (see Field::LineNumber); 0 when it carried none.
    quint32 line = 0;

    /// Reads the first line of a reply (no line break). Nothing when it is no
    /// acknowledgement: `R` is not 0, or `K` is missing or not a number.
    static std::optional<AckHeader> parse(QByteArrayView line);
    /// Appends the acknowledgement line and its line feed. `q` < 0 leaves `Q`
    /// out; an empty token leaves `L` out; reply 0 leaves `Y` out.
    static void append(QByteArray &out, int k, int q, QByteArrayView token, quint32 reply, quint32 line = 0);
};

} // namespace hchat
