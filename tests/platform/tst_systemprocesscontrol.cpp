#include "platform/processlist.h"
#include "platform/systemprocesscontrol.h"
#include "platform/x11windowlist.h"
#include "remote/remotesupport.h"

#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <xcb/xcb.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

using namespace hchat;

namespace {

xcb_atom_t internAtom(xcb_connection_t *c, const char *name)
{
    xcb_intern_atom_reply_t *r =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(strlen(name)), name), nullptr);
    const xcb_atom_t a = r ? r->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(r);
    return a;
}

xcb_window_t rootOf(xcb_connection_t *c)
{
    return xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
}

// The test program doubles as the programs it ends: "--window TITLE" shows
// an X window titled so, the way toolkits name theirs, on this host or the
// one named after it; "--stubborn" ignores SIGTERM. Both say "ready" once they are.
int showWindow(const char *title, const char *machine)
{
    xcb_connection_t *c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c))
        return 2;
    const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const xcb_window_t w = xcb_generate_id(c);
    xcb_create_window(c, XCB_COPY_FROM_PARENT, w, screen->root, 0, 0, 120, 80, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, nullptr);
    const uint32_t pid = uint32_t(getpid());
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, internAtom(c, "_NET_WM_NAME"),
                        internAtom(c, "UTF8_STRING"), 8, uint32_t(strlen(title)), title);
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, internAtom(c, "_NET_WM_PID"), XCB_ATOM_CARDINAL, 32, 1,
                        &pid);
    char host[256] = {};
    gethostname(host, sizeof host - 1);
    const char *client = machine ? machine : host;
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, XCB_ATOM_WM_CLIENT_MACHINE, XCB_ATOM_STRING, 8,
                        uint32_t(strlen(client)), client);
    xcb_map_window(c, w);
    xcb_flush(c);
    std::printf("ready\n");
    std::fflush(stdout);
    while (xcb_generic_event_t *e = xcb_wait_for_event(c))
        std::free(e);
    xcb_disconnect(c);
    return 0;
}

int stayStubborn()
{
    std::signal(SIGTERM, SIG_IGN);
    std::printf("ready\n");
    std::fflush(stdout);
    for (;;)
        pause();
}

void startSelf(QProcess &p, const QStringList &arguments,
               const QString &program = QCoreApplication::applicationFilePath())
{
    p.start(program, arguments);
    QVERIFY(p.waitForStarted());
    QVERIFY(p.waitForReadyRead(10000));
    QCOMPARE(p.readLine().trimmed(), QByteArray("ready"));
}

void writeScript(const QString &path, const QByteArray &text)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(text);
    f.close();
    QVERIFY(f.setPermissions(f.permissions() | QFileDevice::ExeOwner));
}

// Restores an environment variable when the test is done with it.
struct EnvironmentGuard {
    QByteArray name, old;
    bool was;
    explicit EnvironmentGuard(const char *n) : name(n), old(qgetenv(n)), was(qEnvironmentVariableIsSet(n)) {}
    ~EnvironmentGuard() { was ? qputenv(name, old) : qunsetenv(name); }
};

} // namespace

class TestSystemProcessControl : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void remoteSupportEndsTheToolsWindow();
    void windowManagersListIsUsed();
    void waylandLooksUpProcesses();
    void stubbornProcessIsKilled();
    void neverEndsItself();
    void startDetached();
    void startTimeReadsPastOddNames();
    void servicesWithoutSystemdAreNotRunning();

private:
    QProcess m_xvfb;
    QByteArray m_display;
    std::unique_ptr<EnvironmentGuard> m_displayGuard, m_waylandGuard;
};

void TestSystemProcessControl::initTestCase()
{
    m_displayGuard = std::make_unique<EnvironmentGuard>("DISPLAY");
    m_waylandGuard = std::make_unique<EnvironmentGuard>("WAYLAND_DISPLAY");
    qunsetenv("WAYLAND_DISPLAY");
    const QString xvfb = QStandardPaths::findExecutable("Xvfb");
    if (xvfb.isEmpty())
        return;
    // Xvfb picks a free display itself and tells its number.
    m_xvfb.start(xvfb, {"-displayfd", "1", "-nolisten", "tcp", "-screen", "0", "640x480x24"});
    if (!m_xvfb.waitForStarted() || !m_xvfb.waitForReadyRead(20000))
        return;
    m_display = ':' + m_xvfb.readLine().trimmed();
    qputenv("DISPLAY", m_display);
}

