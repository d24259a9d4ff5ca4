// Resident memory of a chat window that shows transcripts but has opened no
// link, then after the web viewer plugin was loaded for the first link.
//   QT_QPA_PLATFORM=offscreen memprobe_transcript [url]
#include "platform/texteditview.h"
#include "platform/webviewerhost.h"
#include "transcript/transcriptrenderer.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QHBoxLayout>
#include <QTextEdit>

#include <cstdio>

using namespace hchat;

namespace {

double residentMB()
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : f.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
    }
    return -1;
}

void settle(int ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::printf("application: %.1f MB\n", residentMB());

    QWidget window;
    auto *layout = new QHBoxLayout(&window);
    auto *rich = new QTextEdit;
    auto *rich2 = new QTextEdit;
    auto *pnlWeb = new QWidget;
    layout->addWidget(rich, 3);
    layout->addWidget(rich2, 1);
    layout->addWidget(pnlWeb, 2);
    window.resize(1012, 714);
    TextEditView view(rich), view2(rich2);
    // Benchmarks live beside bin/, where the program and its plugins are.
    QString plugins = QCoreApplication::applicationDirPath() + QStringLiteral("/plugins");
    if (!QFile::exists(plugins))
        plugins = QCoreApplication::applicationDirPath() + QStringLiteral("/../bin/plugins");
    WebViewerHost web(pnlWeb, plugins);
    TranscriptContext c;
    c.web = &web;
    TranscriptRenderer r(&view, &view2, c);
    window.show();
    for (int i = 0; i < 1500; ++i) {
        r.ShowMessage(QStringLiteral("user%1:  an ordinary line of chat number %2").arg(i % 7).arg(i), false,
                      false);
        r.ShowMessage(QStringLiteral("watched room line %1").arg(i), true, false);
    }
    settle(1000);
    std::printf("window with transcripts, no link opened: %.1f MB\n", residentMB());

    web.FindAddress(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("http://127.0.0.1:9/"));
    std::printf("viewer: %s %s\n", web.usesWebEngine() ? "web engine plugin" : "text browser fallback",
                qPrintable(web.loadError()));
    settle(4000);
    std::printf("after the first link: %.1f MB (engine helper processes not counted)\n", residentMB());
    return 0;
}
