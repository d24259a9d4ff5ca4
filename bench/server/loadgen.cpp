// hchat-loadgen: how many polls a second the chat server answers, and how
// fast, next to a bare recvmmsg/sendmmsg echo server on the same machine;
// then the same clients again while one address attacks the server.
//
//   hchat-loadgen [--clients N] [--seconds S] [--window W] [--sessions M]
//                 [--attack-rate R] [--guessers G] [--only sealed]
//
// `--only sealed` runs only the sealed link against plain.
//
// Last, G hosts (127.0.2.x) each hold a session under the public staff nick
// and guess its password (kind 28) every 2 s, while the clients poll.
//
// The server (and the echo yardstick) run on CPU 0, the generator and the
// attacker on CPU 1. The honest clients come from 127.0.1.x, a few dozen per
// address; the attacker from 127.0.0.66 alone.
#include "protocol/ackheader.h"
#include "protocol/pollheader.h"
#include "protocol/sealing.h"
#include "server/chatserver.h"
#include "server/roomstore.h"
#include "server/staffpasswords.h"
#include "server/udpserver.h"

#include <QCoreApplication>
#include <QtEndian>

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <malloc.h>
#include <memory>
#include <netinet/in.h>
#include <optional>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <unordered_map>
#include <vector>

using namespace hchat;

namespace {

using Clock = std::chrono::steady_clock;

void pinTo(int cpu)
{
    cpu_set_t set;
    CPU_ZERO(&set);
    CPU_SET(cpu % int(std::thread::hardware_concurrency()), &set);
    pthread_setaffinity_np(pthread_self(), sizeof(set), &set);
}

sockaddr_in loopback(quint16 port, quint32 address = INADDR_LOOPBACK)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(address);
    a.sin_port = htons(port);
    return a;
}

int udpSocket(quint16 port, quint16 *bound, quint32 address = INADDR_LOOPBACK, bool shared = false)
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK, 0);
    // Shared: a second socket may take the same address and port (the one
    // bound last receives), so a flood can carry a member's own address.
    const int yes = 1;
    if (shared)
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof(yes));
    int bytes = 4 << 20;
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof(bytes));
    ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &bytes, sizeof(bytes));
    sockaddr_in a = loopback(port, address);
    ::bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof(a));
    socklen_t len = sizeof(a);
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&a), &len);
    if (bound)
        *bound = ntohs(a.sin_port);
    return fd;
}

// One datagram of a batch: its bytes and the address it comes from or goes to.
void aim(mmsghdr &m, iovec &iov, void *name, socklen_t nameLength)
{
    std::memset(&m, 0, sizeof(m));
    m.msg_hdr.msg_iov = &iov;
    m.msg_hdr.msg_iovlen = 1;
    m.msg_hdr.msg_name = name;
    m.msg_hdr.msg_namelen = nameLength;
}

// The yardstick: echo every datagram back, in batches, nothing else.
void echoServer(int fd, std::atomic<bool> *stop)
{
    pinTo(0);
    constexpr int batch = 64;
    static char bufs[batch][2048];
    mmsghdr msgs[batch];
    iovec iovs[batch];
    sockaddr_in addrs[batch];
    pollfd p{fd, POLLIN, 0};
    while (!stop->load(std::memory_order_relaxed)) {
        if (::poll(&p, 1, 50) <= 0)
            continue;
        for (;;) {
            for (int i = 0; i < batch; ++i) {
                iovs[i] = {bufs[i], sizeof(bufs[i])};
                aim(msgs[i], iovs[i], &addrs[i], sizeof(addrs[i]));
            }
            const int n = ::recvmmsg(fd, msgs, batch, MSG_DONTWAIT, nullptr);
            if (n <= 0)
                break;
            for (int i = 0; i < n; ++i)
                iovs[i].iov_len = msgs[i].msg_len;
            ::sendmmsg(fd, msgs, unsigned(n), 0);
        }
    }
}

// The chat server as hchat-server runs it, minus the Qt event loop.
void chatServer(UdpServer *udp, ChatServer *chat, std::atomic<bool> *stop)
{
    pinTo(0);
    pollfd p{udp->socketDescriptor(), POLLIN, 0};
    qint64 lastTick = udp->nowMs();
    while (!stop->load(std::memory_order_relaxed)) {
        if (::poll(&p, 1, 50) > 0)
            udp->processPending();
        if (udp->nowMs() - lastTick >= 1000) {
            lastTick = udp->nowMs();
            chat->tick(lastTick);
        }
    }
}

// A chat server on a loopback port, run by a thread of its own.
struct Served {
    RoomStore rooms;
    ChatServer chat;
    UdpServer udp{&chat};
    std::atomic<bool> stop{false};
    std::thread thread;

    explicit Served(ServerLimits limits = {}) : chat(&rooms, limits) { rooms.load(); }
    ~Served() { end(); }
    bool start()
    {
        QString error;
        if (!udp.listen(QStringLiteral("127.0.0.1:0"), &error, false)) {
            std::fprintf(stderr, "%s\n", qPrintable(error));
            return false;
        }
        thread = std::thread(chatServer, &udp, &chat, &stop);
        return true;
    }
    void end()
    {
        stop = true;
        if (thread.joinable())
            thread.join();
    }
};

