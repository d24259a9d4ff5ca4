// The settings dialog in the real window: the properties command opens it,
// its boxes run the window's own commands, and what it edits outlives a
// restart of the program.
#include "app/chatservices.h"
#include "app/tfrmchat.h"
#include "settings/tfrmchatprop.h"
#include "support/chatwindowparts.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>
#include <QTimer>

using namespace hchat;

class TestProperties : public QObject
{
    Q_OBJECT

    QTemporaryDir m_home;

    std::unique_ptr<TfrmChat> window()
    {
        StartOptions o;
        o.programFolder = m_home.path() + "/";
        o.installFolder = qEnvironmentVariable("HCHAT_BIN_DIR") + "/"; // the shipped catalogue
        auto w = std::make_unique<TfrmChat>(o, 300);
        tmrChat(*w)->stop();
        w->show();
        return w;
    }
    static void click(QAbstractButton *b)
    {
        QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(6, b->height() / 2));
    }

private slots:
    void commandOpensOneDialog()
    {
        auto w = window();
        QVERIFY(!w->properties());
        mnuProperties(*w)->trigger(); // F9 and the menu command
        TfrmChatProp *dialog = w->properties();
        QVERIFY(dialog);
        QVERIFY(dialog->isVisible());
        QTest::mouseClick(btnProperties(*w), Qt::LeftButton);
        QCOMPARE(w->findChildren<TfrmChatProp *>().size(), 1);
        QCOMPARE(w->properties(), dialog);
    }

    void boxesRunTheWindowsCommands()
    {
        auto w = window();
        w->openProperties();
        TfrmChatProp *dialog = w->properties();
        QVERIFY(pnlRight(*w)->isVisible());
        click(dialog->viewBox(1)); // "Show Members List"
        QVERIFY(!pnlRight(*w)->isVisible());
        QVERIFY(!mnuPUChatList(*w)->isChecked());
        mnuPUChatList(*w)->trigger();
        QVERIFY(dialog->viewBox(1)->isChecked());
        // Size and bold reach the transcripts at once.
        click(dialog->findChild<QRadioButton *>("rdoSize18"));
        click(dialog->chkBold);
        QCOMPARE(memRich(*w)->font().pointSize(), 18);
        QVERIFY(memRich(*w)->font().bold());
        // "Stay On Top" waits for the dialog to close.
        click(dialog->chkStayOnTop);
        QVERIFY(!(w->windowFlags() & Qt::WindowStaysOnTopHint));
        dialog->close();
        QVERIFY(w->windowFlags() & Qt::WindowStaysOnTopHint);
        QVERIFY(mnuPUChatTop(*w)->isChecked());
    }

    void editsOutliveARestart()
    {
        {
            auto w = window();
            QTRY_VERIFY(w->services().catalogue.isLoaded());
            w->session().set(&ChatSettings::nick, "Ann");
            w->openProperties();
            TfrmChatProp *dialog = w->properties();
            dialog->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(dialog));
            dialog->memProfile->setFocus();
            QTest::keyClicks(dialog->memProfile, "I trade");
            QTest::keyClick(dialog->memProfile, Qt::Key_Return);
            QTest::keyClicks(dialog->memProfile, "futures");
            QLineEdit *fav = dialog->cmbWeb->lineEdit();
            for (const char *url : {"http://one.example/", "http://two.example/"}) {
                fav->setFocus();
                fav->clear();
                QTest::keyClicks(fav, url);
                QTest::keyClick(fav, Qt::Key_Return);
            }
            dialog->memKeyword->setPlainText("buy|read");
            w->close();
        }
        auto w = window();
        QTRY_VERIFY(w->services().catalogue.isLoaded());
        w->openProperties();
        TfrmChatProp *dialog = w->properties();
        QCOMPARE(dialog->memProfile->toPlainText(), QStringLiteral("I trade\nfutures"));
        QCOMPARE(dialog->cmbWeb->count(), 2);
        QCOMPARE(dialog->cmbWeb->itemText(1), QStringLiteral("http://two.example/"));
        QCOMPARE(dialog->memKeyword->toPlainText(), QStringLiteral("buy|read"));
    }
};

QTEST_MAIN(TestProperties)
#include "tst_properties.moc"
