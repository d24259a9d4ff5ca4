// The chat server's state machine alone: what one poll costs without sockets.
#include "protocol/ackheader.h"
#include "protocol/numberwindow.h"
#include "protocol/pollheader.h"
#include "server/chatserver.h"
#include "server/roomstore.h"

#include <benchmark/benchmark.h>

#include <map>
#include <memory>

using namespace hchat;

namespace {

struct Fixture {
    RoomStore rooms;
    ChatServer chat{&rooms};
    std::vector<std::pair<Endpoint, QByteArray>> polls; // idle poll of each member

    explicit Fixture(int members)
    {
        rooms.load();
        std::vector<QByteArray> tokens;
        for (int i = 0; i < members; ++i) {
            // A few members per address, as behind the routers of small offices.
            const Endpoint peer = Endpoint::ipv4(0x0a000000 + quint32(i / 8), quint16(2000 + i));
            // Room 1 holds 250 members (a busy room); the others spread out,
            // so that setting up thousands of members stays quick.
            const int room = i % 4 == 0 && i < 1000 ? 1 : 2 + i % 97;
            const QByteArray hello = "<R>5</R><E>BENCH" + QByteArray::number(i).rightJustified(3, '0') +
                                     "!</E><N>m" + QByteArray::number(i) + "</N><I>5|0</I><#>" +
                                     QByteArray::number(room) + "</#><W>-1</W>\n<R>0</R><K>1</K>\r\n";
            const QByteArray ack = chat.handleDatagram(peer, hello, 0);
            const qsizetype l = ack.indexOf("<L>");
            tokens.push_back(ack.mid(l + 3, ack.indexOf("</L>") - l - 3));
            polls.emplace_back(peer, QByteArray());
        }
        // Everyone takes what is queued (the others' arrivals), confirming
        // each reply as the client does: then every member is idle.
        for (size_t i = 0; i < polls.size(); ++i) {
            quint32 last = 0;
            for (;;) {
                const QByteArray r =
                    chat.handleDatagram(polls[i].first, PollHeader::build(1, tokens[i], last) + "\r\n", 0);
                const auto a = AckHeader::parse(QByteArrayView(r).first(r.indexOf('\n')));
                if (!a || a->reply == 0)
                    break;
                last = a->reply;
            }
            polls[i].second = PollHeader::build(1, tokens[i], last) + "\r\n";
        }
    }
};

// One fixture per size for the whole run: the benchmark function runs
// several times while its iterations are sized.
Fixture &fixture(int members)
{
    static std::map<int, std::unique_ptr<Fixture>> made;
    auto &f = made[members];
    if (!f)
        f = std::make_unique<Fixture>(members);
    return *f;
}

} // namespace

static void BM_IdlePoll(benchmark::State &state)
{
    Fixture &f = fixture(int(state.range(0)));
    size_t i = 0;
    for (auto _ : state) {
        const auto &[peer, poll] = f.polls[i];
        benchmark::DoNotOptimize(f.chat.handleDatagram(peer, poll, 1000));
        i = (i + 1) % f.polls.size();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_IdlePoll)->Arg(1000)->Arg(10000);

// The reply number a member echoes in its next poll.
static quint32 replyOf(const QByteArray &reply, quint32 last)
{
    const auto a = AckHeader::parse(QByteArrayView(reply).first(qMax<qsizetype>(0, reply.indexOf('\n'))));
    return a && a->reply > 0 ? a->reply : last;
}

// One chat line into a room of ~250 members, then their polls carry it out.
static void BM_ChatLineFanOut(benchmark::State &state)
{
    Fixture &f = fixture(1000);
    const auto &[peer, poll] = f.polls[0];
    const auto header = PollHeader::parse(QByteArrayView(poll).chopped(2));
    const QByteArray token = header->token.toByteArray();
    const quint32 echo = header->lastReply;
    // What the members and the sender have seen carries over from one run of
    // this function to the next, as the server's state does.
    static std::vector<std::pair<QByteArray, quint32>> members; // token and last reply of every fourth member
    if (members.empty()) {
        for (size_t m = 4; m < f.polls.size(); m += 4) {
            const auto h = PollHeader::parse(QByteArrayView(f.polls[m].second).chopped(2));
            members.emplace_back(h->token.toByteArray(), h->lastReply);
        }
    }
    static int k = 1;
    static quint32 number = 0;
    static qint64 now = 0;
    for (auto _ : state) {
        k = (k + 1) % 10;
        number = NumberWindow::next(number);
        now += 1000;
        const QByteArray line = "<R>1</R><O>" + QByteArray::number(number) +
                                "</O><F>255</F><#>1</#><M>hello</M>\n" + PollHeader::build(k, token, echo) +
                                "\r\n";
        benchmark::DoNotOptimize(f.chat.handleDatagram(peer, line, now));
        for (size_t i = 0; i < members.size(); ++i) {
            auto &[memberToken, last] = members[i];
            const QByteArray reply = f.chat.handleDatagram(
                f.polls[4 + 4 * i].first, PollHeader::build(1, memberToken, last) + "\r\n", now);
            last = replyOf(reply, last);
        }
    }
}
BENCHMARK(BM_ChatLineFanOut);

BENCHMARK_MAIN();