struct SimClient {
    std::string token;
    quint32 lastReply = 0; ///< echoed in every poll, as the client does
    int socket = 0;
    int k = 0;
    bool inFlight = false;
    Clock::time_point sentAt;
    Clock::time_point due;
};

struct Generator {
    sockaddr_in server;
    std::vector<int> sockets;
    std::vector<SimClient> clients;
    std::unordered_map<std::string, int> byToken;
    std::vector<double> latenciesUs;
    long long answered = 0;
    long long resent = 0;

    Generator(quint16 port, int nClients, int nSockets) : server(loopback(port))
    {
        // One address per socket, as many people behind many routers.
        for (int i = 0; i < nSockets; ++i)
            sockets.push_back(udpSocket(0, nullptr, 0x7f000100u + quint32(i + 1)));
        clients.resize(size_t(nClients));
        for (int i = 0; i < nClients; ++i)
            clients[size_t(i)].socket = i % nSockets;
    }
    ~Generator()
    {
        for (int fd : sockets)
            ::close(fd);
    }

    static std::string field(const char *data, size_t len, char name)
    {
        const std::string s(data, len);
        const std::string open = std::string("<") + name + ">";
        const std::string close = std::string("</") + name + ">";
        const size_t o = s.find(open);
        const size_t c = s.find(close);
        return o == std::string::npos || c == std::string::npos || c < o + 3 ? std::string()
                                                                             : s.substr(o + 3, c - o - 3);
    }

    std::string pollText(int i, bool presence)
    {
        SimClient &c = clients[size_t(i)];
        std::string d;
        // Polls as the client writes them (its header echoes reply numbers).
        if (presence) {
            c.k = (c.k + 1) % 10;
            std::string id = std::to_string(i);
            id = "LG" + std::string(6 - std::min<size_t>(6, id.size()), '0') + id + "!";
            d = "<R>5</R><O>1</O><E>" + id + "</E><N>load" + std::to_string(i) + "</N><I>5|0</I><#>" +
                std::to_string(i % 100) + "</#><W>-1</W><T>1400</T>\n";
            d += PollHeader::build(c.k, {}, c.lastReply).toStdString();
        } else {
            d = PollHeader::build(c.k, QByteArray::fromStdString(c.token), c.lastReply).toStdString();
        }
        return d + "\r\n";
    }

    // The sealed link (serverKey set): each client's own member key, its
    // handshake under way and its channel once answered.
    QByteArray serverKey;
    std::vector<SealKeyPair> memberKeys;
    std::vector<std::unique_ptr<SealInitiator>> initiators;
    std::vector<std::unique_ptr<SealedChannel>> channels;
    std::unordered_map<quint32, int> byIndex;
    quint64 stamp = 1;

    void seal(const QByteArray &key)
    {
        serverKey = key;
        for (size_t i = 0; i < clients.size(); ++i)
            memberKeys.push_back(SealKeyPair::generate());
        initiators.resize(clients.size());
        channels.resize(clients.size());
    }
    std::string wrap(int i, const std::string &text)
    {
        if (serverKey.isEmpty())
            return text;
        const QByteArrayView plain(text.data(), qsizetype(text.size()));
        if (channels[size_t(i)])
            return channels[size_t(i)]->seal(plain).toStdString();
        auto &initiator = initiators[size_t(i)];
        initiator = std::make_unique<SealInitiator>(memberKeys[size_t(i)], serverKey);
        byIndex[initiator->index()] = i;
        return initiator->handshake(plain, stamp++).toStdString();
    }
    // The plain datagram in a sealed one; false when there is none.
    bool unwrap(QByteArrayView d, QByteArray *plain)
    {
        const char type = SealWire::typeOf(d);
        const auto index = type == SealWire::HandshakeAnswer && d.size() > 5
                               ? std::optional<quint32>(qFromLittleEndian<quint32>(d.data() + 1))
                               : SealWire::indexOf(d);
        const auto client = index ? byIndex.find(*index) : byIndex.end();
        if (client == byIndex.end())
            return false;
        const size_t i = size_t(client->second);
        if (type == SealWire::HandshakeAnswer && initiators[i]) {
            auto answer = initiators[i]->answer(d);
            if (!answer)
                return false;
            channels[i] = std::make_unique<SealedChannel>(std::move(answer->first));
            *plain = answer->second;
            return !plain->isEmpty();
        }
        if (type != SealWire::Data || !channels[i])
            return false;
        auto opened = channels[i]->open(d);
        if (opened)
            *plain = *opened;
        return bool(opened);
    }

    // Sends the given clients' polls, batched per socket.
    void send(const std::vector<int> &which, bool presence)
    {
        std::vector<std::vector<std::string>> texts(sockets.size());
        std::vector<std::vector<int>> ids(sockets.size());
        for (int i : which) {
            texts[size_t(clients[size_t(i)].socket)].push_back(wrap(i, pollText(i, presence)));
            ids[size_t(clients[size_t(i)].socket)].push_back(i);
        }
        const auto now = Clock::now();
        for (size_t s = 0; s < sockets.size(); ++s) {
            const size_t n = texts[s].size();
            for (size_t start = 0; start < n; start += 64) {
                const size_t m = std::min<size_t>(64, n - start);
                mmsghdr msgs[64];
                iovec iovs[64];
                for (size_t j = 0; j < m; ++j) {
                    std::string &t = texts[s][start + j];
                    iovs[j] = {t.data(), t.size()};
                    aim(msgs[j], iovs[j], &server, sizeof(server));
                    SimClient &c = clients[size_t(ids[s][start + j])];
                    c.inFlight = true;
                    c.sentAt = now;
                }
                ::sendmmsg(sockets[s], msgs, unsigned(m), 0);
            }
        }
    }

