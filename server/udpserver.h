#pragma once

#include "endpoint.h"
#include "sealedgate.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <deque>
#include <functional>
#include <memory>
#include <random>

class QSocketNotifier;

namespace hchat {

class ChatServer;

/// Faults injected on what the server receives and sends, for tests of the
/// link under loss: each datagram is dropped with probability `drop`, sent
/// or handled twice with probability `dup`, and held back `delayMs`.
struct FaultSettings {
    double drop = 0;
    double dup = 0;
    int delayMs = 0;
    quint32 seed = 0; ///< 0: a random seed
};

/// The UDP side of the server: one non-blocking socket read and written in
/// batches (recvmmsg/sendmmsg), each datagram handed to the ChatServer and
/// its reply sent back. Runs from the Qt event loop, or from a plain loop
/// calling processPending() (the load generator does that).
class UdpServer : public QObject
{
    Q_OBJECT
public:
    explicit UdpServer(ChatServer *server, QObject *parent = nullptr);
    ~UdpServer() override;

    /// Binds "ADDR:PORT" ("127.0.0.1:5500", "[::1]:0", "0.0.0.0:5500").
    /// With `useEventLoop` a socket notifier and a one-second tick timer are set up.
    bool listen(const QString &addressAndPort, QString *error, bool useEventLoop = true);
    /// The bound port (useful after listening on port 0).
    quint16 port() const { return m_port; }
    int socketDescriptor() const { return m_fd; }
    void setFaults(const FaultSettings &faults);
    /// Speaks the sealed link under `key` besides plain datagrams (none:
    /// only `sealedOnly`). Returns the gate for its counters.
    SealedGate *setSealing(const SealKeyPair &key, bool sealedOnly = false);
    SealedGate *sealing() const { return m_gate.get(); }

    /// What went through the socket, faults included (for tests and logs).
    struct Counters {
        quint64 datagramsIn = 0; ///< read from the socket
        quint64 droppedIn = 0;   ///< thrown away by --drop before handling
        quint64 repliesOut = 0;  ///< handed to the socket
        quint64 droppedOut = 0;  ///< thrown away by --drop before sending
        quint64 newsOut = 0;     ///< news datagrams handed to the socket (not counted as replies)
    };
    const Counters &counters() const { return m_counters; }

    /// Reads and answers every datagram waiting on the socket; returns how many.
    int processPending();
    /// Milliseconds on the server's monotonic clock (what ChatServer sees).
    qint64 nowMs() const { return m_now ? m_now() : m_clock.elapsed(); }
    /// Replaces that clock (tests drive time by hand).
    void setClock(std::function<qint64()> now) { m_now = std::move(now); }

private:
    struct Held {
        qint64 due;
        Endpoint peer;
        QByteArray bytes;
        bool incoming;
    };
    void handle(const Endpoint &peer, QByteArrayView datagram, QList<QPair<Endpoint, QByteArray>> *out);
    void sendAll(const QList<QPair<Endpoint, QByteArray>> &out);
    void transmit(const QList<QPair<Endpoint, QByteArray>> &out);
    void releaseHeld();
    QList<QPair<Endpoint, QByteArray>> takeNews();
    bool chance(double p);
    bool faulty() const { return m_faults.drop > 0 || m_faults.dup > 0 || m_faults.delayMs > 0; }
    /// Drops, doubles or holds back a datagram as the faults say: the
    /// copies that go on now.
    int faultCopies(const Endpoint &peer, const QByteArray &bytes, bool incoming);

    ChatServer *m_server;
    int m_fd = -1;
    quint16 m_port = 0;
    bool m_v6 = false;
    QSocketNotifier *m_notifier = nullptr;
    QTimer m_tick;
    QTimer m_persist;
    QTimer m_heldTimer;
    QElapsedTimer m_clock;
    std::function<qint64()> m_now;
    FaultSettings m_faults;
    Counters m_counters;
    std::mt19937 m_random;
    std::deque<Held> m_held;
    std::unique_ptr<SealedGate> m_gate;
};

} // namespace hchat
