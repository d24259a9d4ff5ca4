// TfrmChat's start-up wiring of the services behind the window: catalogue,
// socket, transcripts, logs, speech and the web pane.
#include "app/chatservices.h"
#include "app/debuglog.h"
#include "app/entrybox.h"
#include "app/firststartdialog.h"
#include "app/iniconfig.h"
#include "app/memberbuttons.h"
#include "app/memberkey.h"
#include "app/roombar.h"
#include "app/rosterpanel.h"
#include "app/tfrmchat.h"
#include "app/webbar.h"
#include "chat/sealedlink.h"
#include "platform/webviewerhost.h"
#include "transcript/chatlogger.h"
#include "transcript/groom.h"
#include "transcript/transcriptsink.h"
#include "upgrade/upgrade.h"

#include <QFileInfo>
#include <QMessageBox>
#include <QUrl>

namespace hchat {

void TfrmChat::wireServices()
{
    m_services =
        std::make_unique<ChatServices>(m_session, memRich, memRich2, pnlWeb, m_options.pluginFolder, this);
    if (!askNick) {
        askNick = [this](const QString &caption, const QString &prompt, const QString &answer) {
            // At the first start the server is asked for with the nick: the
            // user was told both, and the default serves nobody.
            FirstStartDialog ask(caption, prompt, answer, m_askingNick,
                                 m_session.connection().endpoint().toString(), this);
            if (ask.exec() != QDialog::Accepted)
                return QString();
            if (!ask.server().isEmpty())
                useServer(ask.server(), ask.serverKey());
            return ask.nick();
        };
    }

    // 4: the catalogue (once the settings are read: the download needs the
    // web base and proxy), 14: then the stored lists.
    m_services->loadCatalogue([this] {
        webBar->setFavourites(m_session.favourites());
        applyLayout();
    });

    // 7: the socket and the link.
    const QString complaint = m_services->openLink(m_options, QFileInfo(m_config->iniPath()).absolutePath() +
                                                                  u'/' + MemberKey::fileName());
    if (!complaint.isEmpty())
        m_session.sink()->ShowMessage(complaint, false, true);
    // A key learned at the first contact is kept even if the program is killed.
    m_services->seal()->keysChanged = [this] { saveSettings(); };

    // 12: the logs' opening line.
    if (m_session.settings().autoLog)
        m_services->log()->LogOpened();

    // 15: the speech voice.
    m_services->startSpeech([](const QString &line) { DebugLog::note(line); });

    // The upgrade for the settings dialog: a finished one arms the
    // replacement, which the timer and the closing window carry out.
    m_services->prepareUpgrade(m_options);
    connect(m_services->upgrade(), &Upgrade::replaceOnExit, this,
            [this](const QString &script) { m_replaceScript = script; });
    connect(this, &TfrmChat::remoteSupportRequested, this, [this] { m_services->runRemoteSupport(); });

    // The slim web pane opens to its saved size at the first page shown; a
    // page let go of after a long idle leaves the pane its bar again.
    for (const bool shown : {true, false}) {
        connect(m_services->web(), shown ? &WebViewerHost::viewShown : &WebViewerHost::viewHidden, this,
                [this, shown] {
                    if (!shown)
                        keepPaneSizes();
                    m_webShown = shown;
                    applyWebSlim();
                    if (m_paneSizesApplied)
                        applyPaneSizes();
                });
    }
    // The address box opens what is typed as a clicked link would be opened.
    connect(webBar, &WebBar::addressEntered, this, [this](const QString &typed) {
        const QUrl url = QUrl::fromUserInput(typed);
        if (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https"))
            openLink(url.toString());
    });

    // The room's web button, and the members pane's commands.
    connect(roomBar, &RoomBar::webRequested, this, &TfrmChat::showInWebPane);
    connect(this, &TfrmChat::propertiesRequested, this, &TfrmChat::openProperties);
    using C = MemberCommands::Command;
    for (auto [request, command] : {std::pair{&RosterPanel::pageRequested, C::Page},
                                    std::pair{&RosterPanel::ignoreRequested, C::Ignore}})
        connect(rosterPanel, request, this, [this, command](const QString &nick, const QString &id) {
            m_session.memberCommands().run(command, {nick, id});
        });
    connect(rosterPanel, &RosterPanel::bootRequested, this, [this](const QString &nick, const QString &id) {
        if (QMessageBox::question(this, tr("Boot"), tr("Boot %1 from the room?").arg(nick)) ==
            QMessageBox::Yes)
            m_session.memberCommands().run(C::Boot, {nick, id});
    });
    connect(rosterPanel, &RosterPanel::focusTextRequested, this, [this] { memText->setFocus(); });
    connect(rosterPanel, &RosterPanel::memberButtonsVisible, memberButtons, &MemberButtons::showButtons);
    connect(rosterPanel, &RosterPanel::saveReportFailed, this, [this](const QString &path) {
        m_session.sink()->ShowMessage(tr("Could not write %1").arg(path), false, true);
    });
}

void TfrmChat::checkNick()
{
    // A nick is needed before anything can be sent; reserved or damaged
    // nicks are cleaned the same way the settings dialog cleans them.
    GroomNickInput in;
    in.staffMode = m_session.staffMode();
    in.storedName = m_session.settings().registeredName;
    in.registeredName = m_session.settings().registeredName;
    in.text = [this](int n) { return m_session.text(n); };
    bool typed = false;
    in.ask = [this, &typed](const QString &caption, const QString &prompt, const QString &answer) {
        if (!isVisible())
            return QString();
        m_askingNick = true;
        const QString nick = askNick(caption, prompt, answer);
        m_askingNick = false;
        typed = true;
        return nick;
    };
    const QString nick = ChatSession::fitNick(GroomNick(m_session.settings().nick, in));
    if (nick != m_session.settings().nick) {
        m_session.setNick(nick);
        // A typed nick is offered again next time. A given one (the guest or
        // staff name) is not: the registered name decides it again.
        if (typed && !nick.isEmpty())
            m_session.set(&ChatSettings::registeredName, nick);
        m_session.connection().reinitialise(); // announce under the new nick
    }
    if (m_session.settings().nick.isEmpty())
        m_session.sink()->ShowMessage(tr("No nick yet: click Properties to choose one and join the chat."),
                                      false, true);
    else if (typed)
        saveSettings(); // the first start's answers are kept even if the program is killed
}

void TfrmChat::useServer(const QString &hostPort, const QString &key)
{
    // Unchanged (`--server`'s included, which is for its run only): only a
    // pasted key is news. A new address forgets the old one's key.
    const int choice = m_session.settings().serverChoice;
    if (hostPort != m_session.connection().endpoint().toString() &&
        m_session.settings().servers[choice] != hostPort) {
        m_session.setServer(choice, hostPort);
        m_session.connection().selectServer(choice);
    }
    if (!key.isEmpty())
        m_services->seal()->acceptServerKey(key);
}

void TfrmChat::saveSettings()
{
    QString error;
    if (!m_config->WriteIniFile(m_session.settings(), &error))
        reportFileProblem(QStringLiteral("Settings not saved: ") + error);
}

} // namespace hchat
