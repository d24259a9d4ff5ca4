// Room administration as the server checks it: who gets a room's whole
// record, how staff prove themselves, how far wrong guesses go, and that
// rights stay with the session and host that proved them.
#include "protocol/codec.h"
#include "server/chatserver.h"
#include "server/linkclient.h"

#include <QTest>

using namespace hchat;

Q_DECLARE_METATYPE(hchat::Endpoint)

namespace {

constexpr quint32 kAnnHost = 0x0a000001;
constexpr quint32 kBobHost = 0x0a000002;
constexpr quint32 kStaffHost = 0x0a000003;

Endpoint ipv6(std::initializer_list<int> bytes, quint16 port)
{
    Endpoint e;
    e.v6 = true;
    e.port = port;
    int i = 0;
    for (int b : bytes)
        e.address[size_t(i++)] = quint8(b);
    return e;
}

} // namespace

class TestRoomAdmin : public QObject
{
    Q_OBJECT

    qint64 now = 1000;
    std::unique_ptr<RoomStore> rooms;
    std::unique_ptr<ChatServer> server;
    std::vector<std::unique_ptr<LinkClient>> clients;
    LinkClient *ann = nullptr, *bob = nullptr, *staff = nullptr;
    QStringList logged;

    LinkClient *join(const QString &nick, const QString &id, int room, quint32 host, quint16 port)
    {
        clients.push_back(std::make_unique<LinkClient>(server.get(), port, &now));
        LinkClient *c = clients.back().get();
        c->peer = Endpoint::ipv4(host, port);
        c->presence(nick, id, room);
        c->drain();
        c->received.clear();
        return c;
    }
    static void roundTrip(LinkClient &c)
    {
        c.poll();
        c.drain();
    }
    static QString notices(LinkClient &c) { return c.take(1).join(u'\n'); }
    // Asks whether `password` administers `room`; the answer (kind 28).
    static QString ask(LinkClient &c, int room, const QString &password)
    {
        c.queue(AddI(28, "R") + AddI(room, "#") + AddS(password, "S"));
        roundTrip(c);
        return c.take(28).value(0);
    }
    static bool allowed(LinkClient &c, const QString &record)
    {
        c.received.clear();
        c.queue(record);
        roundTrip(c);
        return !notices(c).contains("Only staff");
    }

private slots:
    void init()
    {
        now = 1000;
        clients.clear();
        rooms = std::make_unique<RoomStore>();
        QVERIFY(rooms->load());
        rooms->setFields(0, "<N>Support Room</N><S>zero</S>");
        rooms->setFields(5, "<N>Traders</N><S>admin</S><B>key</B><C>Old caption</C>");
        rooms->setFields(6, "<N>Open</N>");
        rooms->setFields(7, "<N>Club</N><B>door</B>");
        server = std::make_unique<ChatServer>(rooms.get());
        logged.clear();
        server->setLog([this](const QString &line) { logged << line; }, true);
        StaffPasswords passwords;
        passwords.add("Halvex Staff", StaffPasswords::hash("staffpw", StaffPasswords::minOpsLimit(),
                                                           StaffPasswords::minMemLimit()));
        server->setStaff(passwords);
        ann = join("Ann", "AAAAAAAA1", 1, kAnnHost, 4000);
        bob = join("Bob", "BBBBBBBB1", 1, kBobHost, 4000);
        staff = join("Halvex Staff", "SSSSSSSS1", 2, kStaffHost, 4000);
    }

