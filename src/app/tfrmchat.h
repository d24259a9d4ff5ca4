#pragma once

#include "app/startoptions.h"
#include "chat/chatsession.h"

#include <QMainWindow>
#include <QPointer>

class QAction;
class QLabel;
class QMenu;
class QSplitter;
class QTextEdit;
class QTimer;

namespace hchat {

class ChatServices;
class TfrmChatProp;
class EntryBox;
class IniConfig;
class MemberButtons;
class RoomBar;
class RosterPanel;
class SealBadge;
class TranscriptEdit;
class WebBar;

/// The chat window. It shows the session's state and forwards what the user
/// does to it; protocol handling and rules live in the chat layer.
class TfrmChat : public QMainWindow
{
    Q_OBJECT
public:
    /// screenBias: the system time-zone bias in minutes, injectable for tests.
    explicit TfrmChat(const StartOptions &options, int zoneBias, QWidget *parent = nullptr);
    ~TfrmChat() override;

    ChatSession &session() { return m_session; }
    ChatServices &services() { return *m_services; }

    /// One 500 ms tick of `tmrChat`.
    void tmrChatTimer();
    /// Saves settings and stored lists, leaves the room; run once on close.
    void FormClose();
    /// False when the settings could not be read whole at start, or the
    /// settings or lists could not be saved: the user was told, and the
    /// program's exit status says so.
    bool allSaved() const { return !m_saveFailed; }
    /// Shows or hides panes from the view settings. Pane sizes are the user's:
    /// the saved ones apply once, when the window is first shown.
    void applyLayout();
    /// Applies background, font size, bold and colour to the transcripts.
    void applyFont();
    /// The properties command: opens the settings dialog, or brings the open
    /// one forward.
    void openProperties();
    /// The settings dialog while it is open, else null.
    TfrmChatProp *properties() const;
    /// The first (memRich) or second transcript.
    TranscriptEdit *transcript(bool second) const;
    /// Opens a clicked address: in the web pane while it is shown, else in
    /// the desktop's browser.
    void openLink(const QString &url);
    /// Opens an address in the web pane, showing the pane first.
    void showInWebPane(const QString &url);

    /// The replace-on-exit flag: set once an upgrade has put the new program
    /// and its script in place; the timer then closes the window, which
    /// starts the script last.
    QString replaceScript() const { return m_replaceScript; }

    /// Asks the user for a nick (caption, prompt, default answer); empty when
    /// cancelled. An input box unless replaced (tests).
    std::function<QString(const QString &, const QString &, const QString &)> askNick;
    /// Asks the desktop for the user's attention (the urgency hint);
    /// QApplication::alert unless replaced (tests).
    std::function<void()> requestAttention;
    /// Asks before a text of many lines is sent from the entry or a private
    /// message window (`asker`); a question box over it unless replaced
    /// (tests). True sends it.
    std::function<bool(int lines, QWidget *asker)> confirmLongText;

signals:
    /// The Properties command: the settings dialog opens here.
    void propertiesRequested();
    /// The Remote Support button and menu command.
    void remoteSupportRequested();

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    // Widgets under their own names (tests find them by these).
    QTextEdit *memRich = nullptr;
    QTextEdit *memRich2 = nullptr;
    QWidget *pnlRoom1 = nullptr; ///< memRich under its room's heading
    QWidget *pnlRoom2 = nullptr; ///< memRich2 under its room's heading
    QLabel *lblRoom1 = nullptr;
    QLabel *lblRoom2 = nullptr;
    QWidget *pnlWeb = nullptr;
    WebBar *webBar = nullptr; ///< the room's caption and the address box, atop pnlWeb
    QWidget *pnlRight = nullptr;
    QSplitter *splMain = nullptr; ///< web pane against the chat area
    QSplitter *splChat = nullptr; ///< first room | second room | members
    RosterPanel *rosterPanel = nullptr;
    MemberButtons *memberButtons = nullptr; ///< under the members list
    QLabel *lblCaption = nullptr;
    RoomBar *roomBar = nullptr; ///< over the entry
    EntryBox *memText = nullptr;
    QLabel *lblStatus = nullptr;    ///< the link's state, under the transcripts
    SealBadge *sealBadge = nullptr; ///< beside it: encrypted or not
    QTimer *tmrChat = nullptr;

    QMenu *mnuPUChat = nullptr;
    QAction *mnuProperties = nullptr;

    void FormCreate();
    void buildWidgets();
    void buildMenus();
    /// The menu's toggle of a setting; null when it has none.
    QAction *toggle(bool ChatSettings::*setting) const;
    std::vector<std::pair<QAction *, bool ChatSettings::*>> m_toggles;
    void applyWindowStyle();
    void backToEntry();
    // Window place, pane sizes and headings (tfrmchatlayout.cpp).
    void placeWindow();
    void keepWindowGeometry();
    void applyPaneSizes();
    void keepPaneSizes();
    /// Until the first page the web pane is only its bar.
    void applyWebSlim();
    bool m_webShown = false;
    void updateRoomHeadings();
    bool m_paneSizesApplied = false;
    // Rooms, member commands and private messages (tfrmchatwiring.cpp).
    void wireChatCommands();

    // Reading aids and attention (tfrmchatreader.cpp).
    void wireReader();
    void updateStatusLine();

    void checkNick();
    /// The server typed at the first start: the chosen endpoint's address.
    void useServer(const QString &hostPort, const QString &key);
    void saveSettings();
    bool m_nickChecked = false;
    bool m_askingNick = false;
    void wireServices();

    ChatSession m_session;
    QPointer<TfrmChatProp> m_prop;
    StartOptions m_options;
    std::unique_ptr<IniConfig> m_config;
    // After the session: goes first, so the link never outlives its socket.
    std::unique_ptr<ChatServices> m_services;
    void reportFileProblem(const QString &text);
    bool m_closed = false;
    bool m_saveFailed = false;
    QString m_replaceScript;
};

} // namespace hchat
