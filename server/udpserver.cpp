#include "udpserver.h"

#include "chatserver.h"

#include <QSocketNotifier>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace hchat {

namespace {

constexpr int kBatch = 64;
constexpr int kBufferBytes = 9216;

Endpoint fromSockaddr(const sockaddr_storage &sa)
{
    Endpoint e;
    if (sa.ss_family == AF_INET6) {
        const auto &a = reinterpret_cast<const sockaddr_in6 &>(sa);
        e.v6 = true;
        std::memcpy(e.address.data(), &a.sin6_addr, 16);
        e.port = ntohs(a.sin6_port);
    } else {
        const auto &a = reinterpret_cast<const sockaddr_in &>(sa);
        std::memcpy(e.address.data(), &a.sin_addr, 4);
        e.port = ntohs(a.sin_port);
    }
    return e;
}

socklen_t toSockaddr(const Endpoint &e, sockaddr_storage *sa)
{
    std::memset(sa, 0, sizeof(*sa));
    if (e.v6) {
        auto *a = reinterpret_cast<sockaddr_in6 *>(sa);
        a->sin6_family = AF_INET6;
        std::memcpy(&a->sin6_addr, e.address.data(), 16);
        a->sin6_port = htons(e.port);
        return sizeof(sockaddr_in6);
    }
    auto *a = reinterpret_cast<sockaddr_in *>(sa);
    a->sin_family = AF_INET;
    std::memcpy(&a->sin_addr, e.address.data(), 4);
    a->sin_port = htons(e.port);
    return sizeof(sockaddr_in);
}

} // namespace

UdpServer::UdpServer(ChatServer *server, QObject *parent) : QObject(parent), m_server(server)
{
    m_clock.start();
    m_random.seed(std::random_device{}());
    m_heldTimer.setSingleShot(true);
    connect(&m_heldTimer, &QTimer::timeout, this, &UdpServer::releaseHeld);
    connect(&m_tick, &QTimer::timeout, this, [this] {
        m_server->tick(nowMs());
        if (m_gate)
            m_gate->tick(nowMs());
        sendAll(takeNews()); // members just marked away, to those in their rooms
    });
    // Members and what waits for them go to disk within a tenth of a second.
    connect(&m_persist, &QTimer::timeout, this, [this] { m_server->persist(nowMs()); });
}

UdpServer::~UdpServer()
{
    delete m_notifier;
    if (m_fd >= 0)
        ::close(m_fd);
}

void UdpServer::setFaults(const FaultSettings &faults)
{
    m_faults = faults;
    if (faults.seed)
        m_random.seed(faults.seed);
}

bool UdpServer::listen(const QString &addressAndPort, QString *error, bool useEventLoop)
{
    const qsizetype colon = addressAndPort.lastIndexOf(u':');
    QString host = colon >= 0 ? addressAndPort.left(colon) : QStringLiteral("127.0.0.1");
    bool ok = false;
    const int port = (colon >= 0 ? addressAndPort.mid(colon + 1) : addressAndPort).toInt(&ok);
    if (!ok || port < 0 || port > 65535) {
        *error = QStringLiteral("bad port in \"%1\"").arg(addressAndPort);
        return false;
    }
    if (host.startsWith(u'[') && host.endsWith(u']'))
        host = host.mid(1, host.size() - 2);
    Endpoint local;
    local.port = quint16(port);
    const QByteArray h = host.toLatin1();
    if (inet_pton(AF_INET, h.constData(), local.address.data()) != 1) {
        if (inet_pton(AF_INET6, h.constData(), local.address.data()) != 1) {
            *error = QStringLiteral("bad address \"%1\" (give a numeric IPv4 or IPv6 address)").arg(host);
            return false;
        }
        local.v6 = m_v6 = true;
    }
    sockaddr_storage sa;
    const socklen_t len = toSockaddr(local, &sa);
    m_fd = ::socket(sa.ss_family, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (m_fd < 0) {
        *error = QString::fromLocal8Bit(strerror(errno));
        return false;
    }
    // Room for bursts from many clients at once.
    int bytes = 4 << 20;
    ::setsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof(bytes));
    ::setsockopt(m_fd, SOL_SOCKET, SO_SNDBUF, &bytes, sizeof(bytes));
    if (::bind(m_fd, reinterpret_cast<sockaddr *>(&sa), len) != 0) {
        *error = QStringLiteral("cannot listen on %1: %2")
                     .arg(addressAndPort, QString::fromLocal8Bit(strerror(errno)));
        ::close(m_fd);
        m_fd = -1;
        return false;
    }
    sockaddr_storage bound{};
    socklen_t boundLen = sizeof(bound);
    ::getsockname(m_fd, reinterpret_cast<sockaddr *>(&bound), &boundLen);
    m_port = fromSockaddr(bound).port;
    if (useEventLoop) {
        m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Read);
        connect(m_notifier, &QSocketNotifier::activated, this, [this] { processPending(); });
        m_tick.start(1000);
        m_persist.start(100);
    }
    return true;
}

bool UdpServer::chance(double p)
{
    return p > 0 && std::uniform_real_distribution<double>(0, 1)(m_random) < p;
}

int UdpServer::faultCopies(const Endpoint &peer, const QByteArray &bytes, bool incoming)
{
    if (chance(m_faults.drop)) {
        ++(incoming ? m_counters.droppedIn : m_counters.droppedOut);
        return 0;
    }
    const int copies = chance(m_faults.dup) ? 2 : 1;
    if (m_faults.delayMs <= 0)
        return copies;
    for (int c = 0; c < copies; ++c)
        m_held.push_back({nowMs() + m_faults.delayMs, peer, bytes, incoming});
    return 0;
}