    void answer_data()
    {
        QTest::addColumn<bool>("byStaff");
        QTest::addColumn<int>("room");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("flags");
        QTest::addColumn<QString>("notice");
        QTest::newRow("right password") << false << 5 << "admin"
                                        << "SBA"
                                        << "";
        QTest::newRow("underscores dropped") << false << 5 << "ad_m_in"
                                             << "SBA"
                                             << "";
        QTest::newRow("wrong password") << false << 5 << "nope"
                                        << "SB"
                                        << "is wrong";
        QTest::newRow("room without administrator") << false << 6 << ""
                                                    << "A"
                                                    << "";
        QTest::newRow("access password, no administrator") << false << 7 << ""
                                                           << "BA"
                                                           << "";
        QTest::newRow("staff in that room") << true << 7 << "staffpw"
                                            << "BAT"
                                            << "";
        QTest::newRow("room 0 is the staff's") << false << 0 << "zero"
                                               << "S"
                                               << "staff only";
        QTest::newRow("staff password in room 0") << true << 0 << "staffpw"
                                                  << "SAT"
                                                  << "";
        QTest::newRow("staff password in an open room") << true << 6 << "staffpw"
                                                        << "AT"
                                                        << "";
        QTest::newRow("room password proves no staff") << true << 5 << "admin"
                                                       << "SBA"
                                                       << "";
        QTest::newRow("wrong staff password") << true << 0 << "guess"
                                              << "S"
                                              << "is wrong";
        QTest::newRow("staff nick alone") << true << 0 << ""
                                          << "S"
                                          << "";
    }
    void answer()
    {
        QFETCH(bool, byStaff);
        QFETCH(int, room);
        QFETCH(QString, password);
        QFETCH(QString, flags);
        QFETCH(QString, notice);
        LinkClient &c = byStaff ? *staff : *ann;
        const QString answer = ask(c, room, password);
        QCOMPARE(GetS(answer, "H"), flags);
        const bool granted = flags.contains('A');
        // Granted: the whole record, passwords included; else not one of them.
        QCOMPARE(answer.contains("<N>"), granted);
        QCOMPARE(GetS(answer, "S"), granted ? rooms->adminPassword(room) : QString());
        // The access password only to whoever proved more than an open door.
        const bool proved = flags.contains('T') || !rooms->adminPassword(room).isEmpty();
        QCOMPARE(GetS(answer, "B"), granted && proved ? rooms->accessPassword(room) : QString());
        for (const QString &secret : {password, rooms->adminPassword(room), rooms->accessPassword(room)})
            QVERIFY(secret.isEmpty() || !logged.join(u'\n').contains('>' + secret + '<'));
        const QString told = notices(c);
        QVERIFY2(notice.isEmpty() ? told.isEmpty() : told.contains(notice), qPrintable(told));
        // Nobody else hears of it.
        bob->poll();
        QVERIFY(bob->received.filter("<S>").isEmpty());
        QVERIFY(bob->received.filter("<R>28</R>").isEmpty());
    }

    void roomRecordsTellWhichPasswordsExist()
    {
        bob->queue("<R>12</R>");
        roundTrip(*bob);
        QMap<int, QString> flags;
        for (const QString &r : bob->take(7)) {
            QVERIFY2(!r.contains("<S>") && !r.contains("<B>"), qPrintable(r));
            flags[GetI(r, "#")] = GetS(r, "H");
        }
        QCOMPARE(flags.value(0), QStringLiteral("S"));
        QCOMPARE(flags.value(5), QStringLiteral("SB"));
        QCOMPARE(flags.value(6), QString());
    }

    void staffChecksShareOneBudget()
    {
        // Staff-password guesses from many hosts at once: a couple are
        // weighed off the poll loop, the rest told to come back unweighed.
        QList<LinkClient *> guessers;
        for (int i = 0; i < 10; ++i)
            guessers << join("Halvex Staff", QStringLiteral("GGGGGGG%1").arg(i), 2, 0x0a000100 + i, 4000);
        for (LinkClient *g : guessers) {
            g->queue("<R>28</R><#>0</#><S>guess</S>");
            g->link.Send(0);
            g->deliver();
        }
        int busy = 0;
        for (LinkClient *g : guessers) {
            roundTrip(*g);
            busy += notices(*g).contains("try again in a minute") ? 1 : 0;
            QCOMPARE(g->take(28).size(), 1);
        }
        // How many the worker finishes while the others arrive is the
        // scheduler's choice; never more than the budget's burst.
        QVERIFY2(busy >= 10 - PasswordChecks::burst && busy <= 10 - PasswordChecks::maxWaiting,
                 qPrintable(QString::number(busy)));
    }

