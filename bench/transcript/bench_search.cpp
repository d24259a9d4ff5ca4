// Searching a full transcript (1,300 lines, the most a transcript holds) as
// the search bar does it: every hit found, and the same with the hits
// highlighted in a shown transcript. Run offscreen:
//   QT_QPA_PLATFORM=offscreen bench_search
#include "platform/searchbar.h"
#include "platform/transcriptedit.h"
#include "transcript/transcriptrenderer.h"
#include "transcript/transcriptsearch.h"

#include <QApplication>
#include <QLineEdit>
#include <QTextCursor>

#include <benchmark/benchmark.h>

#include "../widgetbenchmain.h"

using namespace hchat;

namespace {

QString chatLine(int i)
{
    // 20 to 60 characters of a room's ordinary talk, with a time stamp.
    static const char *words[] = {"ok",     "sure", "the",  "chart", "looks",  "fine", "today", "market",
                                  "anyone", "seen", "this", "setup", "thanks", "lol",  "yes"};
    QString s = QStringLiteral("%1:%2:%3 user%4:  ")
                    .arg(9 + i / 3600, 2, 10, QLatin1Char('0'))
                    .arg(i / 60 % 60, 2, 10, QLatin1Char('0'))
                    .arg(i % 60, 2, 10, QLatin1Char('0'))
                    .arg(i % 17);
    const int len = 29 + (i * 7919) % 41;
    for (int w = i; s.size() < len; ++w)
        s += QLatin1String(words[(w * 31) % 15]) + QLatin1Char(' ');
    return s.left(len);
}

void fill(QTextDocument *doc)
{
    QTextCursor c(doc);
    for (int i = 0; i < TranscriptRenderer::kMaxLines; ++i) {
        if (i > 0)
            c.insertBlock();
        c.insertText(chatLine(i));
    }
}

// Every hit of a word in 1,300 lines: "the" is in most lines, "user16" in
// one line of 17, "nowhere" in none.
void BM_FindAll(benchmark::State &state)
{
    static const char *needles[] = {"THE", "user16", "nowhere"};
    const QString needle = QLatin1String(needles[state.range(0)]);
    QTextDocument doc;
    fill(&doc);
    qsizetype hits = 0;
    for (auto _ : state) {
        const auto found = TranscriptSearch::findAll(doc, needle, Qt::CaseInsensitive);
        hits = found.size();
        benchmark::DoNotOptimize(hits);
    }
    state.counters["hits"] = double(hits);
    state.SetLabel(needle.toStdString());
}
BENCHMARK(BM_FindAll)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

// What the reader waits for after typing: the search, every hit marked and
// the view moved to the first one, in a shown transcript.
void BM_SearchBar(benchmark::State &state)
{
    TranscriptEdit edit;
    edit.resize(700, 500);
    fill(edit.document());
    edit.show();
    QCoreApplication::processEvents();
    edit.openSearch();
    SearchBar *bar = edit.searchBar();
    int i = 0;
    for (auto _ : state) {
        // Alternate two words, so each round is a new search.
        bar->field->setText(i++ % 2 ? QStringLiteral("chart") : QStringLiteral("market"));
    }
    state.counters["hits"] = double(bar->hits().size());
}
BENCHMARK(BM_SearchBar)->Unit(benchmark::kMillisecond);

} // namespace

HCHAT_WIDGET_BENCHMARK_MAIN()
