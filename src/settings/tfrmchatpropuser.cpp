// TfrmChatProp's "User Profile" tab: the user's own nick, icon, view
// options, sounds, keywords, favourites, profile, font and zone. The rules
// of opening and closing are ProfileEditor's.
#include "settings/tfrmchatprop.h"

#include "chat/chatsession.h"
#include "chat/membericons.h"
#include "transcript/keywordrules.h"
#include "transcript/transcriptsink.h"

#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QToolTip>
#include <QVBoxLayout>

namespace hchat {

namespace {

struct ViewBox {
    const char *name;
    const char *caption;
    bool ChatSettings::*setting;
};
// By tag: the box, its caption and the setting its command changes.
const ViewBox kViewBoxes[TfrmChatProp::ViewCount] = {
    {"chkChatImage", "Show Image Viewer", &ChatSettings::showImage},
    {"chkChatList", "Show Members List", &ChatSettings::showList},
    {"chkChat2nd", "Show 2nd Room", &ChatSettings::showSecond},
    {"chkChatTime", "Show Time Stamps", &ChatSettings::showTime},
    {"chkChatArrive", "Show Arrivals", &ChatSettings::showArrivals},
    {"chkChatDepart", "Show Departures", &ChatSettings::showDepartures},
    {"chkChatLog", "Auto Logging", &ChatSettings::autoLog},
    {"chkChatRead", "Voice Read", &ChatSettings::voiceRead},
    {"chkChatPM", "Block Private Messages", &ChatSettings::blockPM},
    {"chkChatColor", "Use My Font Color", &ChatSettings::useMyColor},
    {"chkScroll", "Scroll Transcript", &ChatSettings::scroll},
    {"chkProfile", "Show Profile Links", &ChatSettings::profileLinks},
    {"chkChatHorz", "Horizontal Orientation", &ChatSettings::horizontal}};

const char *const kSoundNames[ProfileEditor::SoundCount][2] = {
    {"edtPage", "Page"}, {"edtPM", "PM"}, {"edtLink", "Links"}, {"edtKey", "Keyword"}};

QColor fromWire(int rgb)
{
    return QColor(rgb & 0xFF, (rgb >> 8) & 0xFF, (rgb >> 16) & 0xFF);
}

int toWire(const QColor &c)
{
    return c.red() | (c.green() << 8) | (c.blue() << 16);
}

} // namespace

bool ChatSettings::*TfrmChatProp::viewSetting(int tag)
{
    return kViewBoxes[qBound(0, tag, ViewCount - 1)].setting;
}

QWidget *TfrmChatProp::buildUserTab()
{
    auto *tab = new QWidget(this);
    tab->setObjectName(QStringLiteral("tabChat"));
    auto *grid = new QGridLayout(tab);

    // Left: who I am, the view options, my font.
    auto *left = new QVBoxLayout;
    auto *who = new QGridLayout;
    edtNick = new QLineEdit(tab);
    edtNick->setObjectName(QStringLiteral("edtNick"));
    edtNick->setMaxLength(ProfileEditor::NickLimit);
    cmbIconUser = new QComboBox(tab);
    cmbIconUser->setObjectName(QStringLiteral("cmbIconUser"));
    cmbIconUser->setIconSize(QSize(20, 20));
    cmbIconUser->setMaxVisibleItems(16);
    who->addWidget(new QLabel(QStringLiteral("Nickname"), tab), 0, 0);
    who->addWidget(edtNick, 0, 1);
    who->addWidget(new QLabel(QStringLiteral("My Icon"), tab), 1, 0);
    who->addWidget(cmbIconUser, 1, 1);
    edtServer = new QLineEdit(tab);
    edtServer->setObjectName(QStringLiteral("edtServer"));
    edtServer->setPlaceholderText(QStringLiteral("host or host:port"));
    edtServer->setToolTip(QStringLiteral("The chat server: a new one is joined when the dialog closes"));
    who->addWidget(new QLabel(QStringLiteral("Server"), tab), 2, 0);
    who->addWidget(edtServer, 2, 1);
    edtServerKey = new QLineEdit(tab);
    edtServerKey->setObjectName(QStringLiteral("edtServerKey"));
    edtServerKey->setPlaceholderText(QStringLiteral("learned at the first contact"));
    edtServerKey->setToolTip(QStringLiteral("The server's public key (base64) from its administrator. Clear "
                                            "it to accept the key the server shows next."));
    who->addWidget(new QLabel(QStringLiteral("Server key"), tab), 3, 0);
    who->addWidget(edtServerKey, 3, 1);
    left->addLayout(who);

    auto *grpProperties = new QGroupBox(QStringLiteral("Properties"), tab);
    grpProperties->setObjectName(QStringLiteral("grpProperties"));
    auto *boxes = new QGridLayout(grpProperties);
    for (int tag = 0; tag < ViewCount; ++tag) {
        auto *box = new QCheckBox(QLatin1String(kViewBoxes[tag].caption), grpProperties);
        box->setObjectName(QLatin1String(kViewBoxes[tag].name));
        box->setProperty("tag", tag);
        boxes->addWidget(box, tag % 7, tag / 7);
        m_view[tag] = box;
        connect(box, &QCheckBox::clicked, this, [this, tag](bool on) { viewBoxClick(tag, on); });
        // A menu command used while the dialog is open moves its box too.
        if (QAction *a = m_commands.byTag[tag])
            connect(a, &QAction::toggled, box, [box](bool on) {
                const QSignalBlocker block(box);
                box->setChecked(on);
            });
    }
    left->addWidget(grpProperties);
    left->addWidget(buildFontGroup());
    chkStayOnTop = new QCheckBox(QStringLiteral("Stay On Top"), tab);
    chkStayOnTop->setObjectName(QStringLiteral("chkStayOnTop"));
    left->addWidget(chkStayOnTop);
    left->addStretch(1);
    grid->addLayout(left, 0, 0);

    // Right: sounds, keywords, favourites, profile, and the upgrade.
    auto *right = new QVBoxLayout;
    right->addWidget(buildNotifyGroup());
    auto *grpKeywords = new QGroupBox(QStringLiteral("Keywords"), tab);
    grpKeywords->setObjectName(QStringLiteral("grpKeywords"));
    auto *kw = new QVBoxLayout(grpKeywords);
    memKeyword = new QPlainTextEdit(grpKeywords);
    memKeyword->setObjectName(QStringLiteral("memKeyword"));
    memKeyword->setTabChangesFocus(true);
    memKeyword->setPlaceholderText(QStringLiteral("one per line: word, word|sound, word=sound or word|read"));
    memKeyword->setToolTip(QStringLiteral("A line holding a keyword plays the Keyword sound;\n"
                                          "word|sound or word=sound plays that sound file,\n"
                                          "word|read reads the line aloud."));
    kw->addWidget(memKeyword);
    right->addWidget(grpKeywords, 1);

    right->addWidget(
        new QLabel(QStringLiteral("Favorite URLs           (add to this list by typing in a URL)"), tab));
    auto *fav = new QHBoxLayout;
    cmbWeb = new QComboBox(tab);
    cmbWeb->setObjectName(QStringLiteral("cmbWeb"));
    cmbWeb->setEditable(true);
    cmbWeb->setInsertPolicy(QComboBox::NoInsert);
    btnWeb = new QPushButton(QStringLiteral("Delete"), tab);
    btnWeb->setObjectName(QStringLiteral("btnWeb"));
    fav->addWidget(cmbWeb, 1);
    fav->addWidget(btnWeb);
    right->addLayout(fav);

    right->addWidget(new QLabel(
        QStringLiteral("Profile URL                (provide a link to your web site or to your picture)"),
        tab));
    edtURL = new QLineEdit(tab);
    edtURL->setObjectName(QStringLiteral("edtURL"));
    edtURL->setMaxLength(ProfileEditor::UrlLimit);
    right->addWidget(edtURL);
    right->addWidget(new QLabel(QStringLiteral("Profile Information      (introduce yourself)"), tab));
    memProfile = new QPlainTextEdit(tab);
    memProfile->setObjectName(QStringLiteral("memProfile"));
    memProfile->setTabChangesFocus(true);
    right->addWidget(memProfile, 1);

    auto *upgrade = new QHBoxLayout;
    gagDownload = new QProgressBar(tab);
    gagDownload->setObjectName(QStringLiteral("gagDownload"));
    gagDownload->setVisible(false);
    btnUpgrade = new QPushButton(QStringLiteral("Upgrade"), tab);
    btnUpgrade->setObjectName(QStringLiteral("btnUpgrade"));
    btnUpgrade->setVisible(false);
    lblBuffer = new QLabel(QStringLiteral("Buffer Size"), tab);
    lblBuffer->setObjectName(QStringLiteral("lblBuffer"));
    lblBuffer->setVisible(false);
    upgrade->addWidget(gagDownload, 1);
    upgrade->addWidget(btnUpgrade);
    upgrade->addWidget(lblBuffer);
    right->addLayout(upgrade);
    grid->addLayout(right, 0, 1);
    grid->setColumnStretch(1, 1);

    connect(btnWeb, &QPushButton::clicked, this, &TfrmChatProp::btnWebClick);
    connect(edtURL, &QLineEdit::textChanged, this, &TfrmChatProp::edtURLChange);
    connect(memProfile, &QPlainTextEdit::textChanged, this, &TfrmChatProp::edtURLChange);
    cmbWeb->lineEdit()->installEventFilter(this); // leaving it adds the URL
    return tab;
}

QWidget *TfrmChatProp::buildNotifyGroup()
{
    auto *grpNotify = new QGroupBox(QStringLiteral("Notify Sounds"), this);
    grpNotify->setObjectName(QStringLiteral("grpNotify"));
    auto *grid = new QGridLayout(grpNotify);
    for (int i = 0; i < ProfileEditor::SoundCount; ++i) {
        auto *box = new QLineEdit(grpNotify);
        box->setObjectName(QLatin1String(kSoundNames[i][0]));
        box->setMaxLength(ProfileEditor::SoundLimit);
        auto *browse = new QPushButton(QStringLiteral("…"), grpNotify);
        browse->setObjectName(box->objectName() + QStringLiteral("Browse"));
        browse->setToolTip(QStringLiteral("Choose a sound file"));
        browse->setFixedWidth(browse->fontMetrics().horizontalAdvance(QStringLiteral("……")) + 12);
        auto *play = new QPushButton(QStringLiteral("▶"), grpNotify);
        play->setObjectName(box->objectName() + QStringLiteral("Play"));
        play->setToolTip(QStringLiteral("Play this sound"));
        play->setFixedWidth(browse->width());
        grid->addWidget(new QLabel(QLatin1String(kSoundNames[i][1]), grpNotify), i, 0);
        grid->addWidget(box, i, 1);
        grid->addWidget(browse, i, 2);
        grid->addWidget(play, i, 3);
        m_soundBoxes[i] = box;
        m_soundBrowse[i] = browse;
        m_soundTest[i] = play;
        connect(box, &QLineEdit::textEdited, this, [this, i] { m_soundEdited[i] = true; });
        connect(browse, &QPushButton::clicked, this, [this, i] { browseSound(i); });
        connect(play, &QPushButton::clicked, this, [this, i] { testSound(i); });
    }
    edtPage = m_soundBoxes[ProfileEditor::PageSound];
    edtPM = m_soundBoxes[ProfileEditor::PMSound];
    edtLink = m_soundBoxes[ProfileEditor::LinkSound];
    edtKey = m_soundBoxes[ProfileEditor::KeywordSound];
    return grpNotify;
}

QWidget *TfrmChatProp::buildFontGroup()
{
    auto *grpFont = new QGroupBox(QStringLiteral("My Font"), this);
    grpFont->setObjectName(QStringLiteral("grpFont"));
    auto *grid = new QGridLayout(grpFont);
    pnlText = new QPushButton(QStringLiteral("Font Color"), grpFont);
    pnlText->setObjectName(QStringLiteral("pnlText"));
    pnlText->setProperty("tag", 0);
    pnlBackground = new QPushButton(QStringLiteral("Background Color"), grpFont);
    pnlBackground->setObjectName(QStringLiteral("pnlBackground"));
    pnlBackground->setProperty("tag", 1);
    for (QPushButton *p : {pnlText, pnlBackground})
        p->setAutoFillBackground(true);
    grid->addWidget(pnlText, 0, 0);
    grid->addWidget(pnlBackground, 1, 0);

    auto *sizeBox = new QGroupBox(QStringLiteral("Size"), grpFont);
    sizeBox->setObjectName(QStringLiteral("grpSize"));
    auto *sizes = new QVBoxLayout(sizeBox);
    grpSize = new QButtonGroup(sizeBox);
    const auto &points = ProfileEditor::fontSizes();
    for (int i = 0; i < int(points.size()); ++i) {
        // Two blanks before the one-digit size, as the captions always read.
        const QString blanks = points[i] < 10 ? QStringLiteral("  ") : QString();
        auto *r = new QRadioButton(blanks + QStringLiteral("%1 point").arg(points[i]), sizeBox);
        r->setObjectName(QStringLiteral("rdoSize%1").arg(points[i]));
        grpSize->addButton(r, i);
        sizes->addWidget(r);
    }
    grid->addWidget(sizeBox, 0, 1, 3, 1);
    chkBold = new QCheckBox(QStringLiteral("Bold"), grpFont);
    chkBold->setObjectName(QStringLiteral("chkBold"));
    grid->addWidget(chkBold, 2, 0);
    cmbZone = new QComboBox(grpFont);
    cmbZone->setObjectName(QStringLiteral("cmbZone"));
    cmbZone->setToolTip(QStringLiteral("Select Your Time Zone"));
    cmbZone->addItems(ProfileEditor::zoneNames());
    grid->addWidget(new QLabel(QStringLiteral("Zone"), grpFont), 3, 0);
    grid->addWidget(cmbZone, 3, 1);

    connect(pnlText, &QPushButton::clicked, this, [this] { pnlBackgroundClick(0); });
    connect(pnlBackground, &QPushButton::clicked, this, [this] { pnlBackgroundClick(1); });
    connect(grpSize, &QButtonGroup::idClicked, this, &TfrmChatProp::grpSizeClick);
    connect(chkBold, &QCheckBox::clicked, this, &TfrmChatProp::chkBoldClick);
    return grpFont;
}

ProfileEditor::Values TfrmChatProp::profileValues() const
{
    ProfileEditor::Values v;
    v.nick = edtNick->text();
    v.icon = cmbIconUser->currentIndex();
    for (int i = 0; i < ProfileEditor::SoundCount; ++i) {
        v.sounds[i] = m_soundBoxes[i]->text();
        v.soundEdited[i] = m_soundEdited[i];
    }
    v.keywords = memKeyword->toPlainText();
    for (int i = 0; i < cmbWeb->count(); ++i)
        v.favourites << cmbWeb->itemText(i);
    v.url = edtURL->text();
    v.profile = memProfile->toPlainText();
    v.zone = cmbZone->currentIndex();
    return v;
}

void TfrmChatProp::viewBoxClick(int tag, bool checked)
{
    if (m_loading)
        return;
    QCheckBox *box = m_view[tag];
    if (QAction *a = m_commands.byTag[tag]) {
        // The window's command of the same caption: box and menu are one setting.
        if (a->isChecked() != checked)
            a->trigger();
        const QSignalBlocker block(box);
        box->setChecked(a->isChecked());
        return;
    }
    m_session.setOption(kViewBoxes[tag].setting, checked);
}

void TfrmChatProp::paintPanels()
{
    const ChatSettings &s = m_session.settings;
    const QColor text = fromWire(s.fontColor);
    const QColor back = fromWire(s.formColor);
    const auto paint = [](QPushButton *p, const QColor &fill) {
        const QColor ink = fill.lightness() < 128 ? Qt::white : Qt::black;
        p->setStyleSheet(QStringLiteral("background-color: %1; color: %2;").arg(fill.name(), ink.name()));
    };
    paint(pnlText, text);
    paint(pnlBackground, back);
}

void TfrmChatProp::pnlBackgroundClick(int tag)
{
    ChatSettings &s = m_session.settings;
    int &stored = tag == 0 ? s.fontColor : s.formColor;
    const QColor chosen = chooseColor(fromWire(stored), tag == 0 ? QStringLiteral("Font Color")
                                                                 : QStringLiteral("Background Color"));
    if (chosen.isValid()) {
        stored = toWire(chosen);
        emit appearanceChanged();
    }
    paintPanels(); // the stored colour, chosen or not
}

void TfrmChatProp::grpSizeClick(int item)
{
    m_session.settings.fontSize = ProfileEditor::fontSizes()[qBound(0, item, 4)];
    emit appearanceChanged();
}

void TfrmChatProp::chkBoldClick(bool bold)
{
    m_session.settings.fontBold = bold;
    emit appearanceChanged();
}

void TfrmChatProp::cmbWebExit()
{
    QStringList items;
    for (int i = 0; i < cmbWeb->count(); ++i)
        items << cmbWeb->itemText(i);
    const QString text = cmbWeb->currentText();
    if (ProfileEditor::addFavourite(items, text)) {
        cmbWeb->addItem(items.last());
        cmbWeb->setCurrentIndex(cmbWeb->count() - 1);
    }
}

void TfrmChatProp::btnWebClick()
{
    deleteListItem(cmbWeb);
}

void TfrmChatProp::edtURLChange()
{
    if (!m_loading)
        m_profileChanged = true;
}

void TfrmChatProp::tabUserChange()
{
    if (tabUser->currentWidget() != tabChat)
        return;
    const int highest = ProfileEditor::highestIcon(
        m_session.staffMode(), m_session.roomHandling.isAdministrator(m_session.settings.room),
        m_session.settings.icon);
    if (cmbIconUser->count() != highest + 1) {
        const int selected = cmbIconUser->count() ? cmbIconUser->currentIndex() : m_session.settings.icon;
        const QSignalBlocker block(cmbIconUser);
        cmbIconUser->clear();
        for (int i = 0; i <= highest; ++i)
            cmbIconUser->addItem(MemberIcons::icon(i), QString::number(i));
        cmbIconUser->setCurrentIndex(selected >= 0 && selected <= highest ? selected : -1);
    }
}

void TfrmChatProp::browseSound(int sound)
{
    QLineEdit *box = m_soundBoxes[sound];
    const QString current = KeywordRules::soundPath(box->text(), m_session.programFolder());
    const QString chosen = chooseSound(current.isEmpty() ? m_session.programFolder() : current);
    if (chosen.isEmpty())
        return;
    const QString shown = ProfileEditor::shownSound(chosen, m_session.programFolder());
    if (shown.size() > ProfileEditor::SoundLimit) {
        box->setToolTip(QStringLiteral("The path of this file is longer than %1 characters: put the sound "
                                       "into the Media folder of the program.")
                            .arg(ProfileEditor::SoundLimit));
        QToolTip::showText(box->mapToGlobal(QPoint(0, box->height())), box->toolTip(), box);
        return;
    }
    box->setText(shown);
    m_soundEdited[sound] = true;
}

void TfrmChatProp::testSound(int sound)
{
    const QString path =
        KeywordRules::soundPath(m_soundBoxes[sound]->text().trimmed(), m_session.programFolder());
    if (!path.isEmpty())
        m_session.sink()->Notify(path);
}

} // namespace hchat
