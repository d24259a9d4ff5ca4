// How many received records per second the link splits off its datagrams,
// parses and dispatches by kind. Target: at least 5,000,000 records/s.
#include "protocol/datagramlink.h"
#include "protocol/linkevents.h"
#include "protocol/numberwindow.h"
#include "protocol/sealedtransport.h"
#include "protocol/transport.h"
#include "protocol/wirelimits.h"

#include <benchmark/benchmark.h>

using namespace hchat;

namespace {

struct CountingEvents : LinkEvents {
    qint64 records = 0;
    qint64 bytes = 0;
    void linkShow(const QString &) override {}
    void linkDispatch(int, const QString &record) override
    {
        ++records;
        bytes += record.size();
    }
    void linkPaged(const QString &) override {}
    void linkBufferSize(int) override {}
    void linkReannounce() override {}
    void linkRepeatWarning(int, const QString &) override {}
    void linkLost() override {}
    void linkRestored() override {}
};

// The server's end: the polls go nowhere, the replies come from the benchmark.
struct NullTransport : Transport {
    void sendDatagram(const QByteArray &) override {}
    void setEndpoint(const QString &, quint16) override {}
};

// A chat line of 60 bytes, line feed not counted.
QByteArray chatRecord(int i, bool utf8)
{
    QByteArray r = "<R>1</R><F>255</F><E>abcdefgh!</E><#>0</#><M>Ann:  ";
    r += utf8 ? QByteArray("caf\xc3\xa9 ") : QByteArray("hello ");
    r += QByteArray::number(i % 10);
    while (r.size() < 60 - 4)
        r += 'x';
    return r + "</M>";
}

// One server reply as big as the server sends: the acknowledgement with its
// reply number and as many records as fit in a reply.
QByteArray reply(bool utf8, int &count)
{
    QByteArray d = "<R>0</R><K>0</K><Q>0</Q><L>ab</L><Y>000001</Y>\n";
    count = 0;
    for (;;) {
        const QByteArray r = chatRecord(count, utf8) + '\n';
        if (d.size() + r.size() > WireLimits::maxReplyBytes)
            break;
        d += r;
        ++count;
    }
    return d;
}

// Every reply the server sends has a number of its own: a reply number seen
// before would be a network copy, and its records would not count.
void number(QByteArray &datagram, quint32 n)
{
    char *digits = datagram.data() + datagram.indexOf("<Y>") + 3;
    for (int i = 5; i >= 0; --i, n /= 10)
        digits[i] = char('0' + n % 10);
}

void receive(benchmark::State &state, bool utf8)
{
    CountingEvents events;
    NullTransport transport;
    DatagramLink link(events);
    link.open(&transport);
    int perDatagram = 0;
    QByteArray datagram = reply(utf8, perDatagram);
    quint32 n = 0;
    for (auto _ : state) {
        n = NumberWindow::next(n);
        number(datagram, n);
        // The link takes records only from the answer to a poll of its own:
        // one poll (an idle one, K unchanged) for every reply, as in a chat.
        link.Send(0);
        link.receive(datagram);
    }
    state.counters["records/s"] =
        benchmark::Counter(double(state.iterations()) * perDatagram, benchmark::Counter::kIsRate);
    state.counters["records/datagram"] = perDatagram;
    if (events.records != qint64(state.iterations()) * perDatagram)
        state.SkipWithError("records lost");
}

// The same replies sealed: the client's SealedTransport opens each (the
// server's sealing is done beforehand, outside the timing) and hands it on.
void BM_ReceiveSealedChatLines(benchmark::State &state)
{
    CountingEvents events;
    SealEvents sealEvents;
    const SealKeyPair server = SealKeyPair::generate();
    // The handshake, played here in the server's part.
    QByteArray handshake;
    struct Capture : Transport {
        QByteArray *out;
        void sendDatagram(const QByteArray &d) override { *out = d; }
        void setEndpoint(const QString &, quint16) override {}
    } capture;
    capture.out = &handshake;
    SealedTransport probe(capture, sealEvents, SealKeyPair::generate());
    probe.setServerKey(server.publicKey);
    DatagramLink link(events);
    link.open(&probe);
    link.Send(0);
    auto [channel, answer] = SealResponder::answer(*SealResponder::open(server, handshake), 1, {});
    capture.receiver(answer, {}, 0);
    int perDatagram = 0;
    QByteArray datagram = reply(false, perDatagram);
    std::vector<QByteArray> batch(256);
    quint32 n = 0;
    size_t at = 0;
    for (auto _ : state) {
        at = (at + 1) % batch.size();
        if (at == 0 || n == 0) {
            state.PauseTiming();
            for (QByteArray &b : batch) {
                n = NumberWindow::next(n);
                number(datagram, n);
                b = channel.seal(datagram);
            }
            state.ResumeTiming();
        }
        link.Send(0);
        capture.receiver(batch[at], {}, 0);
    }
    state.counters["records/s"] =
        benchmark::Counter(double(state.iterations()) * perDatagram, benchmark::Counter::kIsRate);
    if (events.records != qint64(state.iterations()) * perDatagram)
        state.SkipWithError("records lost");
}

void BM_ReceiveAsciiChatLines(benchmark::State &state)
{
    receive(state, false);
}
void BM_ReceiveUtf8ChatLines(benchmark::State &state)
{
    receive(state, true);
}

} // namespace

BENCHMARK(BM_ReceiveAsciiChatLines);
BENCHMARK(BM_ReceiveUtf8ChatLines);
BENCHMARK(BM_ReceiveSealedChatLines);
BENCHMARK_MAIN();
