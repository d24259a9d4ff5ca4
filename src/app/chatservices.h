#pragma once

#include "app/startoptions.h"
#include "catalogue/catalogue.h"
#include "catalogue/catalogueloader.h"
#include "chat/storedlists.h"

#include <QObject>

#include <memory>

class QTextEdit;
class QWidget;

namespace hchat {

class ChatLogger;
class ChatSession;
class HttpFetcher;
class MediaSoundPlayer;
class ProcessControl;
class SealedLink;
class SpeechWorker;
class TextEditView;
class TranscriptRenderer;
class UdpTransport;
class Upgrade;
class WebViewerHost;

/// Everything behind the chat window that is not a widget: the catalogue,
/// the stored lists, the socket, the transcript renderer and its sound,
/// speech, web viewer and logs, put together and handed to the session.
class ChatServices : public QObject
{
    Q_OBJECT
public:
    /// pluginFolder: where the web pane plugin is installed.
    ChatServices(ChatSession &session, QTextEdit *memRich, QTextEdit *memRich2, QWidget *pnlWeb,
                 const QString &pluginFolder, QObject *parent = nullptr);
    ~ChatServices() override;

    /// Loads the catalogue (stand-alone mode), then the stored lists.
    /// `ready` runs once the catalogue is there, maybe later than this call.
    void loadCatalogue(std::function<void()> ready);
    /// Opens the socket and the sealed link to the chosen (or overriding)
    /// server, with the member key kept at memberKeyPath (made there on the
    /// first start). Returns a complaint about `--server`, or the empty text.
    QString openLink(const StartOptions &options, const QString &memberKeyPath);
    /// The speech voice, in stand-alone mode.
    void startSpeech(std::function<void(const QString &)> debugLog);
    /// Leaves the room and saves the stored lists. False (with the reason)
    /// when a list could not be saved; its old file is kept then.
    bool close(QString *error = nullptr);

    /// The upgrade from the web site, for the settings dialog; made by
    /// prepareUpgrade(). Its notices go to the transcript.
    Upgrade *upgrade() const { return m_upgrade.get(); }
    void prepareUpgrade(const StartOptions &options);
    /// Starts the replacement script that the upgrade wrote, detached, with
    /// this process's id and arguments. Returns why it did not start, or the empty text.
    QString startReplacement(const QString &script);
    /// The Remote Support command; a failure to start our program shows one notice line.
    void runRemoteSupport();
    /// Windows, processes and services; tests put a fake here.
    void setProcessControl(std::unique_ptr<ProcessControl> control);

    Catalogue catalogue;
    TranscriptRenderer *renderer() const { return m_renderer.get(); }
    ChatLogger *log() const { return m_log.get(); }
    WebViewerHost *web() const { return m_web.get(); }
    /// The sealed link over the socket; null before openLink().
    SealedLink *seal() const { return m_seal.get(); }

private:
    ChatSession &m_session;
    std::unique_ptr<HttpFetcher> m_fetcher;
    std::unique_ptr<CatalogueLoader> m_loader;
    StoredLists m_lists;
    std::unique_ptr<UdpTransport> m_udp;
    std::unique_ptr<SealedLink> m_seal; // after the socket: it goes first
    std::unique_ptr<TextEditView> m_richView;
    std::unique_ptr<TextEditView> m_rich2View;
    std::unique_ptr<MediaSoundPlayer> m_sound;
    std::unique_ptr<SpeechWorker> m_speech;
    std::unique_ptr<WebViewerHost> m_web;
    std::unique_ptr<ChatLogger> m_log;
    std::unique_ptr<TranscriptRenderer> m_renderer;
    std::unique_ptr<ProcessControl> m_processes;
    std::unique_ptr<HttpFetcher> m_upgradeFetcher; // its own: the catalogue's download is not cut off
    std::unique_ptr<Upgrade> m_upgrade;
    bool m_closed = false;
};

} // namespace hchat
