// Room administration end to end: the real hchat-server with a data folder
// and a staff file, members on the real link over loopback UDP, and the
// settings dialog driven as a user drives it.
#include "chat/chatsession.h"
#include "protocol/codec.h"
#include "protocol/field.h"
#include "server/staffpasswords.h"
#include "settings/tfrmchatprop.h"
#include "support/loopbackmember.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QUdpSocket>

#include <csignal>

using namespace hchat;

namespace {

// A member on the real link; every datagram it receives is kept.
struct Member : test::LoopbackMember {
    QByteArrayList received;
    QString caption; ///< the first room's caption line as the window shows it

    Member(const QString &nick, int room, quint16 port)
        : LoopbackMember(nick, room, QStringLiteral("127.0.0.1:%1").arg(port))
    {
        auto inner = transport.receiver;
        transport.receiver = [this, inner](const QByteArray &d, const QString &h, quint16 p) {
            received << d;
            inner(d, h, p);
        };
        QObject::connect(&session.roomHandling(), &Rooms::roomApplied, &session,
                         [this](int, const QString &c, const QString &, int) { caption = c; });
    }
    bool heardAny(std::initializer_list<QByteArray> secrets) const
    {
        for (const QByteArray &d : received)
            for (const QByteArray &s : secrets)
                if (d.contains(s))
                    return true;
        return false;
    }
};

quint16 freePort()
{
    QUdpSocket probe;
    probe.bind(QHostAddress::LocalHost, 0);
    return probe.localPort();
}

void typeInto(QWidget *box, const QString &text)
{
    box->setFocus();
    QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(box, text);
}

} // namespace

class TestRoomAdministration : public QObject
{
    Q_OBJECT

    const QString bin = qEnvironmentVariable("HCHAT_BIN_DIR");
    QTemporaryDir data;
    quint16 port = 0;
    QByteArray serverLog;
    QProcess server;
    std::vector<std::unique_ptr<Member>> members;

    // Ticks every member until `done` holds: ticks come as fast as loopback
    // answers, so the wait is for datagrams, not for time.
    bool until(const std::function<bool()> &done, int timeoutMs = 20000)
    {
        return QTest::qWaitFor(
            [&] {
                for (auto &m : members)
                    m->session.tick();
                return done();
            },
            timeoutMs);
    }
    Member *join(const QString &nick, int room, const QString &passes = {})
    {
        members.push_back(std::make_unique<Member>(nick, room, port));
        Member *m = members.back().get();
        if (!passes.isEmpty())
            m->session.setPassEntry(room, passes);
        return m;
    }
    TfrmChatProp *openDialog(Member *m)
    {
        auto *dialog = new TfrmChatProp(m->session, {});
        dialog->askNick = [](const QString &, const QString &, const QString &) { return QString(); };
        dialog->FormCreate();
        dialog->show();
        dialog->tabUser->setCurrentIndex(1);
        return dialog;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(QFile::exists(bin + "/hchat-server"));
        QFile rooms(data.filePath("rooms.txt"));
        QVERIFY(rooms.open(QIODevice::WriteOnly));
        rooms.write("<#>0</#><N>Support Room</N><S>zeropw</S>\n"
                    "<#>1</#><N>Traders</N><S>adminpw</S><B>letmein</B><C>Old caption</C><M>Old welcome</M>\n"
                    "<#>2</#><N>Vacant</N>\n");
        rooms.close();
        QFile staff(data.filePath("staff.txt"));
        QVERIFY(staff.open(QIODevice::WriteOnly));
        staff.write(
            "Halvex Staff:" +
            StaffPasswords::hash("staffpw", StaffPasswords::minOpsLimit(), StaffPasswords::minMemLimit()) +
            "\n");
        staff.close();
        staff.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);

        port = freePort();
        connect(&server, &QProcess::readyReadStandardError, this,
                [this] { serverLog += server.readAllStandardError(); });
        server.start(bin + "/hchat-server", {"--listen", QStringLiteral("127.0.0.1:%1").arg(port), "--data",
                                             data.path(), "--staff", data.filePath("staff.txt")});
        QVERIFY(server.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(serverLog.contains("listening"), 10000);
    }
    void cleanupTestCase()
    {
        members.clear();
        if (server.processId() > 0) // 0 would be our own process group
            ::kill(pid_t(server.processId()), SIGTERM);
        QVERIFY(server.waitForFinished(10000));
        QCOMPARE(server.exitCode(), 0);
    }