    // Reads every reply waiting; returns the clients answered.
    std::vector<int> receive(int timeoutMs, bool learnTokens)
    {
        std::vector<pollfd> pfds;
        for (int fd : sockets)
            pfds.push_back({fd, POLLIN, 0});
        std::vector<int> done;
        if (::poll(pfds.data(), nfds_t(pfds.size()), timeoutMs) <= 0)
            return done;
        static char bufs[64][9216];
        const auto now = Clock::now();
        for (size_t s = 0; s < sockets.size(); ++s) {
            if (!(pfds[s].revents & POLLIN))
                continue;
            for (;;) {
                mmsghdr msgs[64];
                iovec iovs[64];
                for (int j = 0; j < 64; ++j) {
                    iovs[j] = {bufs[j], sizeof(bufs[j])};
                    aim(msgs[j], iovs[j], nullptr, 0);
                }
                const int n = ::recvmmsg(sockets[s], msgs, 64, MSG_DONTWAIT, nullptr);
                if (n <= 0)
                    break;
                for (int j = 0; j < n; ++j) {
                    const char *data = bufs[j];
                    size_t len = msgs[j].msg_len;
                    QByteArray opened;
                    if (!serverKey.isEmpty()) {
                        if (!unwrap(QByteArrayView(data, qsizetype(len)), &opened))
                            continue;
                        data = opened.constData();
                        len = size_t(opened.size());
                    }
                    const size_t nl = std::string_view(data, len).find('\n');
                    if (nl == std::string::npos) {
                        // News waiting: the client polls at once.
                        auto it = byToken.find(field(data, len, 'L'));
                        if (it != byToken.end() && !clients[size_t(it->second)].inFlight)
                            news.push_back(it->second);
                        continue;
                    }
                    // Lines said by the delivery run carry the time they were said.
                    const std::string_view body(data + nl, len - nl);
                    for (size_t at = body.find(":  t="); at != std::string_view::npos;
                         at = body.find(":  t=", at + 1))
                        deliveryUs.push_back(double(sinceStartUs()) -
                                             std::atof(std::string(body.substr(at + 5, 20)).c_str()));
                    const std::string tok = field(data, nl, 'L');
                    const auto known = byToken.find(tok);
                    int idx = known != byToken.end() ? known->second : -1;
                    if (idx < 0 && learnTokens && !pending.empty()) {
                        // First answers: the reply carries the new token; the
                        // client is known by the order of the handshake.
                        idx = pending.front();
                        pending.erase(pending.begin());
                        clients[size_t(idx)].token = tok;
                        byToken[tok] = idx;
                    }
                    if (idx < 0 || !clients[size_t(idx)].inFlight)
                        continue;
                    SimClient &c = clients[size_t(idx)];
                    const std::string reply = field(data, nl, 'Y');
                    if (!reply.empty())
                        c.lastReply = quint32(std::stoul(reply));
                    c.inFlight = false;
                    latenciesUs.push_back(std::chrono::duration<double, std::micro>(now - c.sentAt).count());
                    ++answered;
                    done.push_back(idx);
                }
            }
        }
        return done;
    }
    std::vector<int> pending; // handshake order
    std::vector<int> news;    // clients told that news waits, not polled yet
    std::vector<double> deliveryUs;
    const Clock::time_point started = Clock::now();
    long long sinceStartUs() const
    {
        return std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - started).count();
    }

    // Idle members (one poll every 4 s) in rooms of ten; `linesPerSecond`
    // lines said by members in turn; a client told that news waits polls at
    // once. Measures how long a line takes to reach the others.
    void delivery(double seconds, double linesPerSecond)
    {
        deliveryUs.clear();
        news.clear();
        const auto start = Clock::now();
        for (size_t i = 0; i < clients.size(); ++i)
            clients[i].due =
                start + std::chrono::microseconds(long(4e6 * double(i) / double(clients.size())));
        auto nextLine = start;
        size_t speaker = 0;
        while (Clock::now() - start < std::chrono::duration<double>(seconds)) {
            const auto now = Clock::now();
            std::vector<int> due = std::exchange(news, {});
            for (size_t i = 0; i < clients.size(); ++i)
                if (!clients[i].inFlight && clients[i].due <= now) {
                    due.push_back(int(i));
                    clients[i].due += std::chrono::seconds(4);
                }
            if (now >= nextLine) {
                nextLine += std::chrono::microseconds(long(1e6 / linesPerSecond));
                speaker = (speaker + 7) % clients.size();
                SimClient &c = clients[speaker];
                if (!c.inFlight && std::find(due.begin(), due.end(), int(speaker)) == due.end()) {
                    c.k = (c.k + 1) % 10;
                    std::string d = "<R>1</R><F>0</F><#>" + std::to_string(speaker % 100) +
                                    "</#><M>t=" + std::to_string(sinceStartUs()) + "</M>\n" +
                                    PollHeader::build(c.k, QByteArray::fromStdString(c.token), c.lastReply)
                                        .toStdString() +
                                    "\r\n";
                    c.inFlight = true;
                    c.sentAt = now;
                    ::sendto(sockets[size_t(c.socket)], d.data(), d.size(), 0,
                             reinterpret_cast<const sockaddr *>(&server), sizeof(server));
                }
            }
            std::sort(due.begin(), due.end());
            due.erase(std::unique(due.begin(), due.end()), due.end());
            std::erase_if(due, [&](int i) { return clients[size_t(i)].inFlight; });
            if (!due.empty())
                send(due, false);
            receive(1, false);
        }
        while (!receive(100, false).empty()) {
        }
        for (SimClient &c : clients)
            c.inFlight = false;
    }
    double deliveryPercentile(double p)
    {
        std::swap(latenciesUs, deliveryUs);
        const double v = percentile(p);
        std::swap(latenciesUs, deliveryUs);
        return v;
    }

    // Every client announces itself and echoes its token once.
    bool handshake()
    {
        for (size_t start = 0; start < clients.size(); start += 32) {
            std::vector<int> group;
            for (size_t i = start; i < std::min(clients.size(), start + 32); ++i)
                group.push_back(int(i));
            for (int attempt = 0; attempt < 20; ++attempt) {
                std::vector<int> missing;
                for (int i : group)
                    if (clients[size_t(i)].token.empty())
                        missing.push_back(i);
                if (missing.empty())
                    break;
                // One at a time, so replies map to clients by order.
                for (int i : missing) {
                    pending = {i};
                    send({i}, true);
                    receive(200, true);
                }
            }
        }
        for (const SimClient &c : clients)
            if (c.token.empty())
                return false;
        // Echo the tokens: the sessions become verified and take their room records.
        for (int round = 0; round < 5; ++round) {
            std::vector<int> all;
            for (size_t i = 0; i < clients.size(); ++i)
                all.push_back(int(i));
            for (size_t start = 0; start < all.size(); start += 256) {
                std::vector<int> part(all.begin() + long(start),
                                      all.begin() + long(std::min(all.size(), start + 256)));
                send(part, false);
                auto until = Clock::now() + std::chrono::milliseconds(300);
                size_t got = 0;
                while (got < part.size() && Clock::now() < until)
                    got += receive(50, false).size();
            }
        }
        for (SimClient &c : clients)
            c.inFlight = false;
        latenciesUs.clear();
        answered = 0;
        return true;
    }

    // Closed loop: `window` polls in flight, next client in turn on every answer.
    void fullSpeed(double seconds, int window)
    {
        latenciesUs.clear();
        answered = 0;
        size_t next = 0;
        auto pick = [&](int n) {
            std::vector<int> out;
            for (size_t tries = 0; int(out.size()) < n && tries < clients.size(); ++tries) {
                const int i = int(next);
                next = (next + 1) % clients.size();
                if (!clients[size_t(i)].inFlight)
                    out.push_back(i);
            }
            return out;
        };
        send(pick(window), false);
        const auto start = Clock::now();
        auto lastSweep = start;
        while (Clock::now() - start < std::chrono::duration<double>(seconds)) {
            const std::vector<int> done = receive(10, false);
            if (!done.empty())
                send(pick(int(done.size())), false);
            const auto now = Clock::now();
            if (now - lastSweep > std::chrono::milliseconds(100)) {
                // A datagram lost in a full buffer: poll again, as a client would.
                lastSweep = now;
                std::vector<int> late;
                for (size_t i = 0; i < clients.size(); ++i)
                    if (clients[i].inFlight && now - clients[i].sentAt > std::chrono::milliseconds(200))
                        late.push_back(int(i));
                resent += long(late.size());
                if (!late.empty())
                    send(late, false);
            }
        }
        const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
        rate = answered / elapsed;
        while (!receive(100, false).empty()) {
        }
        for (SimClient &c : clients)
            c.inFlight = false;
    }

    // Every client polls every `periodMs`: 4 s as an idle client does, 500 ms
    // as one that is talking or being talked to.
    void realCadence(double seconds, int periodMs = 4000)
    {
        latenciesUs.clear();
        answered = 0;
        const auto start = Clock::now();
        for (size_t i = 0; i < clients.size(); ++i)
            clients[i].due =
                start + std::chrono::microseconds(long(1e3 * periodMs * double(i) / double(clients.size())));
        while (Clock::now() - start < std::chrono::duration<double>(seconds)) {
            const auto now = Clock::now();
            std::vector<int> due;
            for (size_t i = 0; i < clients.size(); ++i)
                if (!clients[i].inFlight && clients[i].due <= now) {
                    due.push_back(int(i));
                    clients[i].due += std::chrono::milliseconds(periodMs);
                }
            if (!due.empty())
                send(due, false);
            receive(1, false);
        }
        const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
        rate = answered / elapsed;
        while (!receive(100, false).empty()) {
        }
    }

    double rate = 0;
    double percentile(double p)
    {
        if (latenciesUs.empty())
            return 0;
        std::sort(latenciesUs.begin(), latenciesUs.end());
        return latenciesUs[std::min(latenciesUs.size() - 1, size_t(p * double(latenciesUs.size())))];
    }
};

