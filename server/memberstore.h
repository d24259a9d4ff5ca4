#pragma once

#include "session.h"

#include <QString>

#include <functional>
#include <memory>
#include <vector>

namespace hchat {

/// The members a restart must not lose: where each is, what waits for it
/// and which of its records were taken, kept in `members.dat` in the data
/// folder and written whole (atomically) a moment after each change, so a
/// killed server loses at most that moment. A damaged file is set aside as
/// `members.dat.damaged` and the server starts without members.
class MemberStore
{
public:
    static constexpr const char *fileName = "members.dat";

    /// `dir` empty: nothing is kept.
    explicit MemberStore(const QString &dir);
    bool isEnabled() const { return !m_path.isEmpty(); }

    /// Writes every member given. `wallMs` is the time now on the wall clock,
    /// `nowMs` on the server's clock: a member's last poll is kept as wall time.
    bool save(const std::vector<const Session *> &members, qint64 wallMs, qint64 nowMs);
    /// The members of the last run, announced and confirmed, with the tokens
    /// their clients knew; their lastSeenMs is wall time.
    std::vector<std::unique_ptr<Session>> load();

    /// The last chat line number: written with the members, read back by load().
    quint32 lineNumber = 0;

    /// Where damaged files and failed writes are told.
    std::function<void(const QString &)> log = [](const QString &) {};

private:
    QString m_path;
    QString m_lastError; ///< told once, not at every write
};

} // namespace hchat
