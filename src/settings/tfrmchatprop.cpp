// TfrmChatProp: the dialog itself, its opening and closing. The tabs are in
// tfrmchatpropuser.cpp ("User Profile") and tfrmchatproproom.cpp ("Chat Room").
#include "settings/tfrmchatprop.h"

#include "catalogue/cataloguetext.h"
#include "catalogue/dateformat.h"
#include "chat/chatsession.h"
#include "chat/serverkeys.h"
#include "protocol/serverendpoint.h"
#include "settings/widgettools.h"
#include "transcript/transcriptsink.h"
#include "upgrade/versiondate.h"

#include <QAbstractButton>
#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QColorDialog>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace hchat {

TfrmChatProp::TfrmChatProp(ChatSession &session, const ViewCommands &commands, QWidget *parent)
    : QDialog(parent), m_session(session), m_commands(commands), m_profile(session), m_room(session)
{
    setObjectName(QStringLiteral("frmChatProp"));
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);
    setWindowFlag(Qt::WindowStaysOnTopHint);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    chooseColor = [this](const QColor &initial, const QString &title) {
        return QColorDialog::getColor(initial, this, title);
    };
    chooseSound = [this](const QString &current) {
        return QFileDialog::getOpenFileName(
            this, tr("Choose a Sound"), QFileInfo(current).absolutePath(),
            tr("Sounds (*.wav *.mp3 *.ogg *.oga *.flac *.m4a *.aac *.opus *.mid);;All files (*)"));
    };
    confirmErase = [this] {
        return QMessageBox::question(this, QStringLiteral("Erase Bulletin"),
                                     QStringLiteral("Are you sure?\n\nClick OK to erase the bulletin!"),
                                     QMessageBox::Ok | QMessageBox::Cancel) == QMessageBox::Ok;
    };

    auto *outer = new QVBoxLayout(this);
    tabUser = named<QTabWidget>("tabUser", this);
    tabChat = buildUserTab();
    tab2 = buildRoomTab();
    tabUser->addTab(tabChat, QStringLiteral("User Profile"));
    tabUser->addTab(tab2, QStringLiteral("Chat Room"));
    outer->addWidget(tabUser, 1);

    auto *buttons = new QHBoxLayout;
    btnHelp = named<QPushButton>("btnHelp", QStringLiteral("&Help"), this);
    btnHelp->setToolTip(QStringLiteral("Web Help"));
    btnOK = named<QPushButton>("btnOK", QStringLiteral("OK"), this);
    btnOK->setToolTip(QStringLiteral("Close Window"));
    btnOK->setDefault(true);
    btnCancel = named<QPushButton>("btnCancel", QStringLiteral("Cancel"), this);
    btnCancel->setToolTip(QStringLiteral("Put back colours, font and view options; send nothing"));
    buttons->addWidget(btnHelp);
    buttons->addStretch(1);
    buttons->addWidget(btnOK);
    buttons->addWidget(btnCancel);
    outer->addLayout(buttons);

    connect(btnOK, &QPushButton::clicked, this, &QWidget::close);
    connect(btnCancel, &QPushButton::clicked, this, &TfrmChatProp::btnCancelClick);
    connect(btnHelp, &QPushButton::clicked, this, [this] {
        if (openAddress)
            openAddress(m_session.text(CatalogueText::HelpBase) + QStringLiteral("chat"));
    });
    connect(tabUser, &QTabWidget::currentChanged, this, &TfrmChatProp::tabUserChange);
    wireRoomTab();

    // Enter in a one-line field moves on rather than closing the dialog.
    for (QLineEdit *e : findChildren<QLineEdit *>())
        e->installEventFilter(this);
    for (QComboBox *c : findChildren<QComboBox *>())
        c->installEventFilter(this);
}

TfrmChatProp::~TfrmChatProp()
{
    FormClose();
}

void TfrmChatProp::FormCreate()
{
    if (m_created)
        return;
    m_created = true;
    const ChatSettings &s = m_session.settings();
    // 1
    m_loading = true;
    setWindowTitle(QStringLiteral("Chat Properties             HChat version ") +
                   FormatDateTime(QStringLiteral("mm-dd-yy"), QDateTime(programVersionDate(), QTime(0, 0))));
    const ProfileEditor::Values opened = m_profile.fill();
    m_before = s;
    edtNick->setText(opened.nick);
    m_openedServer = m_session.connection().endpoint().toString();
    edtServer->setText(m_openedServer);
    m_openedServerKey = serverKey ? serverKey() : QString();
    edtServerKey->setText(m_openedServerKey);
    for (int i = 0; i < ProfileEditor::SoundCount; ++i)
        m_soundBoxes[i]->setText(opened.sounds[i]);
    edtURL->setText(opened.url);
    paintPanels();
    btnReset->setVisible(m_session.staffMode());
    chkStayOnTop->setChecked(s.stayOnTop);
    // 2
    cmbWeb->addItems(opened.favourites);
    cmbWeb->setCurrentIndex(-1);
    cmbWeb->setEditText(QString());
    memProfile->setPlainText(opened.profile);
    // 3
    for (int tag = 0; tag < ViewCount; ++tag) {
        const QAction *a = m_commands.byTag[tag];
        m_view[tag]->setChecked(a ? a->isChecked() : s.*viewSetting(tag));
    }
    memKeyword->setPlainText(opened.keywords);
    tabUserChange();
    cmbZone->setCurrentIndex(opened.zone);
    chkBold->setChecked(s.fontBold);
    grpSize->button(ProfileEditor::sizeItem(s.fontSize))->setChecked(true);
    // 4
    m_profileChanged = false;
    fillRoomTab();
    // 5
    m_session.setSettingsDialogOpen(true);
    m_session.roomHandling().requestBulletin(m_room.room());
    // 6
    if (m_session.standAlone())
        emit updateCheckRequested();
    // 7
    m_loading = false;
}