// One address floods the server: first polls that open sessions (a presence
// and a line for room 1, never confirmed, as from forged senders) and polls
// with made-up tokens carrying a private message (a guess at somebody's
// token), `rate` datagrams a second, until told to stop.
void attacker(quint16 port, double rate, std::atomic<bool> *stop, std::atomic<long long> *sent)
{
    pinTo(1);
    constexpr int batch = 64;
    std::vector<int> fds;
    for (int i = 0; i < 8; ++i)
        fds.push_back(udpSocket(0, nullptr, 0x7f000042u)); // 127.0.0.66
    sockaddr_in server = loopback(port);
    std::vector<std::string> texts(batch);
    const auto interval =
        std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(batch / rate));
    auto next = Clock::now();
    long long n = 0;
    static char sink[9216];
    while (!stop->load(std::memory_order_relaxed)) {
        mmsghdr msgs[batch];
        iovec iovs[batch];
        for (int j = 0; j < batch; ++j, ++n) {
            const std::string id = std::to_string(n % 1000000);
            if (n % 2 == 0)
                texts[size_t(j)] =
                    "<R>5</R><O>1</O><E>ATK" + id + "</E><N>x" + id +
                    "</N><I>5|0</I><#>1</#><W>-1</W>\n<R>1</R><O>2</O><F>255</F><#>1</#><M>spam " + id +
                    "</M>\n<R>0</R><K>1</K><Y>0</Y>\r\n";
            else
                texts[size_t(j)] =
                    "<R>3</R><O>" + id + "</O><N>me</N><E>ATTACKER!</E><M>hit</M>\n<R>0</R><K>" +
                    std::to_string(n % 10) + "</K><L>" + std::to_string(1000 + n % 9000) + "</L><Y>0</Y>\r\n";
            iovs[j] = {texts[size_t(j)].data(), texts[size_t(j)].size()};
            aim(msgs[j], iovs[j], &server, sizeof(server));
        }
        const int fd = fds[size_t(n / batch) % fds.size()];
        const int r = ::sendmmsg(fd, msgs, batch, 0);
        if (r > 0)
            sent->fetch_add(r, std::memory_order_relaxed);
        // The answers are read and thrown away, as an attacker would.
        for (int s : fds)
            while (::recv(s, sink, sizeof(sink), MSG_DONTWAIT) > 0) {
            }
        next += interval;
        std::this_thread::sleep_until(next);
    }
    for (int fd : fds)
        ::close(fd);
}

