#include "passwordchecks.h"

#include "staffpasswords.h"

namespace hchat {

PasswordChecks::~PasswordChecks()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
        m_queue.clear();
    }
    m_wake.notify_all();
    if (m_worker.joinable())
        m_worker.join();
}

bool PasswordChecks::submit(Job job, qint64 nowMs)
{
    {
        const std::lock_guard lock(m_mutex);
        if (int(m_queue.size()) + m_running >= maxWaiting || !m_budget.take(nowMs, intervalMs, burst))
            return false;
        m_queue.push_back(std::move(job));
        if (!m_worker.joinable())
            m_worker = std::thread([this] { run(); });
    }
    m_wake.notify_one();
    return true;
}

QList<PasswordChecks::Done> PasswordChecks::takeDone()
{
    const std::lock_guard lock(m_mutex);
    return std::exchange(m_done, {});
}

void PasswordChecks::waitIdle()
{
    std::unique_lock lock(m_mutex);
    m_idle.wait(lock, [this] { return m_queue.empty() && m_running == 0; });
}

void PasswordChecks::run()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_stopping || !m_queue.empty(); });
        if (m_stopping)
            return;
        Job job = std::move(m_queue.front());
        m_queue.pop_front();
        ++m_running;
        lock.unlock();
        const bool right = StaffPasswords::verifyHash(job.hash, job.offered);
        lock.lock();
        --m_running;
        m_done.append({std::move(job), right});
        if (m_queue.empty())
            m_idle.notify_all();
    }
}

} // namespace hchat
