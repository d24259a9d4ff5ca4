#pragma once

// While one of these lives, this thread's file access is checked as for an
// ordinary user, so a file with no read permission is unreadable even when
// the tests run as root (CI machines and containers often do).

#ifdef Q_OS_LINUX
#include <sys/fsuid.h>
#include <unistd.h>
#endif

namespace hchat::test {

class Unprivileged
{
public:
    Unprivileged()
    {
#ifdef Q_OS_LINUX
        if (::geteuid() == 0) {
            // nobody, nogroup: root's group would still open root's files.
            ::setfsgid(65534);
            ::setfsuid(65534);
            m_active = true;
        }
#endif
    }
    ~Unprivileged()
    {
#ifdef Q_OS_LINUX
        if (m_active) {
            ::setfsuid(0);
            ::setfsgid(0);
        }
#endif
    }
    Unprivileged(const Unprivileged &) = delete;
    Unprivileged &operator=(const Unprivileged &) = delete;

private:
    bool m_active = false;
};

} // namespace hchat::test
