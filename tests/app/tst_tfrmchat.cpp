#include "app/inifile.h"
#include "app/tfrmchat.h"

#include <QAction>
#include <QDir>
#include <QSplitter>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>
#include <QTimer>

using namespace hchat;

class TestTfrmChat : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    StartOptions options() const
    {
        return StartOptions::inFolder(m_dir.path());
    }
    QString iniValue(const QString &key) const
    {
        IniFile ini;
        ini.load(m_dir.path() + "/ChatLog/Halvex.ini");
        return ini.value("Chat", key).value_or(QString());
    }

private slots:
    void init() { QDir(m_dir.path() + "/ChatLog").removeRecursively(); }

    void windowHasItsParts()
    {
        TfrmChat w(options(), 300);
        QCOMPARE(w.windowTitle(), QStringLiteral("Halvex Chat"));
        QVERIFY(w.findChild<QTextEdit *>("memRich"));
        QVERIFY(w.findChild<QTextEdit *>("memRich2"));
        QVERIFY(w.findChild<QWidget *>("pnlWeb"));
        QVERIFY(w.findChild<QWidget *>("lstMembers"));
        QVERIFY(w.findChild<QWidget *>("memText"));
        QCOMPARE(w.tmrChat->interval(), 500);
        QVERIFY(w.memRich->isReadOnly());
        // First start: second room off, members and web pane on.
        w.show();
        QVERIFY(!w.memRich2->isVisible());
        QVERIFY(w.pnlRight->isVisible());
        QVERIFY(w.pnlWeb->isVisible());
    }

    void eachViewToggleChangesItsKey_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("key");
        QTest::newRow("image") << "mnuPUChatImage"
                               << "Image";
        QTest::newRow("list") << "mnuPUChatList"
                              << "List";
        QTest::newRow("2nd") << "mnuPUChat2nd"
                             << "2nd";
        QTest::newRow("time") << "mnuPUChatTime"
                              << "Time";
        QTest::newRow("arrive") << "mnuPUChatArrive"
                                << "Arrive";
        QTest::newRow("depart") << "mnuPUChatDepart"
                                << "Depart";
        QTest::newRow("log") << "mnuPUChatLog"
                             << "Log";
        QTest::newRow("read") << "mnuPUChatRead"
                              << "Read";
        QTest::newRow("pm") << "mnuPUChatPM"
                            << "PM";
        QTest::newRow("color") << "mnuPUChatColor"
                               << "Color";
        QTest::newRow("horizontal") << "mnuPUChatHorz"
                                    << "Horizontal";
        QTest::newRow("on top") << "mnuPUChatTop"
                                << "StayOnTop";
    }
    void eachViewToggleChangesItsKey()
    {
        QFETCH(QString, action);
        QFETCH(QString, key);
        QString before;
        {
            TfrmChat w(options(), 300);
            w.close();
            before = iniValue(key);
        }
        {
            TfrmChat w(options(), 300);
            auto *a = w.findChild<QAction *>(action);
            QVERIFY(a);
            QVERIFY(a->isCheckable());
            QCOMPARE(a->isChecked(), before == "1");
            a->trigger();
            w.close();
        }
        QCOMPARE(iniValue(key), before == "1" ? QStringLiteral("0") : QStringLiteral("1"));
        // And the next window starts with the menu in step with the file.
        TfrmChat w(options(), 300);
        QCOMPARE(w.findChild<QAction *>(action)->isChecked(), before != "1");
    }

    void togglesShowAndHidePanes()
    {
        TfrmChat w(options(), 300);
        w.show();
        w.mnuPUChat2nd->trigger();
        QVERIFY(w.memRich2->isVisible());
        w.mnuPUChatList->trigger();
        QVERIFY(!w.pnlRight->isVisible());
        w.mnuPUChatHorz->trigger();
        QCOMPARE(w.splMain->orientation(), Qt::Horizontal);
        w.mnuPUChatImage->trigger();
        QVERIFY(!w.pnlWeb->isVisible());
    }

    void closeSavesGeometryOnce()
    {
        {
            TfrmChat w(options(), 300);
            w.show();
            w.resize(900, 650);
            w.close();
            w.FormClose(); // a second close must not write again or crash
        }
        QCOMPARE(iniValue("Width"), QStringLiteral("900"));
        QCOMPARE(iniValue("Height"), QStringLiteral("650"));
    }
};

QTEST_MAIN(TestTfrmChat)
#include "tst_tfrmchat.moc"
