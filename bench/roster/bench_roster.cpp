// 5,000 members arrive in the first room, then all 5,000 leave the chat, each
// record through the session's dispatcher into the shown members pane. The
// list stays in display order after every record.
#include "app/rosterpanel.h"
#include "chat/chatsession.h"
#include "protocol/codec.h"

#include <QApplication>
#include <QListView>
#include <QRandomGenerator>

#include <benchmark/benchmark.h>

#include "../widgetbenchmain.h"

using namespace hchat;

namespace {

constexpr int kMembers = 5000;

struct Records {
    QStringList arrivals;
    QStringList departures;
};

// Distinct nicks in random order (as a server lists them), a few with high icons.
Records makeRecords()
{
    Records r;
    QRandomGenerator rng(42);
    QList<int> order(kMembers);
    for (int i = 0; i < kMembers; ++i)
        order[i] = i;
    std::shuffle(order.begin(), order.end(), rng);
    for (int i : order) {
        const QString nick = QStringLiteral("Member%1").arg(i * 7919 % 100000);
        const QString id = QStringLiteral("%1").arg(i, 8, 10, QLatin1Char('0')) + QChar(33 + i % 90);
        const int icon = i % 50 == 0 ? 62 + i % 4 : i % 30;
        const QString common = AddS(id, QStringLiteral("E")) + AddS(nick, QStringLiteral("N")) +
                               AddS(QStringLiteral("%1|1").arg(icon), QStringLiteral("I"));
        r.arrivals << common + AddI(7, QStringLiteral("#")) + AddI(-1, QStringLiteral("W"));
        r.departures << common + AddI(-1, QStringLiteral("#")) + AddI(-1, QStringLiteral("W"));
    }
    std::shuffle(r.departures.begin(), r.departures.end(), rng);
    return r;
}

void run(benchmark::State &state, bool departures)
{
    static const Records records = makeRecords();
    for (auto _ : state) {
        state.PauseTiming();
        ChatSession session;
        session.set(&ChatSettings::room, 7);
        session.setQuietPeriod(12); // a fresh connection: the list is not announced
        RosterPanel panel(session);
        panel.resize(180, 600);
        panel.show();
        QApplication::processEvents();
        state.ResumeTiming();

        for (const QString &rec : records.arrivals)
            session.dispatch(5, rec);
        if (departures)
            for (const QString &rec : records.departures)
                session.dispatch(5, rec);
        QApplication::processEvents(); // the view lays out and paints once
        benchmark::DoNotOptimize(panel.lstMembers->model()->rowCount());

        state.PauseTiming();
        if (panel.lstMembers->model()->rowCount() != (departures ? 0 : kMembers))
            state.SkipWithError("wrong member count");
        state.ResumeTiming();
    }
    state.counters["records"] = departures ? 2 * kMembers : kMembers;
}

void BM_RosterArrivals(benchmark::State &state)
{
    run(state, false);
}
void BM_RosterArrivalsThenDepartures(benchmark::State &state)
{
    run(state, true);
}

// The same records without any view: the rules and the sorted store alone.
void BM_RosterRulesOnly(benchmark::State &state)
{
    static const Records records = makeRecords();
    for (auto _ : state) {
        state.PauseTiming();
        ChatSession session;
        session.set(&ChatSettings::room, 7);
        session.setQuietPeriod(12);
        state.ResumeTiming();
        for (const QString &rec : records.arrivals)
            session.dispatch(5, rec);
        for (const QString &rec : records.departures)
            session.dispatch(5, rec);
        benchmark::DoNotOptimize(session.roster().count());
    }
    state.counters["records"] = 2 * kMembers;
}

BENCHMARK(BM_RosterRulesOnly)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_RosterArrivals)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_RosterArrivalsThenDepartures)->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace

HCHAT_WIDGET_BENCHMARK_MAIN()
