#include "catalogue/catalogue.h"
#include "catalogue/cataloguecodec.h"
#include "catalogue/dateformat.h"
#include "catalogue/staffnames.h"

#include <QFile>
#include <QTest>

using namespace hchat;

// Checks the catalogue we ship: every number the program asks for has a
// text, and the texts work where they are used.
class TestShippedCatalogue : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void usedEntriesHaveText();
    void plainTextsReadAsWritten();
    void formats();
    void namesAndWords();
    void builtFileMatchesSource();

private:
    QStringList m_plain;
    Catalogue m_catalogue;
};

static QList<int> usedNumbers()
{
    QList<int> used{0,   5,   100, 111, 112, 113, 114, 200, 270, 271, 272, 273, 274, 438, 439, 444,
                    453, 456, 464, 469, 474, 476, 481, 482, 483, 504, 525, 527, 528, 529, 530, 555,
                    556, 558, 559, 560, 561, 562, 563, 564, 565, 566, 567, 568, 515, 522};
    for (int n = 486; n <= 503; ++n)
        used << n;
    for (int n = 509; n <= 514; ++n)
        used << n;
    return used;
}

void TestShippedCatalogue::initTestCase()
{
    QFile f(qEnvironmentVariable("HCHAT_TEST_DATA") + QStringLiteral("/strings2.txt"));
    QVERIFY2(f.open(QIODevice::ReadOnly), "HCHAT_TEST_DATA/strings2.txt not found");
    m_plain = CatalogueCodec::splitPlain(f.readAll());
    m_catalogue.setLines(m_plain);
}

void TestShippedCatalogue::usedEntriesHaveText()
{
    const QList<int> used = usedNumbers();
    const int highest = *std::max_element(used.begin(), used.end());
    QCOMPARE(m_catalogue.count(), highest + 1);
    for (int n = 0; n < m_plain.size(); ++n)
        QVERIFY2(m_plain.at(n).contains(u','), qPrintable(QStringLiteral("line %1 has no label").arg(n)));
    for (int n : used)
        QVERIFY2(!m_catalogue.Lookup(n).isEmpty(), qPrintable(QStringLiteral("entry %1 is empty").arg(n)));
}

void TestShippedCatalogue::plainTextsReadAsWritten()
{
    // Apart from the two that refer to the web base on purpose, no text may
    // be changed by the prefix or reference rules (a shell line with "[" or
    // "x=" near its start would be).
    for (int n = 0; n < m_plain.size(); ++n) {
        if (n == 5 || n == 504)
            continue;
        const QString raw = m_plain.at(n).mid(m_plain.at(n).indexOf(u',') + 1);
        QCOMPARE(m_catalogue.Lookup(n), raw);
    }
    QCOMPARE(m_catalogue.Lookup(5), m_catalogue.Lookup(0) + QStringLiteral("help/"));
    QVERIFY(m_catalogue.Lookup(0).endsWith(u'/'));
    QVERIFY(m_catalogue.Lookup(504).contains(QLatin1String("/mon/")));
    QVERIFY(m_catalogue.Lookup(504).startsWith(m_catalogue.Lookup(0)));
}

void TestShippedCatalogue::formats()
{
    const QDateTime t(QDate(2024, 1, 9), QTime(14, 5, 7));
    QCOMPARE(FormatDateTime(m_catalogue.Lookup(453), t), QStringLiteral("14:05:07"));
    for (int n : {456, 464, 469}) {
        const QString shown = FormatDateTime(m_catalogue.Lookup(n), t);
        QVERIFY2(shown.contains(QLatin1String(":05")), qPrintable(shown)); // minutes, not the month
    }
}

void TestShippedCatalogue::namesAndWords()
{
    for (int n = 481; n <= 503; ++n) {
        if (n == 484 || n == 485)
            continue;
        QVERIFY(m_catalogue.Lookup(n).size() <= 20);
        QVERIFY(isStaffNick(m_catalogue, m_catalogue.Lookup(n).toLower()));
    }
    QVERIFY(!isStaffNick(m_catalogue, QStringLiteral("someone")));
    // Compared against the upper-cased nick, so they must be upper case.
    for (int n : {509, 510})
        QCOMPARE(m_catalogue.Lookup(n), m_catalogue.Lookup(n).toUpper());
    for (int n : {511, 512})
        QVERIFY(!m_catalogue.Lookup(n).isEmpty() && m_catalogue.Lookup(n).size() <= 20);
    for (int n = 270; n <= 274; ++n)
        QVERIFY(!m_catalogue.Lookup(n).contains(u'/'));
    QCOMPARE(m_catalogue.Lookup(200), QStringLiteral("chat.dll"));
    for (int n : {561, 562, 563})
        QCOMPARE(m_catalogue.Lookup(n).count(QLatin1String("%s")), 1);
}

void TestShippedCatalogue::builtFileMatchesSource()
{
    const QString built = qEnvironmentVariable("HCHAT_BIN_DIR") + QStringLiteral("/chat.dll");
    if (!QFile::exists(built))
        QSKIP("chat.dll not built yet");
    Catalogue stored;
    QVERIFY(stored.loadFile(built));
    QCOMPARE(stored.count(), m_catalogue.count());
    for (int n = 0; n < stored.count(); ++n)
        QCOMPARE(stored.Lookup(n), m_catalogue.Lookup(n));
}

QTEST_GUILESS_MAIN(TestShippedCatalogue)
#include "tst_shippedcatalogue.moc"
