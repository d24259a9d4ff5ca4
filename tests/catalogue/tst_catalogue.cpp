#include "catalogue/catalogue.h"
#include "catalogue/cataloguecodec.h"
#include "catalogue/staffnames.h"
#include "support/shippedcatalogue.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

using namespace hchat;

class TestCatalogue : public QObject
{
    Q_OBJECT
private slots:
    void lookup_data();
    void lookup();
    void emptyAndUnloaded();
    void longLineIsCut();
    void cutNeverLeavesHalfAReference_data();
    void cutNeverLeavesHalfAReference();
    void selfReferenceEnds_data();
    void selfReferenceEnds();
    void lookupPathJoinsFolder();
    void lookupZ();
    void codecRoundTrip();
    void codecHidesText();
    void loadFile();
    void refusesGarbage();
    void garbageAfterSignatureLoads();
    void staffNames_data();
    void staffNames();
};

// Lines 0..9: each test case's lines are placed at their label's number.
static QStringList lines(std::initializer_list<std::pair<int, QString>> entries)
{
    QStringList out;
    for (const auto &[n, text] : entries) {
        while (out.size() <= n)
            out << QStringLiteral("%1,").arg(out.size());
        out[n] = text;
    }
    return out;
}

void TestCatalogue::lookup_data()
{
    QTest::addColumn<QStringList>("catalogue");
    QTest::addColumn<int>("n");
    QTest::addColumn<QString>("expected");

    QTest::newRow("reference") << lines({{7, "7,Hello [8]!"}, {8, "8,world"}}) << 7 << "Hello world!";
    QTest::newRow("prefix at 3") << lines({{3, "3,12=Joined"}}) << 3 << "Joined";
    QTest::newRow("prefix at 2") << lines({{3, "3,1=Joined"}}) << 3 << "Joined";
    QTest::newRow("prefix at 4") << lines({{3, "3,123=Joined"}}) << 3 << "Joined";
    QTest::newRow("= beyond 4 kept") << lines({{3, "3,12345=x"}}) << 3 << "12345=x";
    QTest::newRow("= first kept") << lines({{3, "3,=x"}}) << 3 << "=x";
    QTest::newRow("only first = counts") << lines({{3, "3,ab=c=d"}}) << 3 << "c=d";
    QTest::newRow("] without [") << lines({{4, "4,a]b"}}) << 4 << "";
    QTest::newRow("] before [") << lines({{4, "4,a]b[1]"}, {1, "1,x"}}) << 4 << "";
    QTest::newRow("empty brackets") << lines({{4, "4,a[]b"}}) << 4 << "";
    QTest::newRow("[ alone kept") << lines({{4, "4,a[b"}}) << 4 << "a[b";
    QTest::newRow("label up to first comma") << lines({{2, "lbl,a,b"}}) << 2 << "a,b";
    QTest::newRow("no comma: whole line") << lines({{2, "plain"}}) << 2 << "plain";
    QTest::newRow("nested") << lines({{1, "1,<[2]>"}, {2, "2,(x[3])"}, {3, "3,y"}}) << 1 << "<(xy)>";
    QTest::newRow("two references") << lines({{1, "1,[2]-[3]"}, {2, "2,a"}, {3, "3,b"}}) << 1 << "a-b";
    QTest::newRow("inserted text keeps its prefix") << lines({{1, "1,[2]"}, {2, "2,12=x"}}) << 1 << "12=x";
    QTest::newRow("not a number is 0") << lines({{0, "0,zero"}, {1, "1,[x]!"}}) << 1 << "zero!";
    QTest::newRow("missing line 9999") << lines({{1, "1,a[9999]b"}}) << 1 << "ab";
    QTest::newRow("negative line") << lines({{1, "1,a[-1]b"}}) << 1 << "ab";
    QTest::newRow("malformed after expansion") << lines({{1, "1,[2]"}, {2, "2,a]"}}) << 1 << "";
}

void TestCatalogue::lookup()
{
    QFETCH(QStringList, catalogue);
    QFETCH(int, n);
    QFETCH(QString, expected);
    QCOMPARE(Catalogue(catalogue).Lookup(n), expected);
}