SealedGate *UdpServer::setSealing(const SealKeyPair &key, bool sealedOnly)
{
    m_gate = std::make_unique<SealedGate>(m_server, key);
    m_gate->setSealedOnly(sealedOnly);
    return m_gate.get();
}

QList<QPair<Endpoint, QByteArray>> UdpServer::takeNews()
{
    return m_gate ? m_gate->takeNews() : m_server->takeNews();
}

void UdpServer::handle(const Endpoint &peer, QByteArrayView datagram, QList<QPair<Endpoint, QByteArray>> *out)
{
    if (m_gate) {
        m_gate->handle(peer, datagram, nowMs(), out);
    } else {
        const QByteArray reply = m_server->handleDatagram(peer, datagram, nowMs());
        if (!reply.isEmpty())
            out->append({peer, reply});
    }
    *out += takeNews();
}

int UdpServer::processPending()
{
    static thread_local char buffers[kBatch][kBufferBytes];
    mmsghdr msgs[kBatch];
    iovec iovs[kBatch];
    sockaddr_storage addrs[kBatch];
    int total = 0;
    for (;;) {
        for (int i = 0; i < kBatch; ++i) {
            iovs[i] = {buffers[i], kBufferBytes};
            std::memset(&msgs[i].msg_hdr, 0, sizeof(msghdr));
            msgs[i].msg_hdr.msg_iov = &iovs[i];
            msgs[i].msg_hdr.msg_iovlen = 1;
            msgs[i].msg_hdr.msg_name = &addrs[i];
            msgs[i].msg_hdr.msg_namelen = sizeof(sockaddr_storage);
        }
        const int n = ::recvmmsg(m_fd, msgs, kBatch, MSG_DONTWAIT, nullptr);
        if (n <= 0)
            break;
        m_counters.datagramsIn += quint64(n);
        QList<QPair<Endpoint, QByteArray>> out;
        out.reserve(n);
        for (int i = 0; i < n; ++i) {
            if (msgs[i].msg_hdr.msg_flags & MSG_TRUNC)
                continue; // larger than any client may send
            const Endpoint peer = fromSockaddr(addrs[i]);
            const QByteArrayView d(buffers[i], qsizetype(msgs[i].msg_len));
            for (int c = faulty() ? faultCopies(peer, d.toByteArray(), true) : 1; c > 0; --c)
                handle(peer, d, &out);
        }
        sendAll(out);
        total += n;
        if (n < kBatch)
            break;
    }
    if (!m_held.empty() && !m_heldTimer.isActive())
        m_heldTimer.start(int(qMax<qint64>(0, m_held.front().due - nowMs())));
    return total;
}

void UdpServer::sendAll(const QList<QPair<Endpoint, QByteArray>> &out)
{
    if (out.isEmpty())
        return;
    if (!faulty()) {
        transmit(out);
        return;
    }
    QList<QPair<Endpoint, QByteArray>> now;
    for (const auto &o : out) {
        for (int c = faultCopies(o.first, o.second, false); c > 0; --c)
            now.append(o);
    }
    transmit(now);
}

void UdpServer::transmit(const QList<QPair<Endpoint, QByteArray>> &out)
{
    for (qsizetype start = 0; start < out.size(); start += kBatch) {
        const int n = int(qMin<qsizetype>(kBatch, out.size() - start));
        mmsghdr msgs[kBatch];
        iovec iovs[kBatch];
        sockaddr_storage addrs[kBatch];
        for (int i = 0; i < n; ++i) {
            const auto &o = out.at(start + i);
            std::memset(&msgs[i], 0, sizeof(mmsghdr));
            iovs[i] = {const_cast<char *>(o.second.constData()), size_t(o.second.size())};
            msgs[i].msg_hdr.msg_iov = &iovs[i];
            msgs[i].msg_hdr.msg_iovlen = 1;
            msgs[i].msg_hdr.msg_name = &addrs[i];
            msgs[i].msg_hdr.msg_namelen = toSockaddr(o.first, &addrs[i]);
        }
        int sent = 0;
        while (sent < n) {
            const int r = ::sendmmsg(m_fd, msgs + sent, unsigned(n - sent), 0);
            if (r <= 0) {
                if (r < 0 && errno == EINTR)
                    continue;
                break; // a full send buffer loses the rest, as the network would
            }
            sent += r;
        }
        // Every reply has a line feed; the news datagram has none.
        for (int i = 0; i < sent; ++i)
            ++(out.at(start + i).second.contains('\n') ? m_counters.repliesOut : m_counters.newsOut);
    }
}

void UdpServer::releaseHeld()
{
    QList<QPair<Endpoint, QByteArray>> replies;
    QList<QPair<Endpoint, QByteArray>> sends;
    const qint64 now = nowMs();
    while (!m_held.empty() && m_held.front().due <= now) {
        Held h = std::move(m_held.front());
        m_held.pop_front();
        if (h.incoming)
            handle(h.peer, h.bytes, &replies);
        else
            sends.append({h.peer, h.bytes});
    }
    transmit(sends);
    sendAll(replies); // replies go through the faults again, delay included
    if (!m_held.empty())
        m_heldTimer.start(int(qMax<qint64>(0, m_held.front().due - nowMs())));
}

} // namespace hchat