void TestSystemProcessControl::cleanupTestCase()
{
    m_xvfb.terminate();
    m_xvfb.waitForFinished(5000);
    m_displayGuard.reset();
    m_waylandGuard.reset();
}

void TestSystemProcessControl::remoteSupportEndsTheToolsWindow()
{
    if (m_display.isEmpty())
        QSKIP("Xvfb is not installed: no X display to open windows on");
    // A copy of this program under the tool's name stands in for it.
    QTemporaryDir folder;
    const QString stub = folder.filePath("TeamViewer");
    QVERIFY(QFile::copy(QCoreApplication::applicationFilePath(), stub));
    QProcess tool, kept, other, named, elsewhere;
    startSelf(tool, {"--window", "Session - TeamViewer"}, stub);
    startSelf(kept, {"--window", "TeamViewer QRV"}, stub);
    startSelf(other, {"--window", "Notes"});
    startSelf(named, {"--window", "TeamViewer"});                                // another program's title
    startSelf(elsewhere, {"--window", "TeamViewer", "elsewhere.example"}, stub); // a pid of another host

    SystemProcessControl control;
    auto titles = [&control] {
        QStringList t;
        for (const auto &w : control.topLevelWindows())
            t << w.title;
        return t;
    };
    QTRY_VERIFY_WITH_TIMEOUT(titles().contains("Notes") && titles().contains("TeamViewer QRV") &&
                                 titles().contains("Session - TeamViewer"),
                             10000);

    writeScript(folder.filePath("halvexhelp"), "#!/bin/sh\npwd > started\n");
    QCOMPARE(RemoteSupport(control, folder.path()).run(), QString());

    QTRY_COMPARE_WITH_TIMEOUT(tool.state(), QProcess::NotRunning, 10000);
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(folder.filePath("started")), 10000);
    for (QProcess *p : {&kept, &other, &named, &elsewhere}) {
        QCOMPARE(p->state(), QProcess::Running);
        p->kill();
        p->waitForFinished();
    }
}

void TestSystemProcessControl::windowManagersListIsUsed()
{
    if (m_display.isEmpty())
        QSKIP("Xvfb is not installed: no X display to open windows on");
    QTemporaryDir copy;
    const QString stub = copy.filePath("TeamViewer");
    QVERIFY(QFile::copy(QCoreApplication::applicationFilePath(), stub));
    QProcess listed, unlisted;
    startSelf(listed, {"--window", "TeamViewer listed"}, stub);
    startSelf(unlisted, {"--window", "TeamViewer not listed"}, stub);

    // Without a window manager the root window's children are the windows.
    bool fromClientList = true;
    std::optional<QList<X11WindowList::Window>> windows;
    QTRY_VERIFY_WITH_TIMEOUT((windows = X11WindowList::list(m_display, &fromClientList)) &&
                                 std::any_of(windows->begin(), windows->end(),
                                             [&](const auto &w) { return w.pid == listed.processId(); }),
                             10000);
    QVERIFY(!fromClientList);
    quint32 id = 0;
    for (const auto &w : *windows) {
        if (w.pid == listed.processId())
            id = w.id;
    }

    // A window manager that publishes its list is believed over the tree.
    xcb_connection_t *c = xcb_connect(m_display.constData(), nullptr);
    QVERIFY(!xcb_connection_has_error(c));
    const xcb_atom_t clientList = internAtom(c, "_NET_CLIENT_LIST");
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, rootOf(c), clientList, XCB_ATOM_WINDOW, 32, 1, &id);
    xcb_flush(c);
    QTRY_VERIFY_WITH_TIMEOUT((windows = X11WindowList::list(m_display, &fromClientList)) && fromClientList,
                             10000);
    QCOMPARE(windows->size(), 1);
    QCOMPARE(windows->at(0).title, "TeamViewer listed");

    SystemProcessControl control;
    QTemporaryDir folder; // no remote-support program: only the notice
    QVERIFY(RemoteSupport(control, folder.path()).run().contains("missing"));
    QTRY_COMPARE_WITH_TIMEOUT(listed.state(), QProcess::NotRunning, 10000);
    QCOMPARE(unlisted.state(), QProcess::Running);

    xcb_delete_property(c, rootOf(c), clientList);
    xcb_flush(c);
    xcb_disconnect(c);
    unlisted.kill();
    unlisted.waitForFinished();
}

