#include "app/chatservices.h"

#include "app/iniconfig.h"
#include "app/memberkey.h"
#include "catalogue/dateformat.h"
#include "chat/chatsession.h"
#include "chat/sealedlink.h"
#include "platform/httpfetcher.h"
#include "platform/mediasoundplayer.h"
#include "platform/speechworker.h"
#include "platform/systemprocesscontrol.h"
#include "platform/texteditview.h"
#include "platform/udptransport.h"
#include "platform/webviewerhost.h"
#include "protocol/field.h"
#include "remote/remotesupport.h"
#include "transcript/chatlogger.h"
#include "transcript/transcriptcontext.h"
#include "transcript/transcriptrenderer.h"
#include "upgrade/upgrade.h"
#include "upgrade/upgradescript.h"
#include "upgrade/versiondate.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <QStandardPaths>

namespace hchat {

ChatServices::ChatServices(ChatSession &session, QTextEdit *memRich, QTextEdit *memRich2, QWidget *pnlWeb,
                           const QString &pluginFolder, QObject *parent)
    : QObject(parent), m_session(session), m_fetcher(std::make_unique<HttpFetcher>()),
      m_loader(std::make_unique<CatalogueLoader>(&catalogue, m_fetcher.get())),
      m_udp(std::make_unique<UdpTransport>()), m_richView(std::make_unique<TextEditView>(memRich)),
      m_rich2View(std::make_unique<TextEditView>(memRich2)), m_sound(std::make_unique<MediaSoundPlayer>()),
      m_web(std::make_unique<WebViewerHost>(pnlWeb, pluginFolder)),
      m_log(std::make_unique<ChatLogger>(session.logFolder(), [&session] { return session.now(); })),
      m_processes(std::make_unique<SystemProcessControl>())
{
    m_session.setCatalogue(&catalogue);
    catalogue.setProgramFolder(session.programFolder());
    m_log->firstRoom = [this] { return m_session.settings().room; };
    m_log->secondRoom = [this] { return m_session.settings().watchedRoom(); };

    const ChatSettings &s = m_session.settings();
    TranscriptContext c;
    c.showTimeStamps = [&s] { return s.showTime; };
    c.lineScrolling = [&s] { return s.scroll; };
    c.fontSize = [&s] { return s.fontSize; };
    c.autoLog = [&s] { return s.autoLog; };
    c.showLinks = [&s] { return s.showLinks; };
    c.voiceRead = [&s] { return s.voiceRead; };
    c.keywordSound = [&s] { return s.keywordSound; };
    c.linkSound = [&s] { return s.linkSound; };
    c.staffMode = [this] { return m_session.staffMode(); };
    c.quietCounter = [this] { return m_session.quietPeriod(); };
    c.keywords = [this] { return m_session.keywords(); };
    c.roomHosts = [this] {
        return m_session.rooms().RoomField(GetIndex(m_session.settings().room), Field::Roots);
    };
    c.receiveBacklog = [this] { return int(m_session.connection().link().unparsedInbound()); };
    c.programFolder = [this] { return m_session.programFolder(); };
    c.ownNick = [&s] { return s.nick; };
    c.highlightNick = [&s] { return s.highlightNick; };
    c.lineShown = [this](const ShownLine &line) { m_session.attention().lineShown(line); };
    c.text = [this](int n) { return m_session.text(n); };
    c.now = [this] { return m_session.now(); };
    c.speaker = nullptr; // set once the voice exists
    c.sound = m_sound.get();
    c.web = m_web.get();
    c.log = m_log.get();
    m_renderer = std::make_unique<TranscriptRenderer>(m_richView.get(), m_rich2View.get(), c);
    m_session.setSink(m_renderer.get());
    m_session.privateMessages().pmAutoLog = [this](const QString &line) { m_log->PMAutoLog(line); };
}

ChatServices::~ChatServices()
{
    // The link must not outlive its socket, nor the session its renderer.
    close();
    m_upgrade.reset();
    m_session.setSink(nullptr);
    m_session.setCatalogue(nullptr);
}

void ChatServices::loadCatalogue(std::function<void()> ready)
{
    connect(m_loader.get(), &CatalogueLoader::notice, this,
            [this](const QString &text) { m_session.sink()->ShowMessage(text, false, true); });
    connect(m_loader.get(), &CatalogueLoader::loaded, this, [this, ready = std::move(ready)] {
        m_session.refreshStaffMode();
        m_session.set(&ChatSettings::web,
                      IniConfig::applyWebRule(m_session.settings().web, catalogue.Lookup(504)));
        // Help and the web button's pages ship with the program too.
        m_web->setLocalSite(catalogue.Lookup(0), m_session.installFolder() + QStringLiteral("web"));
        if (!m_lists.isLoaded()) {
            m_lists.load(catalogue, m_session);
            m_session.roomHandling().listLoaded();
        }
        if (ready)
            ready();
    });
    if (!m_session.standAlone())
        return; // the host program provides the texts
    const ChatSettings &s = m_session.settings();
    m_fetcher->setProxy(s.proxyHost, s.proxyPort, s.proxyUser, s.proxyPassword);
    m_loader->setProgramFolder(m_session.programFolder());
    m_loader->setInstallFolder(m_session.installFolder());
    m_loader->setWebBase(m_session.settings().webBase);
    m_loader->start();
}

QString ChatServices::openLink(const StartOptions &options, const QString &memberKeyPath)
{
    QString complaint;
    if (!options.serverOverride.isEmpty() &&
        !m_session.connection().setServerOverride(options.serverOverride))
        complaint = QStringLiteral("Not a server address: ") + options.serverOverride;
    const auto notice = [this](const QString &text) { m_session.sink()->ShowMessage(text, false, true); };
    // A name that can't be looked up would otherwise leave the user waiting
    // for a connection that never comes, without a word.
    connect(m_udp.get(), &UdpTransport::lookupFailed, this, [notice](const QString &host) {
        notice(QStringLiteral("The server %1 can't be found: not connected. Check the server address.")
                   .arg(host));
    });
    const MemberKey::Loaded member = MemberKey::load(memberKeyPath);
    if (member.replaced)
        m_session.set(&ChatSettings::memberId, QString()); // the old ID stays bound to the old key
    if (!member.notice.isEmpty())
        notice(member.notice);
    m_seal = m_session.makeSealedLink(*m_udp, member.pair);
    m_seal->notice = notice;
    m_session.connection().open(m_seal.get());
    // Lines of one datagram are laid out and painted once.
    auto deliver = m_seal->receiver;
    m_seal->receiver = [this, deliver](const QByteArray &datagram, const QString &host, quint16 port) {
        m_session.sink()->beginBatch();
        deliver(datagram, host, port);
        m_session.sink()->endBatch();
    };
    return complaint;
}

void ChatServices::startSpeech(std::function<void(const QString &)> debugLog)
{
    if (!m_session.standAlone() || m_speech)
        return;
    m_speech = std::make_unique<SpeechWorker>(debugLog, [this] { return m_session.now(); });
    if (m_speech->start())
        m_renderer->context().speaker = m_speech.get();
    // "Voice Read" that stays silent says why in the debug log, once a reason.
    connect(m_speech.get(), &SpeechWorker::speakingFailed, this,
            [debugLog, told = QSet<QString>()](const QString &reason, bool) mutable {
                if (debugLog && !told.contains(reason)) {
                    told.insert(reason);
                    debugLog(QStringLiteral("Speak Error  ") + reason);
                }
            });
}

bool ChatServices::close(QString *error)
{
    if (m_closed)
        return true;
    m_closed = true;
    m_session.connection().close();
    return m_lists.save(catalogue, m_session, error);
}

void ChatServices::setProcessControl(std::unique_ptr<ProcessControl> control)
{
    m_processes = std::move(control);
}

void ChatServices::prepareUpgrade(const StartOptions &options)
{
    const ChatSettings &s = m_session.settings();
    m_upgradeFetcher = std::make_unique<HttpFetcher>();
    m_upgradeFetcher->setProxy(s.proxyHost, s.proxyPort, s.proxyUser, s.proxyPassword);
    UpgradeContext c;
    c.fetcher = m_upgradeFetcher.get();
    c.text = [this](int n) { return catalogue.Lookup(n); };
    c.homeFolder = options.programFolder;
    // The program file is replaced where it runs from, whatever the layout.
    c.ownPath = QCoreApplication::applicationFilePath();
    c.programFolder = QFileInfo(c.ownPath).absolutePath();
    c.versionDate = programVersionDate();
    c.programFolderWritable = !options.packaged;
    c.publicKey = QByteArray::fromHex(HCHAT_UPDATE_PUBLIC_KEY);
    m_upgrade = std::make_unique<Upgrade>(std::move(c));
    connect(m_upgrade.get(), &Upgrade::notice, this,
            [this](const QString &line) { m_session.sink()->ShowMessage(line, false, true); });
    m_upgrade->reportRestored();
}

QString ChatServices::startReplacement(const QString &script)
{
    const QStringList arguments =
        UpgradeScript::arguments(QCoreApplication::applicationPid(), QCoreApplication::arguments().mid(1));
    // From our working folder, so that relative arguments mean what they meant.
#ifdef Q_OS_WIN
    return m_processes->startDetached(script, arguments, QDir::currentPath());
#else
    return m_processes->startDetached(QStringLiteral("/bin/sh"), QStringList{script} + arguments,
                                      QDir::currentPath());
#endif
}

void ChatServices::runRemoteSupport()
{
    // In the program folder, then the user's own folder (which needs no
    // administrator to fill), then beside the shipped data.
    const QString userFolder = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                               QStringLiteral("/halvex-chat");
    const QString folder =
        RemoteSupport::findHelper({m_session.programFolder(), userFolder, m_session.installFolder()});
    const QString notice = folder.isEmpty() ? RemoteSupport::notFoundNotice(userFolder)
                                            : RemoteSupport(*m_processes, folder).run();
    if (!notice.isEmpty())
        m_session.sink()->ShowMessage(notice, false, true);
}

} // namespace hchat
