#include "transcript/groom.h"

#include <QHash>
#include <QtTest>

using namespace hchat;

class TstGroom : public QObject
{
    Q_OBJECT
private slots:
    void groom_data();
    void groom();
    void groomMessage_data();
    void groomMessage();
    void groomNick_data();
    void groomNick();
};

void TstGroom::groom_data()
{
    QTest::addColumn<QString>("in");
    QTest::addColumn<QString>("out");
    QTest::newRow("i") << "so i think i am"
                       << "so I think I am";
    QTest::newRow("adjacent i") << "x i i i y"
                                << "x I I I y";
    QTest::newRow("i at the start stays") << "i am"
                                          << "i am";
    QTest::newRow("halvex") << "use halvex today, halvex "
                            << "use Halvex today, Halvex ";
    QTest::newRow("staff names") << "ask annika or bertil."
                                 << "ask Annika or Bertil.";
    QTest::newRow("inside a word untouched") << "joannika"
                                             << "joannika";
    QTest::newRow("nothing") << ""
                             << "";
}

void TstGroom::groom()
{
    QFETCH(QString, in);
    QFETCH(QString, out);
    QCOMPARE(Groom(in), out);
}

void TstGroom::groomMessage_data()
{
    QTest::addColumn<QString>("in");
    QTest::addColumn<QString>("out");
    QTest::newRow("crlf") << "a\r\nb\r\nc"
                          << "a||b||c";
    QTest::newRow("lone breaks") << "a\nb\rc"
                                 << "a||b||c";
    QTest::newRow("paragraph separator") << QString("a") + QChar(QChar::ParagraphSeparator) + "b"
                                         << "a||b";
    QTest::newRow("none") << "plain"
                          << "plain";
}

void TstGroom::groomMessage()
{
    QFETCH(QString, in);
    QFETCH(QString, out);
    QCOMPARE(GroomMessage(in), out);
}

void TstGroom::groomNick_data()
{
    QTest::addColumn<QString>("nick");
    QTest::addColumn<bool>("staff");
    QTest::addColumn<QString>("registered");
    QTest::addColumn<QStringList>("answers");
    QTest::addColumn<QString>("out");
    QTest::addColumn<int>("asked");
    QTest::newRow("leading junk") << "12 _Bob" << false << "" << QStringList() << "Bob" << 0;
    QTest::newRow("at kept") << "@bob" << false << "" << QStringList() << "@bob" << 0;
    QTest::newRow("staff keeps junk") << "1bob" << true << "" << QStringList() << "1bob" << 0;
    QTest::newRow("reserved cleared, asked")
        << "TheSysop" << false << "" << QStringList{"carl"} << "carl" << 1;
    QTest::newRow("empty staff") << "" << true << "" << QStringList() << "Staff" << 0;
    QTest::newRow("guest") << "" << false << "GUEST" << QStringList() << "Visitor" << 0;
    QTest::newRow("asked again on junk") << "99" << false << "" << QStringList{"42", "x"} << "x" << 2;
    QTest::newRow("cancel ends") << "" << false << "" << QStringList{""} << "" << 1;
}

void TstGroom::groomNick()
{
    QFETCH(QString, nick);
    QFETCH(bool, staff);
    QFETCH(QString, registered);
    QFETCH(QStringList, answers);
    QFETCH(QString, out);
    QFETCH(int, asked);
    const QHash<int, QString> texts{{509, "sysop"}, {510, ""},     {511, "Staff"},     {512, "Visitor"},
                                    {487, "GUEST"}, {513, "Nick"}, {514, "Your nick?"}};
    GroomNickInput in;
    in.staffMode = staff;
    in.registeredName = registered;
    in.storedName = "stored";
    in.text = [&](int n) { return texts.value(n); };
    int calls = 0;
    in.ask = [&](const QString &caption, const QString &prompt, const QString &def) {
        [&] {
            QCOMPARE(caption, QString("Nick"));
            QCOMPARE(prompt, QString("Your nick?"));
            QCOMPARE(def, QString("stored"));
        }();
        return answers.value(calls++);
    };
    QCOMPARE(GroomNick(nick, in), out);
    QCOMPARE(calls, asked);
}

QTEST_GUILESS_MAIN(TstGroom)
#include "tst_groom.moc"
