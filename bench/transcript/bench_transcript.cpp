// Chat lines arrive in datagrams of about 130 lines; each datagram is shown
// as one batch and painted once. Run offscreen:
//   QT_QPA_PLATFORM=offscreen bench_transcript
#include "platform/texteditview.h"
#include "transcript/transcriptrenderer.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextEdit>

#include <benchmark/benchmark.h>

#include "../widgetbenchmain.h"

#include <algorithm>
#include <ctime>
#include <functional>
#include <memory>
#include <vector>

using namespace hchat;

namespace {

constexpr int kBatch = 130;

// CPU time of the whole process (all threads), in seconds: the machine this
// runs on is shared, so wall time alone says more about the neighbours.
double cpuNow()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec + ts.tv_nsec / 1e9;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// A shown window with both transcripts and the renderer over them.
struct Window {
    QWidget top;
    QTextEdit *rich = new QTextEdit(&top);
    QTextEdit *rich2 = new QTextEdit(&top);
    TextEditView view{rich};
    TextEditView view2{rich2};
    std::unique_ptr<TranscriptRenderer> r;
    bool stamps;

    explicit Window(bool timeStamps, int height = 600) : stamps(timeStamps)
    {
        top.resize(900, height);
        rich->setGeometry(0, 0, 700, height);
        rich2->setGeometry(700, 0, 200, height);
        QFont f = rich->font();
        f.setPointSize(10);
        rich->setFont(f);
        TranscriptContext c;
        c.showTimeStamps = [this] { return stamps; };
        c.showLinks = [] { return false; };
        c.keywords = [] { return QStringList{"sailboat", "anchor|read"}; };
        c.keywordSound = [] { return QStringLiteral("/nonexistent.wav"); };
        c.text = [](int) { return QString(); };
        r = std::make_unique<TranscriptRenderer>(&view, &view2, c);
        top.show();
        QCoreApplication::processEvents();
    }
};

QString chatLine(int i)
{
    // 20 to 60 characters, like a room's ordinary talk.
    static const char *words[] = {"ok",     "sure", "the",  "chart", "looks",  "fine", "today", "market",
                                  "anyone", "seen", "this", "setup", "thanks", "lol",  "yes"};
    QString s = QStringLiteral("user%1:  ").arg(i % 17);
    const int len = 20 + (i * 7919) % 41;
    for (int w = i; s.size() < len; ++w)
        s += QLatin1String(words[(w * 31) % 15]) + QLatin1Char(' ');
    return s.left(len);
}

QString shortLine(int i)
{
    return QStringLiteral("user%1:  line %2 of talk").arg(i % 9).arg(i, 6, 10, QLatin1Char('0'));
}

void showBatch(Window &w, int first, int count, const std::function<QString(int)> &line,
               bool clockLines = true)
{
    w.r->beginBatch();
    for (int i = first; i < first + count; ++i) {
        w.r->setLineColor((i * 2654435761u) & 0x7F7F7F);
        if (clockLines)
            w.r->TimeStamp(line(i));
        else
            w.r->ShowMessage(line(i), false, false);
    }
    w.r->endBatch();
    QCoreApplication::processEvents(); // the one repaint of this datagram
}

// 100,000 lines, trimming all along, in datagram-sized batches.
void BM_Stream100k(benchmark::State &state)
{
    const bool stamps = state.range(0) != 0;
    for (auto _ : state) {
        Window w(stamps);
        QStringList lines;
        for (int i = 0; i < 100000; ++i)
            lines << chatLine(i);
        std::vector<double> batches, cpuBatches;
        QElapsedTimer all;
        all.start();
        const double cpu0 = cpuNow();
        for (int i = 0; i < 100000; i += kBatch) {
            QElapsedTimer t;
            t.start();
            const double c = cpuNow();
            showBatch(w, i, std::min(kBatch, 100000 - i), [&](int n) { return lines.at(n); });
            cpuBatches.push_back((cpuNow() - c) * 1e3);
            batches.push_back(t.nsecsElapsed() / 1e6);
        }
        const double secs = all.nsecsElapsed() / 1e9;
        const double cpu = cpuNow() - cpu0;
        state.SetIterationTime(secs);
        state.counters["lines_per_s"] = 100000 / secs;
        state.counters["cpu_lines_per_s"] = 100000 / cpu;
        state.counters["median_batch_ms"] = median(batches);
        state.counters["median_batch_cpu_ms"] = median(cpuBatches);
        std::sort(batches.begin(), batches.end());
        state.counters["p95_batch_ms"] = batches[batches.size() * 95 / 100];
        state.counters["max_batch_ms"] = batches.back();
        state.counters["final_lines"] = w.r->lineCount(false);
    }
}
BENCHMARK(BM_Stream100k)->Arg(1)->Arg(0)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

// One batch of 13 lines into a transcript already holding N lines (no cut),
// then taken away again untimed: the cost of a line against transcript size.
void BM_LineCost(benchmark::State &state)
{
    const int held = int(state.range(0));
    // A short view, so that the view scrolls at either size and only the
    // transcript's length differs.
    Window w(false, 150);
    for (int i = 0; i < held; i += kBatch)
        showBatch(w, i, std::min(kBatch, held - i), shortLine, false);
    QTextDocument *doc = w.rich->document();
    int next = held;
    double cpu = 0;
    for (auto _ : state) {
        QElapsedTimer t;
        t.start();
        const double c = cpuNow();
        showBatch(w, next, 13, shortLine, false);
        cpu += cpuNow() - c;
        state.SetIterationTime(t.nsecsElapsed() / 1e9);
        next += 13;
        QTextCursor cut(doc);
        cut.setPosition(doc->findBlockByNumber(doc->blockCount() - 13).position() - 1);
        cut.setPosition(doc->characterCount() - 1, QTextCursor::KeepAnchor);
        cut.removeSelectedText();
        QCoreApplication::processEvents();
    }
    state.counters["lines"] = w.r->lineCount(false);
    state.counters["ns_per_line"] = benchmark::Counter(
        13.0 * state.iterations(), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["cpu_us_per_line"] = cpu * 1e6 / (13.0 * state.iterations());
}
BENCHMARK(BM_LineCost)->Arg(10)->Arg(1287)->UseManualTime()->Unit(benchmark::kMicrosecond);

// For comparison: a plain insertText per line, no batches.
void BM_PlainInsertLoop(benchmark::State &state)
{
    for (auto _ : state) {
        Window w(true);
        QTextCursor c(w.rich->document());
        QElapsedTimer all;
        all.start();
        for (int i = 0; i < 20000; ++i) {
            c.movePosition(QTextCursor::End);
            c.insertText(QLatin1Char('\n') + chatLine(i));
            if (i % kBatch == 0)
                QCoreApplication::processEvents();
        }
        const double secs = all.nsecsElapsed() / 1e9;
        state.SetIterationTime(secs);
        state.counters["lines_per_s"] = 20000 / secs;
    }
}
BENCHMARK(BM_PlainInsertLoop)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace

HCHAT_WIDGET_BENCHMARK_MAIN()
