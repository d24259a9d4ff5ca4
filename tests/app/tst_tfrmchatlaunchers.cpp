#include "app/chatservices.h"
#include "app/tfrmchat.h"
#include "settings/tfrmchatprop.h"
#include "support/chatwindowparts.h"
#include "support/fakeprocesscontrol.h"
#include "support/fakesink.h"
#include "support/loopbackhttpserver.h"
#include "support/testsession.h"
#include "upgrade/upgrade.h"

#include <QAction>
#include <QDir>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace hchat;
using hchat::test::FakeProcessControl;
using hchat::test::FakeSink;

// The window's Remote Support command, the settings dialog's upgrade and
// the replacement it arms.
class TestTfrmChatLaunchers : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    FakeSink m_sink;
    FakeProcessControl *m_control = nullptr; // owned by the window's services

    std::unique_ptr<TfrmChat> window()
    {
        StartOptions o;
        o.programFolder = m_dir.path() + "/";
        o.installFolder = m_dir.path() + "/";
        auto w = std::make_unique<TfrmChat>(o, 300);
        tmrChat(*w)->stop();
        w->session().setSink(&m_sink);
        w->session().set(&ChatSettings::nick, "Ann"); // no nick box on the first tick
        auto control = std::make_unique<FakeProcessControl>();
        m_control = control.get();
        w->services().setProcessControl(std::move(control));
        return w;
    }

    QStringList notices() const
    {
        QStringList out;
        for (const auto &c : m_sink.calls) {
            if (c.name == "ShowMessage")
                out << c.text;
        }
        return out;
    }

private slots:
    void init() { m_sink.clear(); }

    void remoteSupportFromButtonAndMenu()
    {
        auto w = window();
        // Found nowhere: the notice names the user's own folder, and nothing starts.
        btnRemote(*w)->click();
        QCOMPARE(notices().size(), 1);
        QVERIFY(notices().at(0).contains(".local/share/halvex-chat"));
        QVERIFY(m_control->log.isEmpty());

        QFile helper(m_dir.path() + "/halvexhelp");
        QVERIFY(helper.open(QIODevice::WriteOnly));
        helper.setPermissions(helper.permissions() | QFile::ExeOwner);
        helper.close();
        m_sink.clear();
        m_control->startError = m_dir.path() + "/halvexhelp is missing";
        btnRemote(*w)->click();
        QCOMPARE(notices().size(), 1);
        QVERIFY(notices().at(0).contains("halvexhelp is missing"));
        QCOMPARE(m_control->log.constLast(),
                 "start " + m_dir.path() + "/halvexhelp in " + m_dir.path() + "/");

        // Started fine: nothing to say.
        m_control->startError.clear();
        mnuRunRemoteSupport(*w)->trigger();
        QCOMPARE(notices().size(), 1);
        QCOMPARE(m_control->log.count("windows"), 2);
    }

    void armedUpgradeClosesAndStartsTheScript()
    {
        auto w = window();
        w->show();
        w->tmrChatTimer();
        QVERIFY(w->isVisible()); // nothing armed yet

        // The dialog shows the gauge, and a finished upgrade closes it.
        w->openProperties();
        QPointer<TfrmChatProp> dialog = w->properties();
        emit w->services().upgrade()->gaugeChanged(true, 30, 30);
        QCOMPARE(dialog->gagDownload->value(), 30);
        QCOMPARE(dialog->gagDownload->maximum(), 30);
        const QString script = m_dir.path() + "/hchat.sh";
        emit w->services().upgrade()->replaceOnExit(script);
        QTRY_VERIFY(!dialog);
        QCOMPARE(w->replaceScript(), script);
        QVERIFY(m_control->log.isEmpty());
        w->tmrChatTimer();
        QVERIFY(!w->isVisible());
        // The settings are saved before the script is started.
        QVERIFY(QFile::exists(m_dir.path() + "/ChatLog/Halvex.ini"));
        const QStringList expected =
            QStringList{"start", "/bin/sh", script, QString::number(QCoreApplication::applicationPid())} +
            QCoreApplication::arguments().mid(1) + QStringList{"in", QDir::currentPath()};
        QCOMPARE(m_control->log, QStringList{expected.join(u' ')});
    }

    void dialogOffersTheUpgradeAndClosingAborts()
    {
        hchat::test::LoopbackHttpServer site;
        site.serve("/cgi-bin/halvex.cgi?path=../files/", "file=hchat\nsize=1\nmtime=1800000000\n");
        site.hold("/files/hchat");
        auto w = window();
        w->services().catalogue.setLines(
            hchat::test::catalogueLines(568, {{0, site.url("/").toString()}, {476, ".sh"}, {567, "hchat"}}));
        w->show();
        w->openProperties();
        TfrmChatProp *dialog = w->properties();
        QVERIFY(dialog);
        QTRY_VERIFY_WITH_TIMEOUT(dialog->btnUpgrade->isVisible(), 10000);
        QCOMPARE(dialog->btnUpgrade->text(), "Upgrade to version Jan 15");
        QVERIFY(dialog->btnUpgrade->isEnabled());
        QVERIFY(!dialog->gagDownload->isVisible());

        dialog->btnUpgrade->click();
        QVERIFY(!dialog->btnUpgrade->isVisible());
        QVERIFY(dialog->gagDownload->isVisible());
        QTRY_COMPARE_WITH_TIMEOUT(site.requestLines.size(), 2, 10000);
        QVERIFY(w->services().upgrade()->isBusy());
        dialog->close();
        QVERIFY(!w->services().upgrade()->isBusy());
    }

    void okClosesTheDialog()
    {
        auto w = window();
        w->show();
        w->openProperties();
        QPointer<TfrmChatProp> dialog = w->properties();
        dialog->btnOK->click();
        QTRY_VERIFY(!dialog);
        w->openProperties();
        dialog = w->properties();
        QTest::keyClick(dialog, Qt::Key_Escape);
        QTRY_VERIFY(!dialog);
    }

    void closingWithoutUpgradeStartsNothing()
    {
        auto w = window();
        w->show();
        w->close();
        QVERIFY(m_control->log.isEmpty());
    }
};

QTEST_MAIN(TestTfrmChatLaunchers)
#include "tst_tfrmchatlaunchers.moc"