// Hosts 127.0.2.1 on, one session each under the staff nick, each guessing
// the staff password every 2 s (the per-host bound stops each after five a
// minute; the server-wide bound is what keeps the many from pinning it).
void staffGuessers(quint16 port, int hosts, std::atomic<bool> *stop, std::atomic<long long> *sent)
{
    pinTo(1);
    sockaddr_in server = loopback(port);
    struct Guesser {
        int fd = -1;
        std::string token;
        int k = 1;
        int n = 0;
    };
    std::vector<Guesser> guessers;
    static char buf[9216];
    const auto sendText = [&](Guesser &g, const std::string &text) {
        ::sendto(g.fd, text.data(), text.size(), 0, reinterpret_cast<sockaddr *>(&server), sizeof(server));
        sent->fetch_add(1, std::memory_order_relaxed);
    };
    for (int i = 0; i < hosts && !stop->load(); ++i) {
        Guesser g;
        g.fd = udpSocket(0, nullptr, 0x7f000200u + quint32(i + 1));
        sendText(g, "<R>5</R><O>1</O><E>STAFFG" + std::to_string(100 + i) +
                        "</E><N>Halvex Staff</N><I>5|0</I><#>2</#><W>-1</W>\n<R>0</R><K>1</K><Y>0</Y>\r\n");
        pollfd p{g.fd, POLLIN, 0};
        if (::poll(&p, 1, 1000) > 0) {
            const ssize_t len = ::recv(g.fd, buf, sizeof(buf), 0);
            if (len > 0)
                g.token = Generator::field(buf, size_t(len), 'L');
        }
        guessers.push_back(g);
    }
    auto next = Clock::now();
    while (!stop->load(std::memory_order_relaxed)) {
        for (Guesser &g : guessers) {
            if (g.token.empty())
                continue;
            g.k = (g.k + 1) % 10;
            ++g.n;
            sendText(g, "<R>28</R><O>" + std::to_string(1 + g.n) + "</O><#>0</#><S>guess" +
                            std::to_string(g.n) + "</S>\n<R>0</R><K>" + std::to_string(g.k) + "</K><L>" +
                            g.token + "</L><Y>0</Y>\r\n");
            while (::recv(g.fd, buf, sizeof(buf), MSG_DONTWAIT) > 0) {
            }
        }
        next += std::chrono::seconds(2);
        while (Clock::now() < next && !stop->load(std::memory_order_relaxed))
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    for (const Guesser &g : guessers)
        ::close(g.fd);
}

// One member (127.0.3.1) polling every 500 ms while polls with wrong tokens,
// forged with her own address and port, come at `rate` a second. Returns
// the share of her polls answered within 1 s.
double wrongTokensAtOneMember(quint16 port, double rate, double seconds, long long *forged)
{
    sockaddr_in server = loopback(port);
    const auto to = reinterpret_cast<sockaddr *>(&server);
    quint16 shared = 0;
    const int forger = udpSocket(0, &shared, 0x7f000301u, true);
    const int member = udpSocket(shared, nullptr, 0x7f000301u, true); // bound last: she hears the replies
    static char buf[9216];
    // Sends a poll of hers and waits for the answer naming `token` (any, when
    // empty): the answers to the forged polls reach her socket too.
    const auto ask = [&](const std::string &text, int waitMs, const std::string &token) -> std::string {
        ::sendto(member, text.data(), text.size(), 0, to, sizeof(server));
        const auto deadline = Clock::now() + std::chrono::milliseconds(waitMs);
        pollfd p{member, POLLIN, 0};
        while (Clock::now() < deadline) {
            if (::poll(&p, 1, 10) <= 0)
                continue;
            const ssize_t len = ::recv(member, buf, sizeof(buf), 0);
            if (len > 0 && (token.empty() || Generator::field(buf, size_t(len), 'L') == token))
                return std::string(buf, size_t(len));
        }
        return {};
    };
    const std::string token =
        Generator::field(ask("<R>5</R><O>1</O><E>VICTIM01!</E><N>Victim</N><I>5|0</I><#>1</#><W>-1</W>\n"
                             "<R>0</R><K>1</K><Y>0</Y>\r\n",
                             1000, {})
                             .c_str(),
                         64, 'L');
    ask("<R>0</R><K>1</K><L>" + token + "</L><Y>0</Y>\r\n", 1000, token);
    std::atomic<bool> stop{false};
    std::atomic<long long> sent{0};
    std::thread flood([&] {
        pinTo(1);
        const auto interval =
            std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(1 / rate));
        auto next = Clock::now();
        for (long long n = 0; !stop.load(std::memory_order_relaxed); ++n) {
            const std::string text = "<R>1</R><O>" + std::to_string(n % 999999 + 1) +
                                     "</O><M>x</M>\n<R>0</R><K>" + std::to_string(n % 10) + "</K><L>" +
                                     std::to_string(1000 + n % 9000) + "</L><Y>0</Y>\r\n";
            ::sendto(forger, text.data(), text.size(), 0, to, sizeof(server));
            sent.fetch_add(1, std::memory_order_relaxed);
            next += interval;
            std::this_thread::sleep_until(next);
        }
    });
    int polls = 0;
    int answered = 0;
    const auto start = Clock::now();
    for (int k = 2; Clock::now() - start < std::chrono::duration<double>(seconds); ++k) {
        const auto sentAt = Clock::now();
        ++polls;
        if (!ask("<R>0</R><K>" + std::to_string(k % 10) + "</K><L>" + token + "</L><Y>0</Y>\r\n", 1000, token)
                 .empty())
            ++answered;
        std::this_thread::sleep_until(sentAt + std::chrono::milliseconds(500));
    }
    stop = true;
    flood.join();
    *forged = sent.load();
    ::close(forger);
    ::close(member);
    return double(answered) / std::max(1, polls);
}