void TestCatalogue::emptyAndUnloaded()
{
    Catalogue none;
    QVERIFY(!none.isLoaded());
    QCOMPARE(none.Lookup(0), QString());

    Catalogue c(lines({{0, "0,a"}, {1, "1,b"}}));
    QCOMPARE(c.Lookup(c.count()), QString());
    QCOMPARE(c.Lookup(-1), QString());
    QCOMPARE(c.Lookup(1), QStringLiteral("b"));
    c.clear();
    QCOMPARE(c.Lookup(1), QString());
}

void TestCatalogue::longLineIsCut()
{
    // The line is cut to 255 before its label goes.
    const QString body(300, u'x');
    Catalogue c({QStringLiteral("0,") + body});
    QCOMPARE(c.Lookup(0), QString(253, u'x'));

    // A reference that makes the text long is cut at 255 too.
    Catalogue grown({QStringLiteral("0,ab[1]"), QStringLiteral("1,") + QString(250, u'y') + "[2]",
                     QStringLiteral("2,") + QString(100, u'z')});
    const QString text = grown.Lookup(0);
    QCOMPARE(text.size(), 255);
    QVERIFY(text.startsWith(QStringLiteral("ab") + QString(250, u'y') + "zzz"));
}

void TestCatalogue::cutNeverLeavesHalfAReference_data()
{
    // Lines added after the shipped catalogue, referring to its entries 0
    // ("http://127.0.0.1:8080/") and 504 ("[0]mon/").
    // The line's label "test," counts towards the first cut.
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("expected");
    const QString x(245, u'x');
    QTest::newRow("reference fits") << x + "[0]" << x + "http://127";
    QTest::newRow("nested reference fits") << x + "[504]" << x + "http://127";
    QTest::newRow("line cut in a reference") << x + "ab[504]" << x + "ab";
    QTest::newRow("line cut right after [") << QString(248, u'x') + "[0]" << QString(248, u'x');
    QTest::newRow("expansion cut in a reference") << x + "[%1]" << x + "yyyyyyyy";
    QTest::newRow("[ without ] stays") << "a[b"
                                       << "a[b";
}

void TestCatalogue::cutNeverLeavesHalfAReference()
{
    QFETCH(QString, line);
    QFETCH(QString, expected);
    QStringList lines = hchat::test::shippedLines();
    QVERIFY(lines.size() > 504);
    const int inner = int(lines.size());
    lines << QStringLiteral("inner,yyyyyyyy[0]"); // grows past 255 only when expanded
    lines << QStringLiteral("test,") + (line.contains("%1") ? line.arg(inner) : line);
    const Catalogue c(lines);
    const QString text = c.Lookup(int(lines.size()) - 1);
    QVERIFY(text.size() <= Catalogue::MaxText);
    QCOMPARE(text, expected);
}

void TestCatalogue::selfReferenceEnds_data()
{
    QTest::addColumn<QStringList>("catalogue");
    QTest::addColumn<int>("maxLength");

    QTest::newRow("direct, growing") << QStringList{"0,a[0]"} << 255;
    QTest::newRow("direct, still") << QStringList{"0,[0]"} << 255;
    QTest::newRow("through another") << QStringList{"0,[1]", "1,[0]"} << 255;
    QTest::newRow("through another, growing") << QStringList{"0,x[1]", "1,yy[0]"} << 255;
    QTest::newRow("doubling") << QStringList{"0,[0][0]"} << 255;
}

void TestCatalogue::selfReferenceEnds()
{
    QFETCH(QStringList, catalogue);
    QFETCH(int, maxLength);
    Catalogue c(catalogue);
    QVERIFY(c.Lookup(0).size() <= maxLength); // reaching this line is the test
}

void TestCatalogue::lookupPathJoinsFolder()
{
    Catalogue c(lines({{270, "270,Rooms.txt"}}));
    c.setProgramFolder(QStringLiteral("/home/u/hchat/"));
    QCOMPARE(c.LookupPath(270), QStringLiteral("/home/u/hchat/Rooms.txt"));
    c.setProgramFolder(QStringLiteral("/home/u/hchat"));
    QCOMPARE(c.LookupPath(270), QStringLiteral("/home/u/hchat/Rooms.txt"));
    QCOMPARE(c.LookupPath(9999), QStringLiteral("/home/u/hchat/"));
}

void TestCatalogue::lookupZ()
{
    Catalogue c({QStringLiteral("0,abc")});
    const QByteArray z = c.LookupZ(0);
    QCOMPARE(z.size(), 4);
    QCOMPARE(z.back(), '\0');
    QCOMPARE(c.LookupZ(5), QByteArray(1, '\0'));
}

