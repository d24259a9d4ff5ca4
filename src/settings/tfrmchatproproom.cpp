// TfrmChatProp's "Chat Room" tab: the current room's settings record and
// its bulletin. The rules (unlocking, what is sent) are RoomEditor's.
#include "settings/tfrmchatprop.h"

#include "chat/chatsession.h"
#include "settings/widgettools.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QTimer>
#include <QVBoxLayout>

#include <utility>

namespace hchat {

namespace {

// How long the administrator password box waits after the last keystroke
// before it asks the server.
constexpr int kSetupPauseMs = 800;

QString crlfLength(const QString &text)
{
    qsizetype n = text.size() + text.count(u'\n'); // line breaks count as CR LF
    return QString::number(n) + QStringLiteral(" characters");
}

} // namespace

QStringList TfrmChatProp::items(const QComboBox *box)
{
    QStringList out;
    for (int i = 0; i < box->count(); ++i)
        out << box->itemText(i);
    return out;
}

QHBoxLayout *TfrmChatProp::listRow(QWidget *tab, QComboBox *&box, const char *name, QPushButton *&del,
                                   const char *delName)
{
    auto *row = new QHBoxLayout;
    box = named<QComboBox>(name, tab);
    box->setEditable(true);
    box->setInsertPolicy(QComboBox::NoInsert);
    del = named<QPushButton>(delName, QStringLiteral("Delete"), tab);
    row->addWidget(box, 1);
    row->addWidget(del);
    return row;
}

QWidget *TfrmChatProp::buildRoomTab()
{
    auto *tab = named<QWidget>("tab2", this);
    auto *grid = new QGridLayout(tab);
    const auto line = [tab](QLineEdit *&e, const char *name) { return e = named<QLineEdit>(name, tab); };
    const auto memo = [tab](QPlainTextEdit *&m, const char *name) {
        m = named<QPlainTextEdit>(name, tab);
        m->setTabChangesFocus(true);
        return m;
    };

    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("Room Name"), line(edtName, "edtName"));
    form->addRow(QStringLiteral("Administrator Password"), line(edtSetup, "edtSetup"));
    edtSetup->setEchoMode(QLineEdit::PasswordEchoOnEdit);
    lblUnlock = named<QLabel>("lblUnlock", tab);
    lblUnlock->setWordWrap(true);
    form->addRow(QString(), lblUnlock);
    form->addRow(QStringLiteral("Access Password"), line(edtAccess, "edtAccess"));
    cmbIcon = named<QComboBox>("cmbIcon", tab);
    form->addRow(QStringLiteral("Room Icon"), cmbIcon);
    lblServer = named<QLabel>("lblServer", QStringLiteral("Chat Server Selection"), tab);
    cmbServer = named<QComboBox>("cmbServer", tab);
    cmbServer->addItems({QStringLiteral("Same as Support Room"), QStringLiteral("Halvex Server #1"),
                         QStringLiteral("Halvex Server #2")});
    form->addRow(lblServer, cmbServer);
    lblServer->setVisible(false);
    cmbServer->setVisible(false);
    cmbServer->setEnabled(false);
    form->addRow(QStringLiteral("Caption Line Text"), line(edtCaption, "edtCaption"));
    form->addRow(QStringLiteral("Web Button URL"), line(edtWeb, "edtWeb"));
    form->addRow(QStringLiteral("Approved URL Roots"),
                 listRow(tab, cmbURLroot, "cmbURLroot", btnDelete, "btnDelete"));
    form->addRow(QStringLiteral("Booted Users"), listRow(tab, cmbBoot, "cmbBoot", btnBoot, "btnBoot"));
    form->addRow(QStringLiteral("Last edited by"), line(edtAdmin, "edtAdmin"));
    edtAdmin->setReadOnly(true);
    grid->addLayout(form, 0, 0);

