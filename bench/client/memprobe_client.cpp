// The chat window as a user has it, measured whole: the memory of the
// program and its child processes (proportional set size where the kernel
// offers it, so shared libraries count once), and the processor it takes
// while idle, focused and not. At start, with the first link's page shown,
// and after the page is let go of.
//   memprobe_client [--quick]   (HCHAT_NO_WEBENGINE=1 for the plain pane)
#include "app/chatservices.h"
#include "app/cursorrest.h"
#include "app/tfrmchat.h"
#include "platform/webviewerhost.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <unistd.h>

using namespace hchat;

namespace {

QByteArray readProc(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

/// The field after "(comm)" in /proc/PID/stat, counted from 1 as proc(5) does.
QList<QByteArray> statFields(qint64 pid)
{
    const QByteArray stat = readProc(QStringLiteral("/proc/%1/stat").arg(pid));
    const int close = stat.lastIndexOf(')');
    return close < 0 ? QList<QByteArray>() : stat.mid(close + 2).split(' ');
}

/// This process and every process below it.
QList<qint64> processTree()
{
    QList<qint64> tree{qint64(getpid())};
    QHash<qint64, qint64> parents;
    for (const QString &entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool number = false;
        const qint64 pid = entry.toLongLong(&number);
        const QList<QByteArray> f = statFields(pid);
        if (number && f.size() > 2)
            parents.insert(pid, f.at(1).toLongLong());
    }
    for (int i = 0; i < tree.size(); ++i) {
        for (auto it = parents.cbegin(); it != parents.cend(); ++it) {
            if (it.value() == tree.at(i))
                tree << it.key();
        }
    }
    return tree;
}

double fieldMB(const QByteArray &text, const QByteArray &name)
{
    for (const QByteArray &line : text.split('\n')) {
        if (line.startsWith(name))
            return line.mid(name.size()).trimmed().split(' ').first().toDouble() / 1024.0;
    }
    return -1;
}

/// Whole-tree memory in MB: PSS when smaps_rollup is there, else resident.
QString treeMemory()
{
    double pss = 0, rss = 0;
    bool hasPss = true;
    const QList<qint64> tree = processTree();
    for (qint64 pid : tree) {
        const double p = fieldMB(readProc(QStringLiteral("/proc/%1/smaps_rollup").arg(pid)), "Pss:");
        hasPss = hasPss && p >= 0;
        pss += qMax(0.0, p);
        rss += qMax(0.0, fieldMB(readProc(QStringLiteral("/proc/%1/status").arg(pid)), "VmRSS:"));
    }
    return hasPss ? QStringLiteral("PSS %1 MB (resident %2 MB), %3 processes")
                        .arg(pss, 0, 'f', 1)
                        .arg(rss, 0, 'f', 1)
                        .arg(tree.size())
                  : QStringLiteral("resident %1 MB, %2 processes").arg(rss, 0, 'f', 1).arg(tree.size());
}

/// Processor seconds used so far by the tree's live processes.
double treeCpuSeconds()
{
    double ticks = 0;
    for (qint64 pid : processTree()) {
        const QList<QByteArray> f = statFields(pid);
        if (f.size() > 12)
            ticks += f.at(11).toDouble() + f.at(12).toDouble(); // utime, stime
    }
    return ticks / double(sysconf(_SC_CLK_TCK));
}

void settle(double seconds)
{
    // Waiting in the event loop, as the program idles: no polling of our own.
    QEventLoop loop;
    QTimer::singleShot(int(seconds * 1000), &loop, &QEventLoop::quit);
    loop.exec();
}

double idleCpuPercent(double seconds)
{
    settle(qMin(seconds, 2.0));
    const double before = treeCpuSeconds();
    QElapsedTimer t;
    t.start();
    settle(seconds);
    return 100.0 * (treeCpuSeconds() - before) / (double(t.elapsed()) / 1000.0);
}

} // namespace

int main(int argc, char **argv)
{
    const bool quick = argc > 1 && qstrcmp(argv[1], "--quick") == 0;
    const double startWait = quick ? 2 : 12, idle = quick ? 1 : 60, pageWait = quick ? 3 : 15;
    // Benchmarks live beside bin/, where the program and its plugins are.
    const QString plugins =
        QFileInfo(QFile::decodeName(argv[0])).absolutePath() + QStringLiteral("/../bin/plugins/");
    QApplication app(argc, argv);
    std::printf("platform %s, viewer %s\n", qPrintable(QGuiApplication::platformName()),
                WebViewerHost::engineWanted(plugins) ? "web engine" : "plain pane");

    QTemporaryDir home;
    StartOptions options = StartOptions::inFolder(home.path());
    options.pluginFolder = plugins;
    const CursorRest cursorRest;
    TfrmChat window(options, 0);
    auto *memText = window.findChild<QPlainTextEdit *>(QStringLiteral("memText"));
    // No server to reach: the start-up question and the polls stay away.
    window.findChild<QTimer *>(QStringLiteral("tmrChat"))->stop();
    WebViewerHost *web = window.services().web();
    window.resize(1012, 714);
    window.show();
    window.activateWindow();
    memText->setFocus();
    QWidget other;
    other.setWindowTitle(QStringLiteral("another program"));
    other.resize(300, 200);

    const auto idleBoth = [&](const char *when) {
        window.activateWindow();
        memText->setFocus();
        const double focused = idleCpuPercent(idle);
        const bool wasActive = window.isActiveWindow();
        other.show();
        other.activateWindow();
        const double unfocused = idleCpuPercent(idle);
        other.hide();
        std::printf("idle %s: focused %.2f%%, unfocused %.2f%% of a core over %.0f s each (focused: %s)\n",
                    when, focused, unfocused, idle, wasActive ? "yes" : "no");
    };

    settle(startWait);
    std::printf("at start: %s\n", qPrintable(treeMemory()));
    idleBoth("at start");

    QFile page(home.filePath(QStringLiteral("page.html")));
    if (!page.open(QIODevice::WriteOnly))
        return 1;
    page.write("<html><body><h1>A room's page</h1><p>Some text, a list and a link.</p>"
               "<ul><li>one</li><li>two</li></ul><a href='#x'>a link</a></body></html>");
    page.close();
    const WId shownId = window.winId();
    web->FindAddress(QUrl::fromLocalFile(page.fileName()).toString());
    settle(pageWait);
    std::printf("after the first link: %s; window kept: %s; keyboard in the entry: %s\n",
                qPrintable(treeMemory()), window.winId() == shownId ? "yes" : "NO",
                QApplication::focusWidget() == memText ? "yes" : "no");
    idleBoth("with the page shown");

    web->discardNow();
    settle(pageWait);
    std::printf("after the discard: %s\n", qPrintable(treeMemory()));
    return window.winId() == shownId ? 0 : 1;
}