void TestCatalogue::codecRoundTrip()
{
    QString all;
    for (int c = 0; c < 200; ++c)
        all += QChar(c == '\n' || c == '\r' ? 'n' : c);
    const QStringList plain{QStringLiteral("0,http://127.0.0.1:8080/"), all, QString(),
                            QStringLiteral("9,Grüße [0] \"quoted\" ~|{}")};
    QStringList back;
    QVERIFY(CatalogueCodec::decodeFile(CatalogueCodec::encodeFile(plain), &back));
    QCOMPARE(back, plain);
    for (const QString &line : plain)
        QCOMPARE(CatalogueCodec::decodeLine(CatalogueCodec::encodeLine(line)), line);
}

void TestCatalogue::codecHidesText()
{
    const QByteArray stored = CatalogueCodec::encodeFile({QStringLiteral("0,http://127.0.0.1:8080/")});
    QVERIFY(!stored.contains("http"));
    QVERIFY(!stored.contains("127.0.0.1"));
    QCOMPARE(stored.count('\n'), 2);
}

void TestCatalogue::loadFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("chat.dll"));
    Catalogue c;
    QVERIFY(!c.loadFile(path)); // missing
    QVERIFY(!c.isLoaded());

    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(CatalogueCodec::encodeFile({QStringLiteral("0,base"), QStringLiteral("1,[0]/x")}));
    f.close();
    QVERIFY(c.loadFile(path));
    QCOMPARE(c.count(), 2);
    QCOMPARE(c.Lookup(1), QStringLiteral("base/x"));

    // CR LF line ends, as an editor on another system may leave them.
    QByteArray crlf = CatalogueCodec::encodeFile({QStringLiteral("0,a"), QStringLiteral("1,b")});
    crlf.replace("\n", "\r\n");
    QStringList back;
    QVERIFY(CatalogueCodec::decodeFile(crlf, &back));
    QCOMPARE(back, (QStringList{"0,a", "1,b"}));
}

void TestCatalogue::refusesGarbage()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("chat.dll"));
    QByteArray garbage(70000, '\0');
    auto *rng = QRandomGenerator::global();
    for (char &b : garbage)
        b = char(rng->bounded(256));
    const QList<QByteArray> cases{garbage, QByteArray(),
                                  QByteArray("<html><body>404 Not Found</body></html>"),
                                  CatalogueCodec::Signature.left(5)};
    for (const QByteArray &data : cases) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(data);
        f.close();
        Catalogue c({QStringLiteral("0,kept")});
        QVERIFY(!c.loadFile(path));
        QCOMPARE(c.Lookup(0), QStringLiteral("kept"));
    }
}

void TestCatalogue::garbageAfterSignatureLoads()
{
    QByteArray data = CatalogueCodec::Signature + '\n';
    auto *rng = QRandomGenerator::global();
    for (int i = 0; i < 50000; ++i)
        data += char(rng->bounded(256));
    QStringList lines;
    QVERIFY(CatalogueCodec::decodeFile(data, &lines));
    Catalogue c(lines);
    for (int n = -2; n < c.count() + 2; ++n)
        QVERIFY(c.Lookup(n).size() <= Catalogue::MaxText);
}

void TestCatalogue::staffNames_data()
{
    QTest::addColumn<QString>("nick");
    QTest::addColumn<bool>("staff");

    QTest::newRow("exact") << "Vera Halvex" << true;
    QTest::newRow("case") << "vera HALVEX" << true;
    QTest::newRow("last entry") << "Desk Owl" << true;
    QTest::newRow("484 is not a staff entry") << "Not Staff" << false;
    QTest::newRow("part of a name") << "Vera" << false;
    QTest::newRow("empty nick") << "" << false;
}

void TestCatalogue::staffNames()
{
    QFETCH(QString, nick);
    QFETCH(bool, staff);
    QStringList l;
    for (int n = 0; n <= 503; ++n)
        l << QStringLiteral("%1,").arg(n);
    l[481] = "481,Vera Halvex";
    l[484] = "484,Not Staff";
    l[503] = "503,Desk Owl";
    QCOMPARE(isStaffNick(Catalogue(l), nick), staff);
    QVERIFY(!isStaffNick(Catalogue(), nick));
}

QTEST_GUILESS_MAIN(TestCatalogue)
#include "tst_catalogue.moc"
