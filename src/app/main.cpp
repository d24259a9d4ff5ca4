#include "app/chatservices.h"
#include "app/cursorrest.h"
#include "app/debuglog.h"
#include "app/iniconfig.h"
#include "app/signalwatcher.h"
#include "app/startoptions.h"
#include "app/tfrmchat.h"

#include <QApplication>
#include <QFileInfo>
#include <QIcon>
#include <QMutex>

#include <cstdio>

using namespace hchat;

namespace {

QtMessageHandler qtDefaultHandler = nullptr;

// Qt's and the web engine's diagnostics are for whoever looks into a
// problem, not for the terminal a user started us from.
void toDebugLog(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    // Messages come from any thread: one note at a time.
    static QMutex lock;
    {
        const QMutexLocker locked(&lock);
        DebugLog::note(QStringLiteral("Qt  ") + message);
    }
    if (type == QtFatalMsg || qEnvironmentVariableIntValue("HCHAT_DEBUG") != 0)
        qtDefaultHandler(type, context, message);
}

QString executablePath(const char *argv0)
{
    // Before the application exists Qt can't tell us; Linux can.
    const QFileInfo self(QStringLiteral("/proc/self/exe"));
    return self.exists() ? self.canonicalFilePath() : QFileInfo(QFile::decodeName(argv0)).absoluteFilePath();
}

} // namespace

int main(int argc, char **argv)
{
    // The options first: --help, --version and a mistake need no display.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const StartOptions options =
        StartOptions::parse(arguments, executablePath(argv[0]), qEnvironmentVariable("HCHAT_HOME"));
    if (!options.error.isEmpty()) {
        std::fprintf(stderr, "hchat: %s\n%s\n", qPrintable(options.error), qPrintable(StartOptions::usage()));
        return 2;
    }
    if (options.showHelp) {
        std::printf("%s\n", qPrintable(StartOptions::help()));
        return 0;
    }
    if (options.showVersion) {
        std::printf("Halvex Chat %s\n", HCHAT_VERSION_DATE);
        return 0;
    }

    qtDefaultHandler = qInstallMessageHandler(toDebugLog);
    if (qEnvironmentVariableIntValue("HCHAT_DEBUG") == 0) {
        // The engine's own logging writes straight to stderr: errors only.
        const QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
        if (!flags.contains("--log-level"))
            qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags + " --log-level=3");
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Halvex Chat"));
    QApplication::setApplicationDisplayName(QStringLiteral("Halvex Chat"));
    // The desktop entry's name lets a Wayland compositor find our icon; the
    // window icon serves the others.
    QGuiApplication::setDesktopFileName(QStringLiteral("com.halvex.chat"));
    Q_INIT_RESOURCE(appicons);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/halvex-chat.svg")));

    // Watch for SIGTERM before the window exists: a logout during start-up
    // then still closes the window the normal way once the loop runs.
    SignalWatcher watcher;
    const CursorRest cursorRest;
    TfrmChat window(options, IniConfig::systemZoneBias());
    QObject::connect(&watcher, &SignalWatcher::terminationRequested, &window, [&window] { window.close(); });
    window.show();
    const int rc = app.exec();
    // Settings or lists that could not be saved are worth more than a clean exit.
    return rc == 0 && !window.allSaved() ? 1 : rc;
}
