#pragma once

#include "chat/chatsettings.h"
#include "settings/profileeditor.h"
#include "settings/roomeditor.h"

#include <QDialog>

#include <array>
#include <functional>

class QAction;
class QCheckBox;
class QComboBox;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QButtonGroup;
class QTabWidget;
class QTimer;

namespace hchat {

class ChatSession;

/// The settings dialog: "User Profile" (the user's own nick, icon, view
/// options, sounds, keywords, favourites, profile, font and zone) and "Chat
/// Room" (the current room's settings and bulletin, for its administrator
/// and staff). Modeless and on top; one at a time, freed on close. It edits
/// the session through the chat layer; what the window must do (view
/// commands, font, opening an address) it asks of the window.
class TfrmChatProp : public QDialog
{
    Q_OBJECT
public:
    /// The number of view check boxes, tags 0 to 12.
    static constexpr int ViewCount = 13;
    /// The window's own commands behind the view boxes, by tag, so that a box
    /// and its menu command stay one setting. A missing command (tags 10 and
    /// 11 have none) makes the box write the session's setting itself.
    struct ViewCommands {
        std::array<QAction *, ViewCount> byTag{};
        QAction *stayOnTop = nullptr; ///< applied when the dialog closes
    };

    TfrmChatProp(ChatSession &session, const ViewCommands &commands, QWidget *parent = nullptr);
    ~TfrmChatProp() override;

    /// Fills the dialog, asks for the room's bulletin and starts the update
    /// check (stand-alone only). Call once, after connecting the signals.
    void FormCreate();
    /// Applies and sends what was edited; runs once, when the dialog closes.
    void FormClose();

    // Seams to the desktop, replaced by tests.
    /// Opens an address (Help); the window's link opener.
    std::function<void(const QString &)> openAddress;
    /// The colour dialog: the chosen colour, or an invalid one on Cancel.
    std::function<QColor(const QColor &initial, const QString &title)> chooseColor;
    /// The file dialog for a sound: the chosen file, or empty on Cancel.
    std::function<QString(const QString &current)> chooseSound;
    /// "Erase Bulletin": true on OK.
    std::function<bool()> confirmErase;
    /// The key held for the server in use (base64, empty when none), and what
    /// takes a new one for it (empty: forget it; the next contact learns it).
    std::function<QString()> serverKey;
    std::function<void(const QString &)> setServerKey;
    /// Asks for a nick when the one typed cleans to nothing.
    std::function<QString(const QString &, const QString &, const QString &)> askNick;

    /// The setting a view box's command changes, by tag.
    static bool ChatSettings::*viewSetting(int tag);
    /// The view check box with a tag.
    QCheckBox *viewBox(int tag) const { return m_view[tag]; }
    /// The sound boxes' browse and play buttons, in ProfileEditor::Sound order.
    QPushButton *soundBrowse(int sound) const { return m_soundBrowse[sound]; }
    QPushButton *soundTest(int sound) const { return m_soundTest[sound]; }

    QTabWidget *tabUser = nullptr;
    QWidget *tabChat = nullptr;
    QWidget *tab2 = nullptr;
    QPushButton *btnOK = nullptr;
    QPushButton *btnCancel = nullptr; ///< puts back what applied at once, sends nothing
    QPushButton *btnHelp = nullptr;

    // User Profile.
    QLineEdit *edtNick = nullptr;
    QComboBox *cmbIconUser = nullptr;
    QLineEdit *edtServer = nullptr;    ///< host[:port] of the chat server in use
    QLineEdit *edtServerKey = nullptr; ///< its public key, pasted or learned
    QLineEdit *edtPage = nullptr;
    QLineEdit *edtPM = nullptr;
    QLineEdit *edtLink = nullptr;
    QLineEdit *edtKey = nullptr;
    QPlainTextEdit *memKeyword = nullptr;
    QComboBox *cmbWeb = nullptr;
    QPushButton *btnWeb = nullptr;
    QLineEdit *edtURL = nullptr;
    QPlainTextEdit *memProfile = nullptr;
    QPushButton *pnlText = nullptr;
    QPushButton *pnlBackground = nullptr;
    QButtonGroup *grpSize = nullptr;
    QCheckBox *chkBold = nullptr;
    QComboBox *cmbZone = nullptr;
    QCheckBox *chkStayOnTop = nullptr;
    /// The upgrade's download gauge and button, hidden until the update check shows them.
    QProgressBar *gagDownload = nullptr;
    QPushButton *btnUpgrade = nullptr;