void TestSystemProcessControl::waylandLooksUpProcesses()
{
    // A copy of sleep under the tool's name stands in for it.
    const QString sleep = QStandardPaths::findExecutable("sleep");
    if (sleep.isEmpty())
        QSKIP("no sleep program here");
    QTemporaryDir folder;
    const QString stub = folder.filePath("TeamViewerStub");
    QVERIFY(QFile::copy(sleep, stub));
    QVERIFY(QFile::setPermissions(stub, QFile::permissions(stub) | QFileDevice::ExeOwner));
    QProcess p;
    p.start(stub, {"60"});
    QVERIFY(p.waitForStarted());

    const EnvironmentGuard guard("WAYLAND_DISPLAY");
    qputenv("WAYLAND_DISPLAY", "wayland-test");
    SystemProcessControl control;
    bool seen = false;
    for (const auto &w : control.topLevelWindows())
        seen = seen || (w.pid == p.processId() && w.title == "TeamViewerStub");
    QVERIFY(seen);
    RemoteSupport(control, folder.path()).run();
    QTRY_COMPARE_WITH_TIMEOUT(p.state(), QProcess::NotRunning, 10000);
}

void TestSystemProcessControl::stubbornProcessIsKilled()
{
    QProcess stubborn;
    startSelf(stubborn, {"--stubborn"});
    SystemProcessControl control;
    control.setGracePeriod(200);
    control.endProcess(stubborn.processId());
    // Only the event loop's timer sends the SIGKILL.
    QTRY_COMPARE_WITH_TIMEOUT(stubborn.state(), QProcess::NotRunning, 10000);
    QCOMPARE(stubborn.exitStatus(), QProcess::CrashExit);
}

void TestSystemProcessControl::neverEndsItself()
{
    SystemProcessControl control;
    control.setGracePeriod(0);
    control.endProcess(QCoreApplication::applicationPid()); // a SIGTERM would end the test here
    QVERIFY(true);
}

void TestSystemProcessControl::startDetached()
{
    SystemProcessControl control;
    QTemporaryDir folder;
    QVERIFY(control.startDetached(folder.filePath("halvexhelp"), {}, folder.path()).contains("missing"));

    QFile plain(folder.filePath("notes.txt"));
    QVERIFY(plain.open(QIODevice::WriteOnly));
    plain.close();
    QVERIFY(control.startDetached(plain.fileName(), {}, folder.path()).contains("not runnable"));

    writeScript(folder.filePath("prog"), "#!/bin/sh\n{ pwd; echo \"$1\"; } > ran.part && mv ran.part ran\n");
    QTemporaryDir elsewhere;
    QCOMPARE(control.startDetached(folder.filePath("prog"), {"one arg"}, elsewhere.path()), QString());
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(elsewhere.filePath("ran")), 10000);
    QFile ran(elsewhere.filePath("ran"));
    QVERIFY(ran.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(ran.readAll()).split(u'\n', Qt::SkipEmptyParts),
             (QStringList{QDir(elsewhere.path()).canonicalPath(), "one arg"}));
}

void TestSystemProcessControl::startTimeReadsPastOddNames()
{
    QTemporaryDir proc;
    QVERIFY(QDir(proc.path()).mkpath("123"));
    QFile stat(proc.filePath("123/stat"));
    QVERIFY(stat.open(QIODevice::WriteOnly));
    // A process may call itself anything, parentheses and blanks included.
    stat.write("123 (odd) name (x)) S 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 4242 19 20\n");
    stat.close();
    QCOMPARE(ProcessList::startTime(123, proc.path()), quint64(4242));
    QCOMPARE(ProcessList::startTime(124, proc.path()), quint64(0));
    QCOMPARE(ProcessList::startTime(0, proc.path()), quint64(0));
    QVERIFY(ProcessList::startTime(QCoreApplication::applicationPid()) > 0);
}

void TestSystemProcessControl::servicesWithoutSystemdAreNotRunning()
{
    SystemProcessControl control;
    QVERIFY(!control.isServiceRunning("HalvexNoSuchService"));
    QVERIFY(!control.startElevated("/no/such/tv.sh", "/"));
}

int main(int argc, char **argv)
{
    if (argc >= 3 && std::strcmp(argv[1], "--window") == 0)
        return showWindow(argv[2], argc >= 4 ? argv[3] : nullptr);
    if (argc >= 2 && std::strcmp(argv[1], "--stubborn") == 0)
        return stayStubborn();
    QCoreApplication app(argc, argv);
    TestSystemProcessControl test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_systemprocesscontrol.moc"