    auto *texts = new QVBoxLayout;
    texts->addWidget(new QLabel(QStringLiteral("Welcome Message"), tab));
    texts->addWidget(memo(memWelcome, "memWelcome"), 1);
    texts->addWidget(new QLabel(QStringLiteral("Access Denied Message"), tab));
    texts->addWidget(memo(memAccess, "memAccess"), 1);
    lblBulletin = named<QLabel>(
        "lblBulletin", QStringLiteral("Bulletin Message                (double click to erase bulletin}"),
        tab);
    texts->addWidget(lblBulletin);
    texts->addWidget(memo(memBulletin, "memBulletin"), 2);
    auto *foot = new QHBoxLayout;
    lblCount = named<QLabel>("lblCount", tab);
    btnReset = named<QPushButton>("btnReset", QStringLiteral("Reset"), tab);
    btnReset->setToolTip(QStringLiteral("Clear this room's settings and bulletin"));
    foot->addWidget(lblCount, 1);
    foot->addWidget(btnReset);
    texts->addLayout(foot);
    grid->addLayout(texts, 0, 1);
    grid->setColumnStretch(0, 2);
    grid->setColumnStretch(1, 3);
    for (QWidget *w : std::initializer_list<QWidget *>{edtName, edtSetup, edtCaption, cmbURLroot, cmbBoot})
        w->setMinimumWidth(w->fontMetrics().averageCharWidth() * 28);
    return tab;
}

void TfrmChatProp::wireRoomTab()
{
    m_setupPause = new QTimer(this);
    m_setupPause->setSingleShot(true);
    m_setupPause->setInterval(kSetupPauseMs);
    connect(m_setupPause, &QTimer::timeout, this, [this] { m_room.askServer(edtSetup->text()); });
    connect(edtSetup, &QLineEdit::textChanged, this, &TfrmChatProp::edtSetupChange);
    for (QLineEdit *e : {edtName, edtAccess, edtCaption, edtWeb})
        connect(e, &QLineEdit::textChanged, this, &TfrmChatProp::edtAccessChange);
    for (QPlainTextEdit *m : {memWelcome, memAccess})
        connect(m, &QPlainTextEdit::textChanged, this, &TfrmChatProp::edtAccessChange);
    for (QComboBox *c : {cmbIcon, cmbServer})
        connect(c, &QComboBox::currentIndexChanged, this, &TfrmChatProp::edtAccessChange);
    connect(btnDelete, &QPushButton::clicked, this, [this] { deleteListItem(cmbURLroot); });
    connect(btnBoot, &QPushButton::clicked, this, [this] { deleteListItem(cmbBoot); });
    connect(memBulletin, &QPlainTextEdit::textChanged, this, &TfrmChatProp::memBulletinChange);
    memBulletin->viewport()->installEventFilter(this);
    cmbURLroot->lineEdit()->installEventFilter(this);
    connect(btnReset, &QPushButton::clicked, this, &TfrmChatProp::btnResetClick);
    connect(&m_room, &RoomEditor::changed, this, &TfrmChatProp::applyRoomState);
    connect(&m_room, &RoomEditor::fieldsReplaced, this, &TfrmChatProp::showRoomFields);
    connect(&m_room, &RoomEditor::accessLearned, this, [this](const QString &access) {
        if (!edtAccess->text().isEmpty())
            return; // typed over already
        const QScopedValueRollback loading(m_loading, true);
        edtAccess->setText(access);
    });
    connect(&m_session, &ChatSession::bulletinArrived, this, &TfrmChatProp::bulletinArrived);
}

void TfrmChatProp::fillRoomTab()
{
    m_room.fill();
    showRoomFields();
    const QSignalBlocker block(memBulletin);
    memBulletin->clear();
    lblCount->setText(crlfLength(QString()));
}

void TfrmChatProp::showRoomFields()
{
    const QScopedValueRollback loading(m_loading, true);
    const RoomEditor::Fields &f = m_room.shown();
    edtName->setText(f.name);
    edtAccess->setText(f.access);
    const int highest = qMax(m_room.highestIcon(), f.icon);
    cmbIcon->clear();
    for (int i = 0; i <= highest; ++i)
        cmbIcon->addItem(QStringLiteral(" %1").arg(i));
    cmbIcon->setCurrentIndex(f.icon);
    cmbServer->setCurrentIndex(f.server);
    edtCaption->setText(f.caption);
    edtWeb->setText(f.web);
    memWelcome->setPlainText(f.welcome);
    memAccess->setPlainText(f.accessDenied);
    for (auto [box, values] : {std::pair{cmbURLroot, &f.roots}, std::pair{cmbBoot, &f.booted}}) {
        box->clear();
        box->addItems(*values);
        box->setCurrentIndex(-1);
        box->setEditText(QString());
    }
    edtAdmin->setText(f.editor);
    applyRoomState(); // and the password box
}

