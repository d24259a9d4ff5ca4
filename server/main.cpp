// hchat-server: the local chat server.
#include "chatserver.h"
#include "memberkeys.h"
#include "memberstore.h"
#include "roomstore.h"
#include "staffpasswords.h"
#include "udpserver.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <iostream>
#include <string>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

using namespace hchat;

namespace {

int signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char c = 1;
    [[maybe_unused]] const auto r = ::write(signalPipe[1], &c, 1);
}

void logLine(const QString &line)
{
    const QByteArray text =
        (QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss ")) + line).toLocal8Bit();
    std::fprintf(stderr, "%s\n", text.constData());
    std::fflush(stderr);
}

// Says why the server cannot go on and gives the exit code for it.
int stop(int code, const QString &why)
{
    logLine(QStringLiteral("hchat-server: ") + why);
    return code;
}

QCommandLineOption option(const char *name, const QString &description, const char *value = nullptr,
                          const QString &defaultValue = QString())
{
    return QCommandLineOption(QString::fromLatin1(name), description, QString::fromLatin1(value),
                              defaultValue);
}

// Reads a password from standard input, without echo on a terminal, so it
// stays out of the shell's history and the process list.
QString readPassword()
{
    const bool terminal = ::isatty(STDIN_FILENO);
    termios saved = {};
    if (terminal && ::tcgetattr(STDIN_FILENO, &saved) == 0) {
        termios quiet = saved;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
        std::fprintf(stderr, "Password: ");
        std::fflush(stderr);
    }
    std::string line;
    std::getline(std::cin, line);
    if (terminal) {
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
        std::fprintf(stderr, "\n");
    }
    return QString::fromStdString(line);
}

// `--hash-password NICK`: one line of the staff file on standard output.
int hashPassword(const QString &nick)
{
    if (nick.trimmed().isEmpty() || nick.contains(u'\n'))
        return stop(2, QStringLiteral("--hash-password needs the staff member's nick"));
    QString password = readPassword();
    // Clients send passwords without underscores: a hash with them would never match.
    if (password.contains(u'_')) {
        password.remove(u'_');
        logLine(QStringLiteral("hchat-server: underscores are not part of passwords; hashed without them"));
    }
    if (password.isEmpty())
        return stop(2, QStringLiteral("no password given"));
    const QByteArray hash = StaffPasswords::hash(password);
    if (hash.isEmpty())
        return stop(1, QStringLiteral("the password could not be hashed"));
    std::printf("%s:%s\n", nick.trimmed().toUtf8().constData(), hash.constData());
    return 0;
}

// The server's long-term key: kept in the data folder, made there on the
// first start. A damaged key file stops the server: its clients trust the key
// it held, and a new one would look to them like somebody else's server.
std::optional<SealKeyPair> serverKey(const QString &dataDir, bool mayBeEphemeral)
{
    if (dataDir.isEmpty()) {
        if (!mayBeEphemeral) {
            logLine(QStringLiteral("hchat-server: the server key is kept in the data folder: give --data"));
            return std::nullopt;
        }
        logLine(QStringLiteral("hchat-server: no data folder: the server key lasts for this run only"));
        return SealKeyPair::generate();
    }
    QDir().mkpath(dataDir);
    const QString path = QDir(dataDir).filePath(QStringLiteral("serverkey.dat"));
    QString error;
    if (auto key = SealKeyPair::loadOrCreate(path, &error))
        return key;
    logLine(QStringLiteral("hchat-server: the server key: %1").arg(error));
    // A folder we can't write in yet: serve, with a key nobody can come to trust.
    if (mayBeEphemeral && !QFileInfo::exists(path)) {
        logLine(QStringLiteral("hchat-server: the server key lasts for this run only"));
        return SealKeyPair::generate();
    }
    return std::nullopt;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("hchat-server"));
    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral("The local chat server for Halvex Chat."));
    p.addHelpOption();
    const auto listen = option("listen", "Address and port to listen on.", "ADDR:PORT", "127.0.0.1:5500");
    const auto data = option("data", "Folder for rooms and bulletins.", "DIR");
    const auto staff = option(
        "staff", "File of staff nicks and password hashes, nick:hash a line, readable by its owner only.",
        "FILE");
    const auto hash =
        option("hash-password",
               "Read a password from standard input and print the staff file's line for NICK.", "NICK");
    const auto drop = option("drop", "Drop datagrams with probability P.", "P", "0");
    const auto dup = option("dup", "Duplicate datagrams with probability P.", "P", "0");
    const auto delay = option("delay", "Hold datagrams back MS milliseconds.", "MS", "0");
    const int perAddressDefault = ServerLimits().maxSessionsPerAddress;
    const auto perAddress =
        option("per-address",
               QStringLiteral("Sessions one source address may hold (default %1).").arg(perAddressDefault),
               "N", QByteArray::number(perAddressDefault).constData());
    const auto verbose = option("verbose", "Log every datagram.");
    const auto printKey =
        option("print-key", "Print the server's public key (base64) and its fingerprint, then exit.");
    const auto sealedOnly = option("sealed-only", "Refuse plain (unencrypted) datagrams.");
    p.addOptions({listen, data, staff, hash, perAddress, drop, dup, delay, verbose, printKey, sealedOnly});
    p.process(app);
    if (p.isSet(hash))
        return hashPassword(p.value(hash));
    if (p.isSet(printKey)) {
        const auto key = serverKey(p.value(data), false);
        if (!key)
            return 1;
        std::printf("%s\n%s\n", qPrintable(SealKeyText::encode(key->publicKey)),
                    qPrintable(SealKeyText::fingerprint(key->publicKey)));
        return 0;
    }

    FaultSettings faults;
    bool ok1 = false, ok2 = false, ok3 = false;
    faults.drop = p.value(drop).toDouble(&ok1);
    faults.dup = p.value(dup).toDouble(&ok2);
    faults.delayMs = p.value(delay).toInt(&ok3);
    if (!ok1 || !ok2 || !ok3 || faults.drop < 0 || faults.drop > 1 || faults.dup < 0 || faults.dup > 1 ||
        faults.delayMs < 0)
        return stop(2, QStringLiteral("--drop and --dup take 0..1, --delay milliseconds"));

    ServerLimits limits;
    bool ok4 = false;
    limits.maxSessionsPerAddress = p.value(perAddress).toInt(&ok4);
    if (!ok4 || limits.maxSessionsPerAddress < 1 || limits.maxSessionsPerAddress > limits.maxSessions)
        return stop(2, QStringLiteral("--per-address takes 1..%1").arg(limits.maxSessions));

    RoomStore rooms(p.value(data));
    rooms.log = [](const QString &line) { logLine(QStringLiteral("hchat-server: ") + line); };
    QString error;
    if (!rooms.load(&error))
        return stop(1, QStringLiteral("cannot read the data folder: %1").arg(error));
    const auto key = serverKey(p.value(data), true);
    if (!key)
        return 1;
    MemberKeys memberKeys(p.value(data));
    memberKeys.log = rooms.log;
    // Without them every bound member ID could be taken by anyone.
    if (memberKeys.unreadable())
        return stop(1, QStringLiteral("cannot read the member keys: %1").arg(memberKeys.loadError()));
    if (!memberKeys.loadError().isEmpty())
        logLine(QStringLiteral("hchat-server: %1").arg(memberKeys.loadError()));
    ChatServer server(&rooms, limits);
    server.setMemberKeys(&memberKeys);
    if (p.isSet(staff)) {
        StaffPasswords staffFile;
        if (!staffFile.load(p.value(staff), &error))
            return stop(1, QStringLiteral("--staff: %1").arg(error));
        server.setStaff(std::move(staffFile));
    }
    server.setLog(logLine, p.isSet(verbose));
    MemberStore members(p.value(data));
    members.log = rooms.log;
    server.setMemberStore(&members);
    UdpServer udp(&server);
    udp.setFaults(faults);
    udp.setSealing(*key, p.isSet(sealedOnly));
    if (!udp.listen(p.value(listen), &error))
        return stop(1, error);
    server.restoreMembers(udp.nowMs());

    // SIGTERM and SIGINT end the event loop through a pipe: a clean exit.
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0)
        return 1;
    struct sigaction sa = {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
    QSocketNotifier stopper(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&stopper, &QSocketNotifier::activated, &app, [] { QCoreApplication::quit(); });

    logLine(QStringLiteral("hchat-server listening on %1 (port %2)%3; key fingerprint %4%5")
                .arg(p.value(listen))
                .arg(udp.port())
                .arg(p.isSet(data) ? QStringLiteral(", data in ") + p.value(data) : QString(),
                     SealKeyText::fingerprint(key->publicKey),
                     p.isSet(sealedOnly) ? QStringLiteral(", sealed only") : QString()));
    const int rc = app.exec();
    server.persist(udp.nowMs(), true);
    logLine(QStringLiteral("hchat-server stopping: %1 sessions, %2 polls, %3 lines relayed")
                .arg(server.sessionCount())
                .arg(server.stats().polls)
                .arg(server.stats().chatLines));
    return rc;
}
