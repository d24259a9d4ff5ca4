#pragma once

#include "sourcestate.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace hchat {

/// Staff password checks (Argon2id: a tenth of a second and 64 MiB each)
/// on a thread of their own, never on the poll loop, under one budget for
/// the whole server: one at a time with one more waiting, and a few a
/// second, whoever asks. The per-session and per-host bounds of
/// GuessLimiter come first; this one keeps many hosts together from
/// pinning the server. Past it a check is refused without being made.
class PasswordChecks
{
public:
    struct Job {
        quint32 token = 0; ///< the session that asked, and which one of that token
        quint64 serial = 0;
        int room = 0; ///< the kind 28 being answered
        QString nick;
        QString offered;
        QByteArray hash;
        size_t guessKey = 0; ///< remembered as a wrong guess when wrong
    };
    struct Done {
        Job job;
        bool right = false;
    };

    static constexpr int maxWaiting = 2;
    static constexpr int burst = 4;
    static constexpr qint64 intervalMs = 250;

    PasswordChecks() = default;
    ~PasswordChecks();
    PasswordChecks(const PasswordChecks &) = delete;
    PasswordChecks &operator=(const PasswordChecks &) = delete;

    /// Queues a check; false, and nothing queued, when the budget is spent.
    bool submit(Job job, qint64 nowMs);
    /// The checks finished since the last call, in the order they were made.
    QList<Done> takeDone();
    /// Blocks until every queued check is done (tests and benchmarks).
    void waitIdle();

private:
    void run();

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    std::deque<Job> m_queue;
    QList<Done> m_done;
    int m_running = 0;
    bool m_stopping = false;
    Allowance m_budget;
    std::thread m_worker; ///< started with the first check
};

} // namespace hchat