void TfrmChatProp::applyRoomState()
{
    const bool on = m_room.isUnlocked();
    if (edtSetup->text() != m_room.shown().setup) {
        const QSignalBlocker block(edtSetup);
        edtSetup->setText(m_room.shown().setup);
    }
    for (QWidget *w :
         std::initializer_list<QWidget *>{edtName, edtCaption, edtWeb, edtAccess, cmbIcon, cmbURLroot,
                                          btnDelete, cmbBoot, btnBoot, memWelcome, memAccess})
        w->setEnabled(on);
    // The server choice goes only with its label, which stays hidden.
    cmbServer->setEnabled(on && lblServer->isVisibleTo(tab2));
    lblBulletin->setVisible(on);
    memBulletin->setVisible(on);
    lblCount->setVisible(on);
    btnReset->setVisible(m_session.staffMode());
    btnReset->setEnabled(m_room.staffConfirmed());
    edtAccess->setPlaceholderText(
        m_room.hasHiddenAccessPassword() ? QStringLiteral("(set: kept by the server)") : QString());
    QString note;
    if (m_room.isAsking())
        note = QStringLiteral("Checking the password with the server…");
    else if (m_room.wasRefused())
        note = m_room.lastAsked().isEmpty() ? QStringLiteral("Staff: type your staff password above.")
                                            : QStringLiteral("The server refused this password.");
    else if (on && m_room.staffConfirmed())
        note = QStringLiteral("Staff rights confirmed.");
    else if (!on)
        note = QStringLiteral("Type the administrator password to edit this room.");
    lblUnlock->setText(note);
}

void TfrmChatProp::edtSetupChange()
{
    if (m_loading)
        return;
    m_room.setupEdited(edtSetup->text(), edtAccess->text());
    if (!m_room.isUnlocked())
        m_setupPause->start();
    applyRoomState();
}

void TfrmChatProp::edtAccessChange()
{
    if (!m_loading)
        m_room.fieldEdited();
}

void TfrmChatProp::addListText(QComboBox *box)
{
    const QString text = box->currentText().trimmed();
    if (text.isEmpty() || items(box).contains(text))
        return;
    box->addItem(text);
    box->setCurrentIndex(box->count() - 1);
    if (box != cmbWeb)
        m_room.fieldEdited();
}

void TfrmChatProp::deleteListItem(QComboBox *box)
{
    // Only a real selection: an item chosen and still showing in the box.
    const int i = box->currentIndex();
    if (i < 0 || box->itemText(i) != box->currentText())
        return;
    box->removeItem(i);
    box->setCurrentIndex(-1);
    box->setEditText(QString());
    if (box != cmbWeb)
        m_room.fieldEdited();
}

void TfrmChatProp::memBulletinChange()
{
    lblCount->setText(crlfLength(memBulletin->toPlainText()));
    if (!m_loading)
        m_room.bulletinEdited(memBulletin->isVisibleTo(tab2));
}

void TfrmChatProp::memBulletinDblClick()
{
    if (!memBulletin->isVisibleTo(tab2) || !confirmErase || !confirmErase())
        return;
    memBulletin->clear();
    m_room.bulletinEdited(true);
}

void TfrmChatProp::btnResetClick()
{
    if (!m_room.staffConfirmed())
        return;
    m_room.reset();
    memBulletin->clear(); // the server erased it too
}

void TfrmChatProp::bulletinArrived(int room, const QString &text)
{
    // Never over what the user has begun to write.
    if (room != m_room.room() || m_room.bulletinChanged())
        return;
    const QScopedValueRollback loading(m_loading, true);
    memBulletin->setPlainText(QString(text).replace(QLatin1String("\r\n"), QLatin1String("\n")));
}

RoomEditor::Fields TfrmChatProp::roomFields() const
{
    RoomEditor::Fields f;
    f.name = edtName->text();
    f.setup = edtSetup->text();
    f.access = edtAccess->text();
    f.icon = qMax(0, cmbIcon->currentIndex());
    f.server = qMax(0, cmbServer->currentIndex());
    f.caption = edtCaption->text();
    f.web = edtWeb->text();
    f.welcome = memWelcome->toPlainText();
    f.accessDenied = memAccess->toPlainText();
    f.roots = items(cmbURLroot);
    f.booted = items(cmbBoot);
    f.editor = edtAdmin->text();
    return f;
}

} // namespace hchat