    void wrongGuessesAreBounded()
    {
        // A guess known wrong costs one try however often it comes.
        const QStringList guesses{"nope", "nope", "nope", "w1", "w2", "w3", "w4"};
        for (const QString &g : guesses) {
            QCOMPARE(GetS(ask(*ann, 5, g), "H"), QStringLiteral("SB"));
            QVERIFY(notices(*ann).contains("is wrong"));
        }
        // Five wrong: the right one is not weighed either, nor in a room entry.
        QVERIFY(!GetS(ask(*ann, 5, "admin"), "H").contains('A'));
        QVERIFY(notices(*ann).contains("Too many wrong passwords"));
        ann->presence("Ann", "AAAAAAAA1", 5);
        ann->queue("<R>25</R><#>5</#><B>key</B>");
        roundTrip(*ann);
        QVERIFY(GetS(ann->take(25).value(0), "A").contains("Too many wrong passwords"));
        // Another session from the same host is held back as well...
        LinkClient *again = join("Ann2", "AAAAAAAA2", 1, kAnnHost, 4001);
        QVERIFY(!GetS(ask(*again, 5, "admin"), "H").contains('A'));
        // ...another host is not.
        QVERIFY(GetS(ask(*bob, 5, "admin"), "H").contains('A'));
        // A minute on, guessing may go on.
        now += 60000;
        server->tick(now);
        QVERIFY(GetS(ask(*ann, 5, "admin"), "H").contains('A'));
    }

    void guessesCountPerHost_data()
    {
        QTest::addColumn<Endpoint>("guesser");
        QTest::addColumn<Endpoint>("other");
        QTest::addColumn<bool>("heldBack");
        const Endpoint v4 = Endpoint::ipv4(kAnnHost, 4000);
        const Endpoint subscriber = ipv6({0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1}, 4000);
        QTest::newRow("IPv4, another port") << v4 << Endpoint::ipv4(kAnnHost, 4001) << true;
        QTest::newRow("IPv4, another host") << v4 << Endpoint::ipv4(kBobHost, 4000) << false;
        QTest::newRow("IPv4 mapped into IPv6")
            << v4 << ipv6({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff, 10, 0, 0, 1}, 4002) << true;
        QTest::newRow("another mapped IPv4")
            << v4 << ipv6({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff, 10, 0, 0, 2}, 4002) << false;
        QTest::newRow("IPv6, same /64")
            << subscriber << ipv6({0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 1, 9, 9, 9, 9, 9, 9, 9, 9}, 4000) << true;
        QTest::newRow("IPv6, next /64")
            << subscriber << ipv6({0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 1}, 4000)
            << false;
    }
    void guessesCountPerHost()
    {
        QFETCH(Endpoint, guesser);
        QFETCH(Endpoint, other);
        QFETCH(bool, heldBack);
        GuessLimiter limiter;
        GuessLimiter::Window first, second;
        for (int i = 0; i < GuessLimiter::limit; ++i)
            limiter.failed(first, guesser, now);
        QVERIFY(!limiter.allowed(first, guesser, now));
        QCOMPARE(limiter.allowed(second, other, now), !heldBack);
    }

