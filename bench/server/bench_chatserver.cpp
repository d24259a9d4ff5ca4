// The chat server's state machine alone: what one poll costs without sockets.
#include "server/chatserver.h"
#include "server/roomstore.h"

#include <benchmark/benchmark.h>

using namespace hchat;

namespace {

struct Fixture {
    RoomStore rooms;
    ChatServer chat{&rooms};
    std::vector<std::pair<Endpoint, QByteArray>> polls; // idle poll of each member

    explicit Fixture(int members)
    {
        rooms.load();
        for (int i = 0; i < members; ++i) {
            const Endpoint peer = Endpoint::ipv4(0x7f000001, quint16(2000 + i));
            const QByteArray hello = "<R>5</R><E>BENCH" + QByteArray::number(i).rightJustified(3, '0') +
                                     "!</E><N>m" + QByteArray::number(i) + "</N><I>5|0</I><#>" +
                                     QByteArray::number(1 + i % 4) + "</#><W>-1</W>\n<R>0</R><K>1</K>\r\n";
            const QByteArray ack = chat.handleDatagram(peer, hello, 0);
            const qsizetype l = ack.indexOf("<L>");
            const QByteArray poll =
                "<R>0</R><K>1</K><L>" + ack.mid(l + 3, ack.indexOf("</L>") - l - 3) + "</L>\r\n";
            for (int j = 0; j < 200; ++j)
                chat.handleDatagram(peer, poll, 0); // verified, queue drained
            polls.emplace_back(peer, poll);
        }
    }
};

} // namespace

static void BM_IdlePoll(benchmark::State &state)
{
    Fixture f(int(state.range(0)));
    size_t i = 0;
    for (auto _ : state) {
        const auto &[peer, poll] = f.polls[i];
        benchmark::DoNotOptimize(f.chat.handleDatagram(peer, poll, 1000));
        i = (i + 1) % f.polls.size();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_IdlePoll)->Arg(1000)->Arg(10000);

// One chat line into a room of ~250 members, then their polls carry it out.
static void BM_ChatLineFanOut(benchmark::State &state)
{
    Fixture f(1000);
    const auto &[peer, poll] = f.polls[0];
    const QByteArray token = poll.mid(poll.indexOf("<L>") + 3, 4);
    int k = 1;
    qint64 now = 0;
    for (auto _ : state) {
        k = (k + 1) % 10;
        now += 1000;
        const QByteArray line = "<R>1</R><F>255</F><#>1</#><M>hello</M>\n<R>0</R><K>" +
                                QByteArray::number(k) + "</K><L>" + token + "</L>\r\n";
        benchmark::DoNotOptimize(f.chat.handleDatagram(peer, line, now));
        for (size_t m = 4; m < f.polls.size(); m += 4)
            benchmark::DoNotOptimize(f.chat.handleDatagram(f.polls[m].first, f.polls[m].second, now));
    }
}
BENCHMARK(BM_ChatLineFanOut);

BENCHMARK_MAIN();