    // Chat Room.
    QLineEdit *edtName = nullptr;
    QLineEdit *edtSetup = nullptr;
    QLineEdit *edtAccess = nullptr;
    QComboBox *cmbIcon = nullptr;
    QLabel *lblServer = nullptr;
    QComboBox *cmbServer = nullptr;
    QLineEdit *edtCaption = nullptr;
    QLineEdit *edtWeb = nullptr;
    QPlainTextEdit *memWelcome = nullptr;
    QPlainTextEdit *memAccess = nullptr;
    QComboBox *cmbURLroot = nullptr;
    QPushButton *btnDelete = nullptr;
    QComboBox *cmbBoot = nullptr;
    QPushButton *btnBoot = nullptr;
    QLineEdit *edtAdmin = nullptr;
    QLabel *lblBulletin = nullptr;
    QPlainTextEdit *memBulletin = nullptr;
    QLabel *lblCount = nullptr;
    QPushButton *btnReset = nullptr;
    QLabel *lblUnlock = nullptr; ///< what the administrator password box is waiting for

signals:
    /// Font size, bold or a colour changed: the window applies them now.
    void appearanceChanged();
    /// Opening step 6 (stand-alone program): the update check may start.
    void updateCheckRequested();
    /// The dialog closes: a download under way may be aborted.
    void downloadAbortRequested();
    /// Everything edited is applied and sent: the window may show it.
    void closed();

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

public slots:
    void reject() override;

private:
    QWidget *buildUserTab();
    QWidget *buildNotifyGroup();
    QWidget *buildFontGroup();
    QWidget *buildRoomTab();
    /// An editable list without insertion, and its Delete button.
    QHBoxLayout *listRow(QWidget *tab, QComboBox *&box, const char *name, QPushButton *&del,
                         const char *delName);
    void wireRoomTab();

    // User Profile handlers.
    void btnCancelClick();
    void applyServer();
    void leaving(QObject *box);
    void viewBoxClick(int tag, bool checked);
    void pnlBackgroundClick(int tag);
    void paintPanels();
    void edtURLChange();
    void tabUserChange();
    void browseSound(int sound);
    ProfileEditor::Values profileValues() const;

    // Chat Room handlers.
    void fillRoomTab();
    void showRoomFields();
    void applyRoomState();
    void edtSetupChange();
    void edtAccessChange();
    static QStringList items(const QComboBox *box);
    void addListText(QComboBox *box);
    void deleteListItem(QComboBox *box);
    void memBulletinChange();
    void memBulletinDblClick();
    void btnResetClick();
    void bulletinArrived(int room, const QString &text);
    RoomEditor::Fields roomFields() const;

    ChatSession &m_session;
    ViewCommands m_commands;
    ProfileEditor m_profile;
    RoomEditor m_room;
    std::array<QCheckBox *, ViewCount> m_view{};
    std::array<QLineEdit *, ProfileEditor::SoundCount> m_soundBoxes{};
    std::array<QPushButton *, ProfileEditor::SoundCount> m_soundBrowse{};
    std::array<QPushButton *, ProfileEditor::SoundCount> m_soundTest{};
    std::array<bool, ProfileEditor::SoundCount> m_soundEdited{};
    ChatSettings m_before; ///< as opened: what Cancel puts back
    QString m_openedServer;
    QString m_openedServerKey;
    QTimer *m_setupPause = nullptr;
    bool m_loading = false;
    bool m_profileChanged = false;
    bool m_created = false;
    bool m_closed = false;
};

} // namespace hchat
