#include "app/chatservices.h"
#include "app/iniconfig.h"
#include "app/signalwatcher.h"
#include "app/startoptions.h"
#include "app/tfrmchat.h"
#include "platform/webviewerhost.h"

#include <QApplication>
#include <QIcon>

#include <cstdio>
#include <cstring>

using namespace hchat;

int main(int argc, char **argv)
{
    // Answered before anything needs a display: the upgrade asks a new
    // program this before it replaces the running one.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("Halvex Chat %s\n", HCHAT_VERSION_DATE);
            return 0;
        }
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Halvex Chat"));
    QApplication::setApplicationDisplayName(QStringLiteral("Halvex Chat"));
    // The desktop entry's name lets a Wayland compositor find our icon; the
    // window icon serves the others.
    QGuiApplication::setDesktopFileName(QStringLiteral("com.halvex.chat"));
    Q_INIT_RESOURCE(appicons);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/halvex-chat.svg")));

    const StartOptions options = StartOptions::parse(
        QApplication::arguments(), QApplication::applicationFilePath(), qEnvironmentVariable("HCHAT_HOME"));
    if (!options.error.isEmpty()) {
        std::fprintf(stderr, "hchat: %s\n%s\n", qPrintable(options.error), qPrintable(StartOptions::usage()));
        return 2;
    }

    // Watch for SIGTERM before the window exists: a logout during start-up
    // then still closes the window the normal way once the loop runs.
    SignalWatcher watcher;
    TfrmChat window(options, IniConfig::systemZoneBias());
    QObject::connect(&watcher, &SignalWatcher::terminationRequested, &window, [&window] { window.close(); });
    // The web view exists before the window is first shown: added later,
    // it makes Qt create the window again, which takes the keyboard away.
    window.services().web()->prepare();
    window.show();
    const int rc = app.exec();
    // Settings or lists that could not be saved are worth more than a clean exit.
    return rc == 0 && !window.allSaved() ? 1 : rc;
}
