// TfrmChatProp's "User Profile" tab: the user's own nick, icon, view
// options, sounds, keywords, favourites, profile, font and zone. The rules
// of opening and closing are ProfileEditor's.
#include "settings/tfrmchatprop.h"

#include "chat/chatsession.h"
#include "chat/membericons.h"
#include "settings/widgettools.h"
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

} // namespace

bool ChatSettings::*TfrmChatProp::viewSetting(int tag)
{
    return kViewBoxes[qBound(0, tag, ViewCount - 1)].setting;
}

QWidget *TfrmChatProp::buildUserTab()
{
    auto *tab = named<QWidget>("tabChat", this);
    auto *grid = new QGridLayout(tab);

    // Left: who I am, the view options, my font.
    auto *left = new QVBoxLayout;
    auto *who = new QGridLayout;
    auto addRow = [who, tab, row = 0](const QString &label, QWidget *field) mutable {
        who->addWidget(new QLabel(label, tab), row, 0);
        who->addWidget(field, row++, 1);
    };
    edtNick = named<QLineEdit>("edtNick", tab);
    edtNick->setMaxLength(ProfileEditor::NickLimit);
    cmbIconUser = named<QComboBox>("cmbIconUser", tab);
    cmbIconUser->setIconSize(QSize(20, 20));
    cmbIconUser->setMaxVisibleItems(16);
    addRow(QStringLiteral("Nickname"), edtNick);
    addRow(QStringLiteral("My Icon"), cmbIconUser);
    edtServer = named<QLineEdit>("edtServer", tab);
    edtServer->setPlaceholderText(QStringLiteral("host or host:port"));
    edtServer->setToolTip(QStringLiteral("The chat server: a new one is joined when the dialog closes"));
    addRow(QStringLiteral("Server"), edtServer);
    edtServerKey = named<QLineEdit>("edtServerKey", tab);
    edtServerKey->setPlaceholderText(QStringLiteral("learned at the first contact"));
    edtServerKey->setToolTip(QStringLiteral("The server's public key (base64) from its administrator. Clear "
                                            "it to accept the key the server shows next."));
    addRow(QStringLiteral("Server key"), edtServerKey);
    left->addLayout(who);

    auto *grpProperties = named<QGroupBox>("grpProperties", QStringLiteral("Properties"), tab);
    auto *boxes = new QGridLayout(grpProperties);
    for (int tag = 0; tag < ViewCount; ++tag) {
        auto *box =
            named<QCheckBox>(kViewBoxes[tag].name, QLatin1String(kViewBoxes[tag].caption), grpProperties);
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
    chkStayOnTop = named<QCheckBox>("chkStayOnTop", QStringLiteral("Stay On Top"), tab);
    left->addWidget(chkStayOnTop);
    left->addStretch(1);
    grid->addLayout(left, 0, 0);

    // Right: sounds, keywords, favourites, profile, and the upgrade.
    auto *right = new QVBoxLayout;
    right->addWidget(buildNotifyGroup());
    auto *grpKeywords = named<QGroupBox>("grpKeywords", QStringLiteral("Keywords"), tab);
    auto *kw = new QVBoxLayout(grpKeywords);
    memKeyword = named<QPlainTextEdit>("memKeyword", grpKeywords);
    memKeyword->setTabChangesFocus(true);
    memKeyword->setPlaceholderText(QStringLiteral("one per line: word, word|sound, word=sound or word|read"));
    memKeyword->setToolTip(QStringLiteral("A line holding a keyword plays the Keyword sound;\n"
                                          "word|sound or word=sound plays that sound file,\n"
                                          "word|read reads the line aloud."));
    kw->addWidget(memKeyword);
    right->addWidget(grpKeywords, 1);

    right->addWidget(
        new QLabel(QStringLiteral("Favorite URLs           (add to this list by typing in a URL)"), tab));
    right->addLayout(listRow(tab, cmbWeb, "cmbWeb", btnWeb, "btnWeb"));

    right->addWidget(new QLabel(
        QStringLiteral("Profile URL                (provide a link to your web site or to your picture)"),
        tab));
    edtURL = named<QLineEdit>("edtURL", tab);
    edtURL->setMaxLength(ProfileEditor::UrlLimit);
    right->addWidget(edtURL);
    right->addWidget(new QLabel(QStringLiteral("Profile Information      (introduce yourself)"), tab));
    memProfile = named<QPlainTextEdit>("memProfile", tab);
    memProfile->setTabChangesFocus(true);
    right->addWidget(memProfile, 1);

    auto *upgrade = new QHBoxLayout;
    gagDownload = named<QProgressBar>("gagDownload", tab);
    gagDownload->setVisible(false);
    btnUpgrade = named<QPushButton>("btnUpgrade", QStringLiteral("Upgrade"), tab);
    btnUpgrade->setVisible(false);
    upgrade->addWidget(gagDownload, 1);
    upgrade->addWidget(btnUpgrade);
    right->addLayout(upgrade);
    grid->addLayout(right, 0, 1);
    grid->setColumnStretch(1, 1);

    connect(btnWeb, &QPushButton::clicked, this, [this] { deleteListItem(cmbWeb); });
    connect(edtURL, &QLineEdit::textChanged, this, &TfrmChatProp::edtURLChange);
    connect(memProfile, &QPlainTextEdit::textChanged, this, &TfrmChatProp::edtURLChange);
    cmbWeb->lineEdit()->installEventFilter(this); // leaving it adds the URL
    return tab;
}

QWidget *TfrmChatProp::buildNotifyGroup()
{
    auto *grpNotify = named<QGroupBox>("grpNotify", QStringLiteral("Notify Sounds"), this);
    auto *grid = new QGridLayout(grpNotify);
    for (int i = 0; i < ProfileEditor::SoundCount; ++i) {
        auto *box = named<QLineEdit>(kSoundNames[i][0], grpNotify);
        box->setMaxLength(ProfileEditor::SoundLimit);
        auto *browse =
            named<QPushButton>(box->objectName() + QStringLiteral("Browse"), QStringLiteral("…"), grpNotify);
        browse->setToolTip(QStringLiteral("Choose a sound file"));
        browse->setFixedWidth(browse->fontMetrics().horizontalAdvance(QStringLiteral("……")) + 12);
        auto *play =
            named<QPushButton>(box->objectName() + QStringLiteral("Play"), QStringLiteral("▶"), grpNotify);
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
        connect(play, &QPushButton::clicked, this, [this, box] {
            const QString path = KeywordRules::soundPath(box->text().trimmed(), m_session.programFolder());
            if (!path.isEmpty())
                m_session.sink()->Notify(path);
        });
    }
    edtPage = m_soundBoxes[ProfileEditor::PageSound];
    edtPM = m_soundBoxes[ProfileEditor::PMSound];
    edtLink = m_soundBoxes[ProfileEditor::LinkSound];
    edtKey = m_soundBoxes[ProfileEditor::KeywordSound];
    return grpNotify;
}

QWidget *TfrmChatProp::buildFontGroup()
{
    auto *grpFont = named<QGroupBox>("grpFont", QStringLiteral("My Font"), this);
    auto *grid = new QGridLayout(grpFont);
    pnlText = named<QPushButton>("pnlText", QStringLiteral("Font Color"), grpFont);
    pnlBackground = named<QPushButton>("pnlBackground", QStringLiteral("Background Color"), grpFont);
    for (QPushButton *p : {pnlText, pnlBackground})
        p->setAutoFillBackground(true);
    grid->addWidget(pnlText, 0, 0);
    grid->addWidget(pnlBackground, 1, 0);

    auto *sizeBox = named<QGroupBox>("grpSize", QStringLiteral("Size"), grpFont);
    auto *sizes = new QVBoxLayout(sizeBox);
    grpSize = new QButtonGroup(sizeBox);
    const auto &points = ProfileEditor::fontSizes();
    for (int i = 0; i < int(points.size()); ++i) {
        // Two blanks before the one-digit size, as the captions always read.
        const QString blanks = points[i] < 10 ? QStringLiteral("  ") : QString();
        auto *r = named<QRadioButton>(QStringLiteral("rdoSize%1").arg(points[i]),
                                      blanks + QStringLiteral("%1 point").arg(points[i]), sizeBox);
        grpSize->addButton(r, i);
        sizes->addWidget(r);
    }
    grid->addWidget(sizeBox, 0, 1, 3, 1);
    chkBold = named<QCheckBox>("chkBold", QStringLiteral("Bold"), grpFont);
    grid->addWidget(chkBold, 2, 0);
    cmbZone = named<QComboBox>("cmbZone", grpFont);
    cmbZone->setToolTip(QStringLiteral("Select Your Time Zone"));
    cmbZone->addItems(ProfileEditor::zoneNames());
    grid->addWidget(new QLabel(QStringLiteral("Zone"), grpFont), 3, 0);
    grid->addWidget(cmbZone, 3, 1);

    connect(pnlText, &QPushButton::clicked, this, [this] { pnlBackgroundClick(0); });
    connect(pnlBackground, &QPushButton::clicked, this, [this] { pnlBackgroundClick(1); });
    connect(grpSize, &QButtonGroup::idClicked, this, [this](int item) {
        m_session.set(&ChatSettings::fontSize, ProfileEditor::fontSizes()[qBound(0, item, 4)]);
        emit appearanceChanged();
    });
    connect(chkBold, &QCheckBox::clicked, this, [this](bool bold) {
        m_session.set(&ChatSettings::fontBold, bold);
        emit appearanceChanged();
    });
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
    v.favourites = items(cmbWeb);
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
    const ChatSettings &s = m_session.settings();
    const auto paint = [](QPushButton *p, const QColor &fill) {
        const QColor ink = fill.lightness() < 128 ? Qt::white : Qt::black;
        p->setStyleSheet(QStringLiteral("background-color: %1; color: %2;").arg(fill.name(), ink.name()));
    };
    paint(pnlText, colorFromWire(s.fontColor));
    paint(pnlBackground, colorFromWire(s.formColor));
}

void TfrmChatProp::pnlBackgroundClick(int tag)
{
    int ChatSettings::*stored = tag == 0 ? &ChatSettings::fontColor : &ChatSettings::formColor;
    const QColor chosen =
        chooseColor(colorFromWire(m_session.settings().*stored),
                    tag == 0 ? QStringLiteral("Font Color") : QStringLiteral("Background Color"));
    if (chosen.isValid()) {
        m_session.set(stored, colorToWire(chosen));
        emit appearanceChanged();
    }
    paintPanels(); // the stored colour, chosen or not
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
        m_session.staffMode(), m_session.roomHandling().isAdministrator(m_session.settings().room),
        m_session.settings().icon);
    if (cmbIconUser->count() != highest + 1) {
        const int selected = cmbIconUser->count() ? cmbIconUser->currentIndex() : m_session.settings().icon;
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

} // namespace hchat
