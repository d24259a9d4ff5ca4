#include "app/roombar.h"

#include "chat/chatsession.h"
#include "settings/widgettools.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QSignalBlocker>
#include <QToolButton>

namespace hchat {

RoomBar::RoomBar(ChatSession &session, QWidget *parent) : QWidget(parent), m_session(session)
{
    setObjectName(QStringLiteral("pnlRoomBar"));
    auto *bar = flushLayout<QHBoxLayout>(this, 4);
    cmbRoom1 = named<QComboBox>("cmbRoom1", this);
    cmbRoom1->setToolTip(tr("Your room"));
    auto *btnSwap = named<QToolButton>("btnSwap", this);
    btnSwap->setText(QStringLiteral("⇄"));
    btnSwap->setToolTip(tr("Swap first and second room"));
    cmbRoom2 = named<QComboBox>("cmbRoom2", this);
    cmbRoom2->setToolTip(tr("Second room"));
    chkShow = named<QCheckBox>("chkShow", tr("Show"), this);
    chkShow->setToolTip(tr("Auto show a link when posted"));
    chkPost = named<QCheckBox>("chkPost", tr("Post"), this);
    btnWeb = named<QPushButton>("btnWeb", tr("Web"), this);
    auto *btnRemote = named<QPushButton>("btnRemote", tr("Remote Support"), this);
    auto *btnProperties = named<QPushButton>("btnProperties", tr("Properties"), this);
    btnMenu = named<QToolButton>("btnMenu", this);
    btnMenu->setText(QStringLiteral("☰"));
    btnMenu->setToolTip(tr("View options"));
    bar->addWidget(cmbRoom1, 2);
    bar->addWidget(btnSwap);
    bar->addWidget(cmbRoom2, 2);
    bar->addWidget(chkShow);
    bar->addWidget(chkPost);
    bar->addStretch(1);
    bar->addWidget(btnWeb);
    bar->addWidget(btnRemote);
    bar->addWidget(btnProperties);
    bar->addWidget(btnMenu);

    connect(chkShow, &QCheckBox::toggled, this,
            [this](bool on) { m_session.set(&ChatSettings::showLinks, on); });
    connect(chkPost, &QCheckBox::toggled, this, [this](bool on) { m_session.set(&ChatSettings::post, on); });
    connect(btnRemote, &QPushButton::clicked, this, [this] {
        emit remoteSupportRequested();
        emit done();
    });
    connect(btnProperties, &QPushButton::clicked, this, &RoomBar::propertiesRequested);
    connect(btnWeb, &QPushButton::clicked, this, [this] {
        const QString url = Rooms::webButtonAddress(m_roomUrl, m_session.settings().web);
        if (!url.isEmpty())
            emit webRequested(url);
        emit done();
    });

    // Room choosers and swap: every change goes through the rooms handling,
    // which announces it; the choosers follow what it did.
    Rooms &rooms = m_session.roomHandling();
    connect(cmbRoom1, &QComboBox::activated, this, [this](int index) {
        m_session.roomHandling().setFirstRoom(index);
        emit done();
    });
    connect(cmbRoom2, &QComboBox::activated, this, [this](int index) {
        m_session.roomHandling().setSecondRoom(index);
        emit done();
    });
    connect(btnSwap, &QToolButton::clicked, this, [this] {
        m_session.roomHandling().swap();
        emit done();
    });
    connect(&rooms, &Rooms::roomListChanged, this, &RoomBar::fillRoomChoosers);
    connect(&rooms, &Rooms::roomsSelected, this, &RoomBar::selectRoomChoosers);
    connect(&rooms, &Rooms::roomApplied, this, [this](int, const QString &, const QString &webUrl, int) {
        // The web button's address is read when it is clicked.
        m_roomUrl = webUrl;
        btnWeb->setToolTip(Rooms::webButtonAddress(webUrl, m_session.settings().web));
    });
}

void RoomBar::fillRoomChoosers()
{
    const QStringList items = m_session.roomHandling().chooserItems();
    for (QComboBox *box : {cmbRoom1, cmbRoom2}) {
        const QSignalBlocker block(box);
        box->clear();
        box->addItems(items);
    }
    selectRoomChoosers();
}

void RoomBar::selectRoomChoosers()
{
    const ChatSettings &s = m_session.settings();
    if (GetIndex(s.room) >= cmbRoom1->count() || GetIndex(s.room2) >= cmbRoom2->count()) {
        fillRoomChoosers(); // a room beyond the list: give it an item first
        return;
    }
    const QSignalBlocker b1(cmbRoom1), b2(cmbRoom2);
    cmbRoom1->setCurrentIndex(GetIndex(s.room));
    cmbRoom2->setCurrentIndex(GetIndex(s.room2));
}

void RoomBar::showSettings()
{
    const ChatSettings &s = m_session.settings();
    cmbRoom2->setEnabled(s.showSecond);
    const QSignalBlocker b1(chkShow), b2(chkPost);
    chkShow->setChecked(s.showLinks);
    chkPost->setChecked(s.post);
}

void RoomBar::showFingerprint(const QString &fingerprint)
{
    const QString tip = fingerprint.isEmpty() ? tr("Your room")
                                              : tr("Your room\nServer key fingerprint: %1").arg(fingerprint);
    if (cmbRoom1->toolTip() != tip)
        cmbRoom1->setToolTip(tip);
}

void RoomBar::setMenu(QMenu *menu)
{
    btnMenu->setMenu(menu);
    btnMenu->setPopupMode(QToolButton::InstantPopup);
}

} // namespace hchat
