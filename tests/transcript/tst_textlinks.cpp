#include "transcript/textlinks.h"

#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QtTest>

using namespace hchat;

class TstTextLinks : public QObject
{
    Q_OBJECT
private slots:
    void findsWebAddresses_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("urls");
        QTest::newRow("plain") << "Bob:  see http://halvex.com/a?b=1#c"
                               << QStringList{"http://halvex.com/a?b=1#c"};
        QTest::newRow("https, any case") << "HTTPS://Halvex.com/X" << QStringList{"HTTPS://Halvex.com/X"};
        QTest::newRow("end of a sentence") << "look: http://a.com/x." << QStringList{"http://a.com/x"};
        QTest::newRow("question") << "is it http://a.com/x?" << QStringList{"http://a.com/x"};
        QTest::newRow("in brackets") << "(see http://a.com/x)" << QStringList{"http://a.com/x"};
        QTest::newRow("its own brackets") << "http://en.w.org/A_(b)." << QStringList{"http://en.w.org/A_(b)"};
        QTest::newRow("angle brackets") << "<http://a.com/>" << QStringList{"http://a.com/"};
        QTest::newRow("quoted") << "\"http://a.com\"" << QStringList{"http://a.com"};
        QTest::newRow("two") << "http://a.com and https://b.org/p"
                             << QStringList{"http://a.com", "https://b.org/p"};
        QTest::newRow("with a port") << "http://127.0.0.1:8080/x" << QStringList{"http://127.0.0.1:8080/x"};
        QTest::newRow("not a web scheme") << "ftp://a.com file:///etc/passwd" << QStringList{};
        QTest::newRow("script") << "javascript:alert(1) http:alert(1)" << QStringList{};
        QTest::newRow("inside a word") << "xhttp://a.com" << QStringList{};
        QTest::newRow("no host") << "http:// and https:///x" << QStringList{};
        QTest::newRow("bare www") << "www.halvex.com" << QStringList{};
        QTest::newRow("after a tab") << "Bob:\thttp://a.com" << QStringList{"http://a.com"};
    }
    void findsWebAddresses()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, urls);
        QStringList found;
        for (const TextLinks::Link &link : TextLinks::find(text)) {
            QCOMPARE(text.mid(link.start, link.length), link.url);
            found << link.url;
        }
        QCOMPARE(found, urls);
    }

    void insertsAnchorsAndKeepsTheText()
    {
        QTextDocument doc;
        QTextCursor c(&doc);
        QTextCharFormat red;
        red.setForeground(Qt::red);
        const QString line = "Bob:  http://a.com/x, then https://b.org.";
        TextLinks::insert(c, line, red);
        QCOMPARE(doc.toPlainText(), line);

        QStringList anchors;
        int redChars = 0;
        for (auto it = doc.firstBlock().begin(); !it.atEnd(); ++it) {
            const QTextFragment f = it.fragment();
            if (f.charFormat().foreground().color() == Qt::red)
                redChars += f.length();
            if (f.charFormat().isAnchor()) {
                QCOMPARE(f.text(), f.charFormat().anchorHref());
                QVERIFY(f.charFormat().fontUnderline());
                anchors << f.text();
            }
        }
        QCOMPARE(anchors, (QStringList{"http://a.com/x", "https://b.org"}));
        QCOMPARE(redChars, line.size()); // the line's colour holds for the links too
    }
};

QTEST_GUILESS_MAIN(TstTextLinks)
#include "tst_textlinks.moc"
