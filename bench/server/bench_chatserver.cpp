// The chat server's state machine alone: what one poll costs without sockets.
#include "protocol/ackheader.h"
#include "protocol/numberwindow.h"
#include "protocol/pollheader.h"
#include "server/chatserver.h"
#include "server/roomstore.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <map>
#include <memory>

using namespace hchat;

namespace {

// A member's link: its address, its token and the last reply it took.
struct Member {
    Endpoint peer;
    QByteArray token{};
    quint32 last = 0;
    QByteArray idle{}; ///< its poll once everything waiting was taken

    QByteArray poll(int k, const QByteArray &records = {}) const
    {
        return records + PollHeader::build(k, token, last) + "\r\n";
    }
};

// The reply number a member echoes in its next poll.
quint32 replyOf(const QByteArray &reply, quint32 last)
{
    const auto a = AckHeader::parse(QByteArrayView(reply).first(qMax<qsizetype>(0, reply.indexOf('\n'))));
    return a && a->reply > 0 ? a->reply : last;
}

struct Fixture {
    RoomStore rooms;
    ChatServer chat{&rooms};
    std::vector<Member> members;

    explicit Fixture(int n, const QString &dataDir = QString()) : rooms(dataDir)
    {
        rooms.load();
        for (int i = 0; i < n; ++i) {
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
            members.push_back({.peer = peer, .token = ack.mid(l + 3, ack.indexOf("</L>") - l - 3)});
        }
        // Every token comes back (the members arrive then, queueing their
        // arrival for each other); then everyone takes what is queued,
        // confirming each reply as the client does: then every member is idle.
        for (const Member &m : members)
            chat.handleDatagram(m.peer, m.poll(1), 0);
        for (Member &m : members) {
            while (const quint32 r = replyOf(chat.handleDatagram(m.peer, m.poll(1), 0), 0))
                m.last = r;
            m.idle = m.poll(1);
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
        const Member &m = f.members[i];
        benchmark::DoNotOptimize(f.chat.handleDatagram(m.peer, m.idle, 1000));
        i = (i + 1) % f.members.size();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_IdlePoll)->Arg(1000)->Arg(10000);

// One chat line into a room of ~250 members, then their polls carry it out.
static void BM_ChatLineFanOut(benchmark::State &state)
{
    Fixture &f = fixture(1000);
    // What the members and the sender have seen carries over from one run of
    // this function to the next, as the server's state does.
    static int k = 1;
    static quint32 number = 0;
    static qint64 now = 0;
    for (auto _ : state) {
        k = (k + 1) % 10;
        number = NumberWindow::next(number);
        now += 1000;
        const QByteArray line =
            "<R>1</R><O>" + QByteArray::number(number) + "</O><F>255</F><#>1</#><M>hello</M>\n";
        benchmark::DoNotOptimize(f.chat.handleDatagram(f.members[0].peer, f.members[0].poll(k, line), now));
        // Every fourth member is in room 1.
        for (size_t i = 4; i < f.members.size(); i += 4) {
            Member &m = f.members[i];
            m.last = replyOf(f.chat.handleDatagram(m.peer, m.poll(1), now), m.last);
        }
    }
}
BENCHMARK(BM_ChatLineFanOut);

namespace {

// The polls a member can make to cost the server the most, each within what
// one poll may carry (8162 bytes, 100 records), against a full server:
// 10,000 members, 250 of them in room 1, every room a record of 4 KB, room
// bulletins of 8,000 bytes, long booted lists. The hostile member is a
// member of room 1 like any other.
enum Hostile {
    ChatLines,
    Refreshes,
    RoomLists,
    WhereIs,
    RoomEntries,
    Presences,
    RoomUsage,
    Bulletins,
    RoomEdits,
    PrivateMessages,
    Newcomer,
};

struct HostileFixture {
    std::unique_ptr<Fixture> base = std::make_unique<Fixture>(10000);
    Member me = base->members[0];
    int k = 1;
    quint32 number = 0;
    qint64 now = 1000;

    HostileFixture()
    {
        RoomStore &rooms = base->rooms;
        // Records as big as the server keeps them; nobody was sent them yet,
        // so a newcomer is sent them all.
        for (int r = 1; r <= RoomStore::maxRoom; ++r) {
            QString booted;
            for (int b = 0; booted.size() < 1500; ++b)
                booted += QStringLiteral("booted%1||").arg(b);
            QString fields = "<N>Room " + QString::number(r) + "</N><S>admin</S><B>key</B><C>" +
                             QString(900, u'c') + "</C><M>" + QString(1000, u'm') + "</M><G>" + booted +
                             "</G>";
            rooms.setFields(r, fields);
            if (r < 100)
                rooms.setBulletin(r, QString(8000, u'b'));
        }
        rooms.setFields(1, "<N>Busy</N>"); // open, unadministered: anybody edits it
        // One member leaves: room for the newcomers, who leave again.
        const Member &last = base->members.back();
        base->chat.handleDatagram(last.peer,
                                  last.poll(2, "<R>5</R><E>gone</E><N>gone</N><#>-1</#><W>-1</W>\n"), now);
    }

    QByteArray records(Hostile kind)
    {
        QByteArray out;
        auto add = [&](const QByteArray &fields, int recordKind) {
            number = NumberWindow::next(number);
            out += "<R>" + QByteArray::number(recordKind) + "</R><O>" + QByteArray::number(number) + "</O>" +
                   fields + '\n';
        };
        for (int i = 0; i < 100; ++i) {
            const QByteArray n = QByteArray::number(i);
            switch (kind) {
            case ChatLines:
                add("<F>255</F><#>1</#><M>" + QByteArray(40, 'x') + "</M>", 1);
                break;
            case Refreshes:
                add("<#>" + QByteArray::number(1 + i) + "</#>", 15);
                break;
            case RoomLists:
                add({}, 12);
                break;
            case WhereIs:
                add("<N>m" + QByteArray::number(i * 97) + "</N><E>nobody" + n + "</E>", 13);
                break;
            case RoomEntries:
                add("<#>" + QByteArray::number(100 + i) + "</#><B>wrong</B>", 25);
                break;
            case Presences:
                add("<E>BENCH000!</E><N>m0</N><I>5|0</I><#>" + QByteArray::number(1 + i % 2) +
                        "</#><W>-1</W>",
                    5);
                break;
            case RoomUsage:
                add({}, 17);
                break;
            case Bulletins:
                add("<#>" + n + "</#>", 20);
                break;
            case RoomEdits:
                add("<#>1</#><N>Busy</N><C>caption " + QByteArray::number(number) + "</C>", 7);
                break;
            case PrivateMessages:
                add("<N>m" + QByteArray::number(4 * i) + "</N><E>BENCH" +
                        QByteArray::number(4 * i).rightJustified(3, '0') + "!</E><M>" + QByteArray(40, 'p') +
                        "</M>",
                    3);
                break;
            case Newcomer:
                break;
            }
        }
        return out;
    }

    // One hostile poll; returns its reply.
    QByteArray poll(Hostile kind)
    {
        k = (k + 1) % 10;
        now += 5000; // every allowance whole again: each poll gets its full worth
        const QByteArray reply = base->chat.handleDatagram(me.peer, me.poll(k, records(kind)), now);
        me.last = replyOf(reply, me.last);
        return reply;
    }
};

HostileFixture &hostile()
{
    static HostileFixture f;
    return f;
}

} // namespace

static void BM_HostilePoll(benchmark::State &state)
{
    HostileFixture &f = hostile();
    const auto kind = Hostile(state.range(0));
    static const char *const names[] = {"chat lines",   "refreshes",        "room lists", "where is",
                                        "room entries", "presences",        "room usage", "bulletins",
                                        "room edits",   "private messages", "newcomer"};
    state.SetLabel(names[kind]);
    static quint32 newcomers = 0;
    for (auto _ : state) {
        if (kind != Newcomer) {
            benchmark::DoNotOptimize(f.poll(kind));
            continue;
        }
        // A first poll, and the one that brings its token back: the room
        // list of 1,000 big rooms, the members of room 1, its arrival to them.
        ++newcomers;
        Member n{.peer = Endpoint::ipv4(0x0b000000 + newcomers, 4000)};
        const QByteArray id = "NEW" + QByteArray::number(newcomers).rightJustified(5, '0') + "!";
        f.now += 1000;
        const QByteArray first = f.base->chat.handleDatagram(
            n.peer,
            n.poll(1, "<R>5</R><O>1</O><E>" + id + "</E><N>n" + id + "</N><I>5|0</I><#>1</#><W>-1</W>\n"),
            f.now);
        n.token = AckHeader::parse(QByteArrayView(first).first(first.indexOf('\n')))->token.toByteArray();
        const QByteArray reply = f.base->chat.handleDatagram(n.peer, n.poll(1), f.now);
        state.PauseTiming();
        // It leaves again, so the server stays as full as it was.
        f.base->chat.handleDatagram(
            n.peer,
            n.poll(2, "<R>5</R><O>2</O><E>" + id + "</E><N>n" + id + "</N><I>5|0</I><#>-1</#><W>-1</W>\n"),
            f.now);
        state.ResumeTiming();
        benchmark::DoNotOptimize(reply);
    }
}
BENCHMARK(BM_HostilePoll)->DenseRange(ChatLines, Newcomer)->Unit(benchmark::kMicrosecond);

// A poll changing a bulletin of 7,000 bytes with the data folder on disk and
// 400 bulletins of 8,000 bytes stored: the save writes that room alone.
// Members of ten addresses take turns, each a minute apart, as their
// allowance lets them.
static void BM_BulletinChange(benchmark::State &state)
{
    static QTemporaryDir dir;
    static Fixture f(80, dir.path());
    static const bool filled = [] {
        for (int r = 1; r <= 400; ++r) {
            f.rooms.setFields(r, "<N>Room " + QString::number(r) + "</N>");
            f.rooms.setBulletin(r, QString(8000, u'b'));
        }
        return true;
    }();
    static quint32 number = 0, turn = 0;
    static qint64 now = 1000;
    benchmark::DoNotOptimize(filled);
    QByteArray text;
    for (auto _ : state) {
        Member &m = f.members[8 * (turn++ % 10)];
        now += 6000;
        number = NumberWindow::next(number);
        text = QByteArray::number(number) + QByteArray(7000, 'n');
        const QByteArray records =
            "<R>9</R><O>" + QByteArray::number(number) + "</O><#>1</#><M>" + text + "</M>\n";
        m.last = replyOf(f.chat.handleDatagram(m.peer, m.poll(1 + turn % 9, records), now), m.last);
    }
    if (f.rooms.bulletin(1).toUtf8() != text)
        state.SkipWithError("the bulletin was not saved");
}
BENCHMARK(BM_BulletinChange)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