double idleSessionBytes(int n)
{
    RoomStore rooms;
    rooms.load();
    ChatServer chat(&rooms);
    malloc_trim(0);
    const size_t before = mallinfo2().uordblks;
    std::vector<std::pair<Endpoint, QByteArray>> polls;
    for (int i = 0; i < n; ++i) {
        const Endpoint peer = Endpoint::ipv4(0x0a000000u + quint32(i / 8), quint16(1024 + i % 60000));
        const QByteArray hello = "<R>5</R><E>ID" + QByteArray::number(i).rightJustified(6, '0') +
                                 "!</E><N>member" + QByteArray::number(i) + "</N><I>5|0</I><#>" +
                                 QByteArray::number(i % 100) +
                                 "</#><W>-1</W><T>1400</T>\n<R>0</R><K>1</K>\r\n";
        const QByteArray ack = chat.handleDatagram(peer, hello, 0);
        const qsizetype l = ack.indexOf("<L>");
        const QByteArray token = ack.mid(l + 3, ack.indexOf("</L>") - l - 3);
        polls.emplace_back(peer, PollHeader::build(1, token, 0) + "\r\n");
    }
    // Echo the tokens and take everything queued, confirming each reply as
    // the client does. A session's records run when its token comes back,
    // so the arrivals of those confirmed later reach those drained before:
    // a second round leaves every session idle.
    for (int round = 0; round < 2; ++round)
        for (auto &[peer, poll] : polls) {
            int q = 1;
            while (q > 0) {
                const QByteArray r = chat.handleDatagram(peer, poll, 0);
                const auto ack = AckHeader::parse(QByteArrayView(r).first(r.indexOf('\n')));
                q = ack ? ack->q : 0;
                if (ack && ack->reply > 0)
                    poll = PollHeader::build(1, ack->token.toByteArray(), ack->reply) + "\r\n";
            }
            chat.handleDatagram(peer, poll, 0);
        }
    const size_t pollBytes = polls.capacity() * sizeof(polls[0]) + polls.size() * 48;
    const size_t after = mallinfo2().uordblks;
    return double(after - before - pollBytes) / n;
}