void TfrmChatProp::FormClose()
{
    if (!m_created || m_closed)
        return;
    m_closed = true;
    m_setupPause->stop();
    emit downloadAbortRequested();
    addListText(cmbWeb); // a URL still being typed counts
    // Profile steps 1 to 5, then the room's.
    m_profile.close(profileValues(), m_profileChanged, askNick);
    for (int tag : {10, 11})
        m_session.set(viewSetting(tag), m_view[tag]->isChecked());
    m_room.close(roomFields(), memBulletin->toPlainText());
    // 7: the window's style, through its own command.
    m_session.set(&ChatSettings::stayOnTop, chkStayOnTop->isChecked());
    if (QAction *top = m_commands.stayOnTop; top && top->isChecked() != chkStayOnTop->isChecked())
        top->trigger();
    applyServer();
    m_session.setSettingsDialogOpen(false); // the status line shows the server chosen
    emit closed();
}

void TfrmChatProp::applyServer()
{
    const auto notice = [this](const QString &text) { m_session.sink()->ShowMessage(text, false, true); };
    const QString typed = edtServer->text().trimmed();
    if (typed != m_openedServer) {
        if (!ServerEndpoint::parse(typed).isValid()) {
            // A key pasted with it was meant for the server not taken.
            notice(QStringLiteral("Not a server address: %1; staying with %2").arg(typed, m_openedServer));
            return;
        }
        // The chosen endpoint's address: leaving the old server and announcing
        // to the new one is the connection's. The old address's key is not
        // the new one's.
        const int choice = m_session.settings().serverChoice;
        m_session.setServer(choice, typed);
        m_session.connection().selectServer(choice);
    }
    const QString key = edtServerKey->text().trimmed();
    if (key == m_openedServerKey || !setServerKey)
        return;
    if (const QString problem = ServerKeys::problem(key); !problem.isEmpty())
        notice(problem + QStringLiteral(" The server key stays as it was."));
    else
        setServerKey(key);
}

void TfrmChatProp::btnCancelClick()
{
    if (!m_created || m_closed) {
        close();
        return;
    }
    m_closed = true;
    m_setupPause->stop();
    emit downloadAbortRequested();
    // What applied at once goes back; the rest was never applied or sent.
    for (int tag = 0; tag < ViewCount; ++tag) {
        bool ChatSettings::*setting = viewSetting(tag);
        if (QAction *a = m_commands.byTag[tag]; a && a->isChecked() != m_before.*setting)
            a->trigger();
        m_session.set(setting, m_before.*setting);
    }
    m_session.editSettings([this](ChatSettings &s) {
        s.fontColor = m_before.fontColor;
        s.formColor = m_before.formColor;
        s.fontSize = m_before.fontSize;
        s.fontBold = m_before.fontBold;
    });
    m_session.setSettingsDialogOpen(false);
    emit appearanceChanged();
    emit closed();
    close();
}

void TfrmChatProp::closeEvent(QCloseEvent *event)
{
    FormClose();
    // Not QDialog's own: it would call reject(), whose close() is refused
    // while this one runs, and then ignore the event, leaving us open.
    event->accept();
}

void TfrmChatProp::reject()
{
    // Escape closes the way OK does: the dialog applies as it goes.
    close();
}

bool TfrmChatProp::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
            key->modifiers() == Qt::NoModifier) {
            // Enter moves to the next control and goes no further; it
            // counts as leaving the box.
            leaving(watched);
            focusNextChild();
            return true;
        }
    }
    if (event->type() == QEvent::FocusOut)
        leaving(watched);
    if (watched == memBulletin->viewport() && event->type() == QEvent::MouseButtonDblClick) {
        memBulletinDblClick();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void TfrmChatProp::leaving(QObject *box)
{
    // An editable combo box takes the focus for its line edit.
    for (QComboBox *list : {cmbWeb, cmbURLroot})
        if (box == list || box == list->lineEdit())
            addListText(list);
    if (box == edtSetup)
        m_room.askServer(edtSetup->text());
}

} // namespace hchat