    void administratorEditsAndOthersSee()
    {
        Member *ann = join("Ann", 1, "<S>adminpw</S>"); // her password lets her in
        Member *bob = join("Bob", 0, {});
        bob->session.setPassEntry(1, "<B>letmein</B>");
        QVERIFY(until([&] { return ann->caption == "Old caption" && bob->session.rooms().count() > 2; }));

        // She typed her password before: the dialog asks the server at once.
        TfrmChatProp *dialog = openDialog(ann);
        QVERIFY(until([&] { return dialog->edtCaption->isEnabled(); }));
        QCOMPARE(dialog->edtAccess->text(), QStringLiteral("letmein"));
        typeInto(dialog->edtCaption, "Markets open at nine");
        typeInto(dialog->memWelcome, "Welcome, traders");
        QTest::keyClick(dialog->memWelcome, Qt::Key_Return);
        QTest::keyClicks(dialog->memWelcome, "Be kind");
        typeInto(dialog->memBulletin, "Holiday on Friday");
        QTest::mouseClick(dialog->btnOK, Qt::LeftButton);
        QVERIFY(until([&] {
            return ann->shown().contains("settings of room 1 were saved") &&
                   ann->shown().contains("bulletin of room 1 was saved");
        }));

        // Bob sees the new caption, and entering the room, the new welcome.
        QVERIFY(until(
            [&] { return bob->session.rooms().RoomField(1, Field::Caption) == "Markets open at nine"; }));
        bob->session.roomHandling().setFirstRoom(1);
        QVERIFY(until([&] { return bob->caption == "Markets open at nine"; }));
        QVERIFY(until([&] { return bob->shown().contains("Welcome, traders"); }));
        QVERIFY(bob->shown().contains("Be kind"));
        // Nobody but the administrator was sent a password.
        QVERIFY(!bob->heardAny({"adminpw", "<S>", "<B>"}));
        QVERIFY(ann->heardAny({"adminpw"}));
    }

    void othersCannotChangeOrLearnIt()
    {
        Member *eve = join("Eve", 1, "<B>letmein</B>"); // a member, not an administrator
        QVERIFY(until([&] { return eve->caption == "Markets open at nine"; }));

        TfrmChatProp *dialog = openDialog(eve);
        QVERIFY(!dialog->edtCaption->isEnabled());
        typeInto(dialog->edtSetup, "guess");
        QTest::keyClick(dialog->edtSetup, Qt::Key_Return);
        QVERIFY(until([&] { return eve->shown().contains("password for room 1 is wrong"); }));
        QCOMPARE(dialog->lblUnlock->text(), QStringLiteral("The server refused this password."));
        QVERIFY(!dialog->edtCaption->isEnabled());
        dialog->edtCaption->setText("Mine now"); // a locked field changed anyway
        dialog->close();

        // A client that sends the records anyway is refused, and told.
        eve->session.Send(7, "<#>1</#><N>Mine</N><C>Taken over</C>");
        eve->session.Send(9, "<#>1</#><M>Gone</M>");
        QVERIFY(until([&] {
            return eve->shown().contains("may change its settings") &&
                   eve->shown().contains("may change its bulletin");
        }));
        QVERIFY(until(
            [&] { return eve->session.rooms().RoomField(1, Field::Caption) == "Markets open at nine"; }));
        QVERIFY(!serverLog.contains("room 1 changed by Eve"));
        QVERIFY(!eve->heardAny({"adminpw", "letmein", "<S>", "<B>"}));
    }

    void staffProveThemselvesOnce()
    {
        Member *staff = join("Halvex Staff", 0);
        staff->session.setStaffMode(true);
        QVERIFY(until([&] { return staff->caption.isEmpty() && staff->session.rooms().count() > 2; }));
        // The nick alone is no proof.
        staff->session.roomHandling().resetRoom(2);
        QVERIFY(until([&] { return staff->shown().contains("Only staff may reset a room"); }));

        // Room 0 is the staff's: the staff password unlocks it.
        TfrmChatProp *dialog = openDialog(staff);
        QVERIFY(until([&] { return dialog->lblUnlock->text().contains("staff password"); }));
        QVERIFY(!dialog->btnReset->isEnabled());
        typeInto(dialog->edtSetup, "staff_pw");
        QTest::keyClick(dialog->edtSetup, Qt::Key_Return);
        QVERIFY(until([&] { return dialog->btnReset->isEnabled(); }));
        QCOMPARE(dialog->edtSetup->text(), QStringLiteral("zeropw")); // the room's, never the staff's
        typeInto(dialog->edtCaption, "Ask us anything");
        QTest::mouseClick(dialog->btnOK, Qt::LeftButton);
        QVERIFY(until([&] { return staff->shown().contains("settings of room 0 were saved"); }));
        QVERIFY(until([&] { return staff->caption == "Ask us anything"; }));
        // Proved once: the rest of the connection needs no password.
        staff->session.roomHandling().resetRoom(2);
        QVERIFY(until([&] { return staff->shown().contains("Room 2 was reset"); }));
    }
};

QTEST_MAIN(TestRoomAdministration)
#include "tst_roomadministration.moc"