    void staffRightsNeedTheStaffPassword()
    {
        const QString global = "<R>2</R><M>closing at five</M>";
        QVERIFY(!allowed(*staff, global));
        QVERIFY(GetS(ask(*staff, 0, "staf_fpw"), "H").contains('T'));
        QVERIFY(allowed(*staff, global));
        // The proof is the nick's: a member who takes another nick leaves it behind.
        staff->presence("Stan", "SSSSSSSS1", 2);
        QVERIFY(!allowed(*staff, global));
        staff->presence("Halvex Staff", "SSSSSSSS1", 2);
        QVERIFY(allowed(*staff, global));
        // Another member taking the staff nick has no rights with it.
        LinkClient *imposter = join("halvex staff", "IIIIIIII1", 2, kBobHost, 4002);
        QVERIFY(!allowed(*imposter, global));
        QVERIFY(!allowed(*imposter, "<R>21</R><#>5</#>"));
        QCOMPARE(GetS(rooms->fields(5), "N"), QStringLiteral("Traders"));
    }

    void rightsStayWithTheirAddress_data()
    {
        QTest::addColumn<quint32>("host");
        QTest::addColumn<quint16>("port");
        QTest::addColumn<bool>("kept");
        // Anybody can put her address and port on a first poll; her own
        // client back after a lost link names its old token as well.
        QTest::newRow("her own address and port") << kAnnHost << quint16(4000) << false;
        // Both while the first sessions are still about: taken for nobody.
        QTest::newRow("same host, new port") << kAnnHost << quint16(4100) << false;
        QTest::newRow("another host") << kBobHost << quint16(4100) << false;
    }
    void rightsStayWithTheirAddress()
    {
        QFETCH(quint32, host);
        QFETCH(quint16, port);
        QFETCH(bool, kept);
        QVERIFY(GetS(ask(*ann, 5, "admin"), "H").contains('A'));
        QVERIFY(GetS(ask(*staff, 0, "staffpw"), "H").contains('T'));
        // The same IDs announce themselves from elsewhere.
        LinkClient *annAgain = join("Ann", "AAAAAAAA1", 1, host, port);
        LinkClient *staffAgain =
            join("Halvex Staff", "SSSSSSSS1", 2, host == kAnnHost ? kStaffHost : host, port);
        annAgain->queue("<R>9</R><#>5</#><M>Meeting at noon</M>");
        roundTrip(*annAgain);
        QCOMPARE(rooms->bulletin(5) == "Meeting at noon", kept);
        staffAgain->queue("<R>16</R><#>2</#>");
        roundTrip(*staffAgain);
        QCOMPARE(!staffAgain->take(16).isEmpty(), kept);
    }

    void refusedRecordIsGivenBack()
    {
        bob->queue("<R>7</R><#>5</#><N>Mine</N><C>Taken over</C>");
        roundTrip(*bob);
        QVERIFY(notices(*bob).contains("Only staff or the administrator of room 5"));
        // His client shows his record already: ours puts it right.
        const QStringList records = bob->take(7);
        QCOMPARE(records.size(), 1);
        QCOMPARE(GetS(records.first(), "C"), QStringLiteral("Old caption"));
        QCOMPARE(GetS(rooms->fields(5), "N"), QStringLiteral("Traders"));
    }

    void newPasswordShutsOutTheOld()
    {
        QVERIFY(GetS(ask(*ann, 5, "admin"), "H").contains('A'));
        QVERIFY(GetS(ask(*bob, 5, "admin"), "H").contains('A'));
        ann->queue("<R>7</R><#>5</#><N>Traders</N><S>fresh</S><C>Old caption</C>");
        roundTrip(*ann);
        QCOMPARE(rooms->adminPassword(5), QStringLiteral("fresh"));
        bob->queue("<R>9</R><#>5</#><M>from bob</M>");
        roundTrip(*bob);
        QVERIFY(rooms->bulletin(5).isEmpty());
        ann->queue("<R>9</R><#>5</#><M>from ann</M>");
        roundTrip(*ann);
        QCOMPARE(rooms->bulletin(5), QStringLiteral("from ann"));
    }
};

QTEST_GUILESS_MAIN(TestRoomAdmin)
#include "tst_roomadmin.moc"