// The sealed link against plain, each on a server of its own. The generator
// seals and opens every poll too, so on a small machine it may set the pace of
// both runs: the server's own CPU time per poll says what the server itself
// could answer on a core of its own.
bool sealedAgainstPlain(int nClients, int nSockets, double seconds, int window)
{
    double plainRate = 0;
    double plainCpu = 0;
    for (const bool sealed : {false, true}) {
        Served server;
        const SealKeyPair key = SealKeyPair::generate();
        server.udp.setSealing(key);
        if (!server.start())
            return false;
        clockid_t serverClock{};
        pthread_getcpuclockid(server.thread.native_handle(), &serverClock);
        auto cpuUs = [&] {
            timespec ts{};
            clock_gettime(serverClock, &ts);
            return double(ts.tv_sec) * 1e6 + double(ts.tv_nsec) / 1e3;
        };
        Generator g(server.udp.port(), nClients, nSockets);
        if (sealed)
            g.seal(key.publicKey);
        if (!g.handshake()) {
            std::fprintf(stderr, "%s handshake failed\n", sealed ? "sealed" : "plain");
            return false;
        }
        const double cpuBefore = cpuUs();
        g.fullSpeed(seconds, window);
        const double cpuPerPoll = (cpuUs() - cpuBefore) / std::max(1.0, double(g.answered));
        const double ofPlain = 100 * g.rate / std::max(1.0, plainRate);
        const double cpuOfPlain = 100 * plainCpu / std::max(1e-9, cpuPerPoll);
        std::printf("%s link (%d clients, full speed): %9.0f polls/s%s  (p50 %.0f us, p99 %.0f us); "
                    "server CPU %.2f us a poll = %.0f polls/s a core%s\n",
                    sealed ? "sealed" : "plain ", nClients, g.rate,
                    sealed ? qPrintable(QStringLiteral(" = %1% of plain").arg(ofPlain, 0, 'f', 0)) : "",
                    g.percentile(0.5), g.percentile(0.99), cpuPerPoll, 1e6 / cpuPerPoll,
                    sealed ? qPrintable(QStringLiteral(" = %1% of plain").arg(cpuOfPlain, 0, 'f', 0)) : "");
        if (!sealed) {
            plainRate = g.rate;
            plainCpu = cpuPerPoll;
        }
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    int nClients = 1000;
    double seconds = 3;
    int window = 256;
    int nSessions = 10000;
    double attackRate = 20000;
    int nGuessers = 60;
    bool onlySealed = false;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string a = argv[i];
        if (a == "--clients")
            nClients = std::atoi(argv[i + 1]);
        else if (a == "--seconds")
            seconds = std::atof(argv[i + 1]);
        else if (a == "--window")
            window = std::atoi(argv[i + 1]);
        else if (a == "--sessions")
            nSessions = std::atoi(argv[i + 1]);
        else if (a == "--attack-rate")
            attackRate = std::atof(argv[i + 1]);
        else if (a == "--guessers")
            nGuessers = std::atoi(argv[i + 1]);
        else if (a == "--only" && std::string(argv[i + 1]) == "sealed")
            onlySealed = true;
    }
    pinTo(1);
    // 16 clients an address: well within what the server lets one address hold.
    const int nSockets = std::max(1, (nClients + 15) / 16);
    if (onlySealed)
        return sealedAgainstPlain(nClients, nSockets, seconds, window) ? 0 : 1;

    // 1. The yardstick.
    quint16 echoPort = 0;
    const int echoFd = udpSocket(0, &echoPort);
    std::atomic<bool> stop{false};
    std::thread echo(echoServer, echoFd, &stop);
    double echoRate = 0;
    {
        Generator g(echoPort, nClients, nSockets);
        for (size_t i = 0; i < g.clients.size(); ++i) {
            g.clients[i].token = "t" + std::to_string(i);
            g.byToken[g.clients[i].token] = int(i);
        }
        g.fullSpeed(seconds, window);
        echoRate = g.rate;
        std::printf("echo yardstick:      %9.0f replies/s  (p50 %.0f us, p99 %.0f us)\n", g.rate,
                    g.percentile(0.5), g.percentile(0.99));
    }
    stop = true;
    echo.join();
    ::close(echoFd);

    // 2. The chat server on the same core.
    Served served;
    // A staff password hashed as the real staff file's are: each check costs
    // what a real one does.
    StaffPasswords staff;
    staff.add(QStringLiteral("Halvex Staff"), StaffPasswords::hash(QStringLiteral("not guessed")));
    served.chat.setStaff(staff);
    if (!served.start())
        return 1;
    {
        Generator g(served.udp.port(), nClients, nSockets);
        if (!g.handshake()) {
            std::fprintf(stderr, "handshake failed\n");
            return 1;
        }
        std::printf("sessions open:       %9d\n", served.chat.sessionCount());
        g.fullSpeed(seconds, window);
        std::printf("chat server (%d clients, full speed): %9.0f polls/s = %.0f%% of the yardstick  "
                    "(p50 %.0f us, p99 %.0f us, %lld resent)\n",
                    nClients, g.rate, 100 * g.rate / echoRate, g.percentile(0.5), g.percentile(0.99),
                    g.resent);
        const double calmRate = g.rate;
        g.realCadence(std::max(seconds, 8.0));
        std::printf("chat server (%d clients, one poll every 4 s): %.0f polls/s, p50 %.0f us, p99 %.0f us\n",
                    nClients, g.rate, g.percentile(0.5), g.percentile(0.99));
        const double calmIdle = g.rate;
        g.realCadence(std::max(seconds, 2.0), 500);
        std::printf(
            "chat server (%d clients, one poll every 500 ms): %.0f polls/s, p50 %.0f us, p99 %.0f us\n",
            nClients, g.rate, g.percentile(0.5), g.percentile(0.99));
        const double calmBusy = g.rate;

        // 3. The same clients while one address floods the server.
        std::atomic<bool> stopAttack{false};
        std::atomic<long long> attackSent{0};
        std::thread attack(attacker, served.udp.port(), attackRate, &stopAttack, &attackSent);
        const auto attackStart = Clock::now();
        std::printf("under attack from one address (%.0f forged first polls and wrong tokens a second):\n",
                    attackRate);
        g.realCadence(std::max(seconds, 8.0));
        const double idleKept = g.rate / calmIdle;
        std::printf("  one poll every 4 s: %.0f polls/s = %.0f%% of the same clients without it "
                    "(p50 %.0f us, p99 %.0f us)\n",
                    g.rate, 100 * idleKept, g.percentile(0.5), g.percentile(0.99));
        g.realCadence(std::max(seconds, 2.0), 500);
        const double busyKept = g.rate / calmBusy;
        std::printf("  one poll every 500 ms: %.0f polls/s = %.0f%% (p50 %.0f us, p99 %.0f us)\n", g.rate,
                    100 * busyKept, g.percentile(0.5), g.percentile(0.99));
        // Flat out the clients and the flood share one socket and one core:
        // this shows what the flood's datagrams cost, not what it denies.
        g.fullSpeed(seconds, window);
        std::printf("  full speed: %.0f polls/s = %.0f%% (p50 %.0f us, p99 %.0f us, %lld resent)\n", g.rate,
                    100 * g.rate / calmRate, g.percentile(0.5), g.percentile(0.99), g.resent);
        stopAttack = true;
        attack.join();
        const double attackSeconds = std::chrono::duration<double>(Clock::now() - attackStart).count();

        // 4. Many hosts guessing the staff password at once.
        std::atomic<bool> stopGuessing{false};
        std::atomic<long long> guessesSent{0};
        std::thread guessing(staffGuessers, served.udp.port(), nGuessers, &stopGuessing, &guessesSent);
        std::this_thread::sleep_for(std::chrono::seconds(2)); // their sessions open, the guesses start
        g.realCadence(std::max(seconds, 8.0), 500);
        const double guessKept = g.rate / calmBusy;
        const double withinSecond = double(std::count_if(g.latenciesUs.begin(), g.latenciesUs.end(),
                                                         [](double us) { return us <= 1e6; })) /
                                    double(std::max<size_t>(1, g.latenciesUs.size()));
        stopGuessing = true;
        guessing.join();
        std::printf(
            "staff-password guesses from %d hosts (%lld datagrams): one poll every 500 ms: %.0f polls/s "
            "= %.0f%%, %.1f%% of them answered within 1 s (p50 %.0f us, p99 %.0f us)\n",
            nGuessers, guessesSent.load(), g.rate, 100 * guessKept, 100 * withinSecond, g.percentile(0.5),
            g.percentile(0.99));
        // 5. Wrong tokens forged with one member's own address and port.
        long long forged = 0;
        const double memberKept =
            wrongTokensAtOneMember(served.udp.port(), 200, std::max(seconds, 8.0), &forged);
        std::printf(
            "wrong tokens forged with one member's address and port (%lld at 200 a second): %.0f%% of "
            "her polls answered within 1 s\n",
            forged, 100 * memberKept);
        served.end();
        std::printf("  the flood: %lld datagrams in %.1f s; sessions open %d; wrong tokens dropped %llu; "
                    "sessions ended unconfirmed %llu\n",
                    attackSent.load(), attackSeconds, served.chat.sessionCount(),
                    static_cast<unsigned long long>(served.chat.stats().wrongTokensDropped),
                    static_cast<unsigned long long>(served.chat.stats().unconfirmedEnded));
        if (idleKept < 0.9 || busyKept < 0.9 || guessKept * withinSecond < 0.9 || memberKept < 0.9) {
            std::printf("ERROR: the honest clients kept less than 90%% of their throughput\n");
            return 1;
        }
    }

    // 6. A line to idle members: with the news datagram and without, each
    // server measured flat out in the same run.
    for (const bool news : {false, true}) {
        ServerLimits limits;
        limits.news = news;
        Served server(limits);
        if (!server.start())
            return 1;
        Generator g(server.udp.port(), nClients, nSockets);
        if (!g.handshake())
            return 1;
        g.fullSpeed(seconds, window);
        const double rate = g.rate;
        g.delivery(std::max(seconds, 8.0), 20);
        std::printf("a line to idle members, news %s (%d members, rooms of 10, 20 lines/s): "
                    "p50 %.1f ms, p95 %.1f ms, p99 %.1f ms over %zu deliveries; full speed %.0f polls/s\n",
                    news ? "on " : "off", nClients, g.deliveryPercentile(0.5) / 1000,
                    g.deliveryPercentile(0.95) / 1000, g.deliveryPercentile(0.99) / 1000, g.deliveryUs.size(),
                    rate);
    }

    // 7. The sealed link against plain.
    if (!sealedAgainstPlain(nClients, nSockets, seconds, window))
        return 1;

    // 8. Memory of idle sessions.
    std::printf("memory per idle session (%d sessions): %.0f bytes\n", nSessions,
                idleSessionBytes(nSessions));
    return 0;
}
