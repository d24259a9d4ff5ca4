// Text on the wire: what a person types against what the codec carries, nicks
// fit for presence, and the header lines of poll and acknowledgement.
#include "protocol/ackheader.h"
#include "protocol/codec.h"
#include "protocol/numberwindow.h"
#include "protocol/pollheader.h"
#include "protocol/wirelimits.h"
#include "protocol/wiretext.h"

#include <QTest>

using namespace hchat;

class TestWireText : public QObject
{
    Q_OBJECT

private slots:
    void typedTextTravelsUnchanged_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("wire");
        QTest::addColumn<QString>("read");
        QTest::newRow("plain") << "hello"
                               << "hello"
                               << "hello";
        QTest::newRow("line breaks") << "a\r\nb\nc\rd"
                                     << "a||b||c||d"
                                     << "a\r\nb\r\nc\r\nd";
        QTest::newRow("typed bars") << "a||b"
                                    << "a|\\|b"
                                    << "a||b";
        QTest::newRow("three bars") << "|||"
                                    << "|\\|\\|"
                                    << "|||";
        QTest::newRow("bar before a break") << "a|\nb"
                                            << "a|\\||b"
                                            << "a|\r\nb";
        QTest::newRow("bar after a break") << "a\n|b"
                                           << "a|||b"
                                           << "a\r\n|b";
        QTest::newRow("closing tag") << "say </M> and </N>"
                                     << "say <\\/M> and <\\/N>"
                                     << "say </M> and </N>";
        // Only what the codec reads as a closing tag is touched: markup shows as typed.
        QTest::newRow("markup") << "hello <b>world</b> </m> </MM> </#>"
                                << "hello <b>world</b> </m> </MM> <\\/#>"
                                << "hello <b>world</b> </m> </MM> </#>";
        QTest::newRow("backslashes") << "C:\\dir\\|\\<\\"
                                     << "C:\\dir\\|\\<\\"
                                     << "C:\\dir\\|\\<\\";
        QTest::newRow("escape typed") << "|\\|<\\/M>|\\\n"
                                      << "|\\\\|<\\\\/M>|\\\\||"
                                      << "|\\|<\\/M>|\\\r\n";
        QTest::newRow("single bar") << "a|b"
                                    << "a|b"
                                    << "a|b";
        QTest::newRow("paragraph separator") << QString("a") + QChar::ParagraphSeparator + "b"
                                             << "a||b"
                                             << "a\r\nb";
    }
    void typedTextTravelsUnchanged()
    {
        QFETCH(QString, typed);
        QFETCH(QString, wire);
        QFETCH(QString, read);
        QCOMPARE(encodeText(typed), wire);
        const QString record = AddS(QStringLiteral("x"), 'N') + AddText(typed, 'M') + AddS("y", 'U');
        QCOMPARE(GetText(record, 'M'), read);
        // Nothing typed ends the field or shadows another one.
        QCOMPARE(GetS(record, 'U'), QStringLiteral("y"));
        QVERIFY(!encodeText(typed).contains(QLatin1String("</M>")));
    }

    void cleanNicks_data()
    {
        QTest::addColumn<QString>("nick");
        QTest::addColumn<QString>("clean");
        QTest::newRow("plain") << "Ann"
                               << "Ann";
        QTest::newRow("field smuggled") << "Eve</N><E>FAKE"
                                        << "Eve/NEFAKE";
        QTest::newRow("line break") << "Bo\r\nb"
                                    << "Bob";
        QTest::newRow("bars") << "a||b|c"
                              << "a|b|c";
        QTest::newRow("blanks") << "  Cy  "
                                << "Cy";
        QTest::newRow("too long") << QString(30, u'n') << QString(WireLimits::maxNickChars, u'n');
        QTest::newRow("only tags") << "<>"
                                   << "";
    }
    void cleanNicks()
    {
        QFETCH(QString, nick);
        QTEST(cleanNick(nick), "clean");
        const QString presence = AddS(cleanNick(nick), 'N') + AddS("ID", 'E');
        QCOMPARE(GetS(presence, 'E'), QStringLiteral("ID"));
    }

    void fieldTagsGoWhateverTheNesting_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("clean");
        QTest::newRow("plain") << "a < b > c"
                               << "a < b > c";
        QTest::newRow("one tag") << "x<B>y</B>z"
                                 << "xyz";
        QTest::newRow("nested once") << "<<B>B>pw<</B>/B>"
                                     << "pw";
        QTest::newRow("nested deep") << "<<<<#>#>#>#>-1"
                                     << "-1";
        QTest::newRow("slash as name") << "a</>b"
                                       << "ab";
        QTest::newRow("not a name") << "<<>>"
                                    << "<<>>";
        QTest::newRow("two characters") << "<ab>"
                                        << "<ab>";
    }
    void fieldTagsGoWhateverTheNesting()
    {
        QFETCH(QString, value);
        QTEST(stripFieldTags(value), "clean");
        // Nothing left that a reader could take for a field.
        const QString record = AddS(stripFieldTags(value), 'N') + AddS("id", 'E');
        QCOMPARE(GetS(record, 'E'), QStringLiteral("id"));
        QCOMPARE(GetS(record, '#'), QString());
        QCOMPARE(GetS(record, 'B'), QString());
    }

    void headerLines()
    {
        const QByteArray poll = PollHeader::build(7, "abcd", 42);
        QCOMPARE(poll, QByteArray("<R>0</R><K>7</K><L>abcd</L><Y>42</Y>"));
        const auto p = PollHeader::parse(poll);
        QVERIFY(p);
        QCOMPARE(p->k, 7);
        QCOMPARE(p->token, QByteArrayView("abcd"));
        QVERIFY(p->echoesReplies);
        QCOMPARE(p->lastReply, 42u);
        const auto old = PollHeader::parse("<R>0</R><K>3</K>");
        QVERIFY(old && !old->echoesReplies && old->token.isEmpty());
        for (const char *bad : {"<R>1</R><K>3</K>", "<R>0</R><K>10</K>", "<R>0</R><K></K>", "<K>3</K>"})
            QVERIFY2(!PollHeader::parse(bad), bad);

        QByteArray out;
        AckHeader::append(out, 7, 12, "abcd", WireLimits::maxNumber);
        QCOMPARE(out, QByteArray("<R>0</R><K>7</K><Q>12</Q><L>abcd</L><Y>999999</Y>\n"));
        QVERIFY(out.size() <= WireLimits::maxAckBytes);
        const auto a = AckHeader::parse(out.chopped(1));
        QVERIFY(a);
        QCOMPARE(a->k, 7);
        QCOMPARE(a->q, 12);
        QCOMPARE(a->reply, WireLimits::maxNumber);
        out.clear();
        AckHeader::append(out, 10, -1, {}, 0);
        QCOMPARE(out, QByteArray("<R>0</R><K>10</K>\n"));
        QVERIFY(!AckHeader::parse("<R>0</R><K>x</K>"));
        QCOMPARE(AckHeader::parse("<R>0</R><K>1</K><Y>1000000</Y>")->reply, 0u); // out of range: none
    }

    void numberWindow()
    {
        NumberWindow w;
        QVERIFY(w.take(10));
        QVERIFY(!w.take(10));
        QVERIFY(w.take(12));
        QVERIFY(w.take(11)); // late, but new
        QVERIFY(!w.take(11));
        QVERIFY(w.take(12 + 300));
        QVERIFY(!w.take(12)); // too far behind to tell: taken as old
        QVERIFY(w.take(12 + 300 - NumberWindow::span + 1));
        // Round the wrap.
        NumberWindow wrap;
        QVERIFY(wrap.take(WireLimits::maxNumber - 1));
        QCOMPARE(NumberWindow::next(WireLimits::maxNumber), 1u);
        QVERIFY(wrap.take(2));
        QVERIFY(!wrap.take(WireLimits::maxNumber - 1));
        QVERIFY(wrap.take(WireLimits::maxNumber));
        // Far away: another run starts afresh.
        QVERIFY(wrap.take(500000));
        QVERIFY(wrap.take(2));
        QVERIFY(!wrap.take(0));
    }
};

QTEST_GUILESS_MAIN(TestWireText)
#include "tst_wiretext.moc"
