#include "app/tfrmchat.h"

#include "app/chatservices.h"
#include "app/debuglog.h"
#include "app/entrybox.h"
#include "app/firststartdialog.h"
#include "app/iniconfig.h"
#include "app/memberbuttons.h"
#include "app/roombar.h"
#include "app/rosterpanel.h"
#include "app/sealbadge.h"
#include "app/tfrmpm.h"
#include "app/webbar.h"
#include "platform/transcriptedit.h"
#include "settings/tfrmchatprop.h"
#include "settings/widgettools.h"
#include "transcript/chatlogger.h"
#include "transcript/transcriptsink.h"

#include <QAction>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QSplitter>
#include <QTextEdit>
#include <QTime>
#include <QTimer>
#include <QVBoxLayout>

#include <cstdio>

namespace hchat {

TfrmChat::TfrmChat(const StartOptions &options, int zoneBias, QWidget *parent)
    : QMainWindow(parent), m_options(options), m_config(std::make_unique<IniConfig>(options, zoneBias))
{
    setObjectName(QStringLiteral("frmChat"));
    setWindowTitle(QStringLiteral("Halvex Chat"));
    m_session.setProgramFolder(options.programFolder);
    m_session.setInstallFolder(options.installFolder);
    m_session.setStandAlone(options.standAlone);
    buildWidgets();
    buildMenus();
    FormCreate();
    wireChatCommands();
    wireReader();
}

TfrmChat::~TfrmChat()
{
    // An open settings dialog applies what it holds while the link is there.
    if (m_prop) {
        m_prop->disconnect(this);
        m_prop->askNick = nullptr; // nobody to answer now
        delete m_prop.data();
    }
    m_services.reset();
    // The widgets show the session: they go before it does.
    qDeleteAll(findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly));
}

void TfrmChat::FormCreate()
{
    // 1, 2: the debug log and the log folder.
    m_session.setLogFolder(m_config->logFolder());
    DebugLog::setFolder(m_session.logFolder());
    DebugLog::note(QStringLiteral("Program Run  ") +
                   QTime::currentTime().toString(QStringLiteral("hh:mm:ss")));

    // 5: the configuration, and the window where it was left.
    QString iniError;
    ChatSettings loaded = m_session.settings();
    m_config->ReadIniFile(loaded, &iniError);
    m_session.applySettings(loaded);
    placeWindow();

    // 4, 7, 12-15: catalogue, socket, logs, stored lists and speech.
    wireServices();
    if (!iniError.isEmpty())
        reportFileProblem(iniError +
                          QStringLiteral(": the defaults are used, and the file is kept as it is."));

    // 8: the chat timer.
    tmrChat->setInterval(500);
    connect(tmrChat, &QTimer::timeout, this, &TfrmChat::tmrChatTimer);

    // 6, 9, 11: colours, font and panes.
    applyFont();
    applyLayout();
    // 16: window style.
    applyWindowStyle();
    tmrChat->start();
    memText->setFocus();
}

void TfrmChat::buildWidgets()
{
    auto *central = new QWidget(this);
    auto *outer = new QVBoxLayout(central);
    outer->setContentsMargins(4, 4, 4, 4);
    outer->setSpacing(4);

    splMain = named<QSplitter>("splMain", Qt::Vertical, central);
    splMain->setChildrenCollapsible(false);

    pnlWeb = named<QWidget>("pnlWeb", splMain);
    auto *webLayout = flushLayout<QVBoxLayout>(pnlWeb, 2);
    webBar = new WebBar(pnlWeb);
    webLayout->addWidget(webBar);

    auto *chatArea = new QWidget(splMain);
    auto *chatLayout = flushLayout<QVBoxLayout>(chatArea, 2);
    lblCaption = named<QLabel>("lblCaption", chatArea);
    lblCaption->setTextFormat(Qt::PlainText);
    lblCaption->setVisible(false);
    chatLayout->addWidget(lblCaption);

    splChat = named<QSplitter>("splChat", Qt::Horizontal, chatArea);
    // Each transcript sits under a small heading naming its room, so it is
    // plain which pane shows which room (and, after a swap, that the history
    // went along).
    auto roomPane = [this](QWidget *&pane, QLabel *&heading, QTextEdit *&rich, const char *paneName,
                           const char *headingName, const char *richName) {
        pane = named<QWidget>(paneName, splChat);
        auto *layout = flushLayout<QVBoxLayout>(pane, 1);
        heading = named<QLabel>(headingName, pane);
        heading->setTextFormat(Qt::PlainText);
        QFont small = heading->font();
        small.setPointSizeF(small.pointSizeF() * 0.85);
        small.setBold(true);
        heading->setFont(small);
        heading->setForegroundRole(QPalette::PlaceholderText);
        layout->addWidget(heading);
        rich = named<TranscriptEdit>(richName, pane);
        rich->setReadOnly(true);
        rich->setAcceptRichText(false);
        rich->setUndoRedoEnabled(false);
        rich->setContextMenuPolicy(Qt::CustomContextMenu);
        rich->setFocusPolicy(Qt::ClickFocus);
        layout->addWidget(rich, 1);
    };
    roomPane(pnlRoom1, lblRoom1, memRich, "pnlRoom1", "lblRoom1", "memRich");
    roomPane(pnlRoom2, lblRoom2, memRich2, "pnlRoom2", "lblRoom2", "memRich2");

    pnlRight = named<QWidget>("pnlRight", splChat);
    auto *right = flushLayout<QVBoxLayout>(pnlRight, 2);
    rosterPanel = named<RosterPanel>("pnlMembers", m_session, pnlRight);
    // The icon shortcuts work in the whole window, the members pane hidden or not.
    addActions(rosterPanel->iconActions());
    right->addWidget(rosterPanel, 1);
    memberButtons = new MemberButtons(m_session, rosterPanel->lstMembers, pnlRight);
    right->addWidget(memberButtons);

    splChat->setStretchFactor(0, 3);
    splChat->setStretchFactor(1, 2);
    splChat->setStretchFactor(2, 0);
    chatLayout->addWidget(splChat, 1);
    lblStatus = named<QLabel>("lblStatus", chatArea);
    lblStatus->setTextFormat(Qt::PlainText);
    sealBadge = new SealBadge(chatArea);
    auto *statusRow = new QHBoxLayout;
    statusRow->addWidget(lblStatus, 1);
    statusRow->addWidget(sealBadge);
    chatLayout->addLayout(statusRow);
    splMain->setStretchFactor(0, 0);
    splMain->setStretchFactor(1, 1);
    outer->addWidget(splMain, 1);
    // What the user drags is kept, also for a pane hidden before closing.
    for (QSplitter *splitter : {splMain, splChat})
        connect(splitter, &QSplitter::splitterMoved, this, [this] { keepPaneSizes(); });

    auto *pnlBottom = named<QWidget>("pnlBottom", central);
    auto *bottom = flushLayout<QVBoxLayout>(pnlBottom, 2);
    roomBar = new RoomBar(m_session, pnlBottom);
    bottom->addWidget(roomBar);
    memText = named<EntryBox>("memText", m_session.textEntry(), pnlBottom);
    memText->setPlaceholderText(tr("Type here and press Enter to send (Shift+Enter for a new line)"));
    memText->setFixedHeight(memText->fontMetrics().lineSpacing() * 3 + 12);
    memText->serveChat(&m_session, transcript(false), [this] { return rosterPanel->iconActions(); });
    bottom->addWidget(memText);
    outer->addWidget(pnlBottom);

    setCentralWidget(central);
    tmrChat = named<QTimer>("tmrChat", this);

    connect(roomBar, &RoomBar::remoteSupportRequested, this, &TfrmChat::remoteSupportRequested);
    connect(roomBar, &RoomBar::propertiesRequested, this, &TfrmChat::propertiesRequested);
    connect(roomBar, &RoomBar::done, this, &TfrmChat::backToEntry);
    connect(memberButtons, &MemberButtons::done, this, &TfrmChat::backToEntry);
}

namespace {

struct Toggle {
    const char *name;
    const char *caption;
    bool ChatSettings::*setting;
    const char *shortcut;
};
using S = ChatSettings;
// The menu's toggles in their order; the attention ones after a separator.
const Toggle kToggles[] = {
    {"mnuPUChatImage", QT_TR_NOOP("Show Image Viewer"), &S::showImage, "Ctrl+Shift+I"},
    {"mnuPUChatList", QT_TR_NOOP("Show Members List"), &S::showList, "Ctrl+Shift+M"},
    {"mnuPUChat2nd", QT_TR_NOOP("Show 2nd Room"), &S::showSecond, "Ctrl+Shift+2"},
    {"mnuPUChatTime", QT_TR_NOOP("Show Time Stamps"), &S::showTime, "Ctrl+Shift+T"},
    {"mnuPUChatArrive", QT_TR_NOOP("Show Arrivals"), &S::showArrivals, "Ctrl+Shift+A"},
    {"mnuPUChatDepart", QT_TR_NOOP("Show Departures"), &S::showDepartures, "Ctrl+Shift+D"},
    {"mnuPUChatLog", QT_TR_NOOP("Auto Logging"), &S::autoLog, "Ctrl+Shift+L"},
    {"mnuPUChatRead", QT_TR_NOOP("Voice Read"), &S::voiceRead, "Ctrl+Shift+V"},
    {"mnuPUChatPM", QT_TR_NOOP("Block Private Messages"), &S::blockPM, "Ctrl+Shift+B"},
    {"mnuPUChatColor", QT_TR_NOOP("Use My Font Color"), &S::useMyColor, "Ctrl+Shift+C"},
    {"mnuPUChatHorz", QT_TR_NOOP("Horizontal Orientation"), &S::horizontal, "Ctrl+Shift+H"},
    {"mnuPUChatTop", QT_TR_NOOP("Stay On Top"), &S::stayOnTop, "Ctrl+Shift+O"},
    {nullptr, nullptr, nullptr, nullptr},
    {"mnuNotifyPage", QT_TR_NOOP("Notify on Pages"), &S::notifyPage, ""},
    {"mnuNotifyPM", QT_TR_NOOP("Notify on Private Messages"), &S::notifyPM, ""},
    {"mnuNotifyKeyword", QT_TR_NOOP("Notify on Keywords"), &S::notifyKeyword, ""},
    {"mnuNotifyNick", QT_TR_NOOP("Notify on My Nick"), &S::notifyNick, ""},
    {"mnuHighlightNick", QT_TR_NOOP("Highlight My Nick"), &S::highlightNick, ""}};

} // namespace

QAction *TfrmChat::toggle(bool ChatSettings::*setting) const
{
    for (const auto &[action, s] : m_toggles)
        if (s == setting)
            return action;
    return nullptr;
}

void TfrmChat::buildMenus()
{
    mnuPUChat = named<QMenu>("mnuPUChat", this);
    for (const Toggle &t : kToggles) {
        if (!t.name) {
            mnuPUChat->addSeparator();
            continue;
        }
        auto *a = named<QAction>(t.name, tr(t.caption), this);
        a->setCheckable(true);
        a->setShortcut(QKeySequence(QLatin1String(t.shortcut)));
        a->setShortcutContext(Qt::WindowShortcut);
        connect(a, &QAction::toggled, this, [this, setting = t.setting](bool on) {
            m_session.setOption(setting, on);
            applyLayout();
            applyFont();
        });
        addAction(a); // shortcuts work wherever the focus is in the window
        mnuPUChat->addAction(a);
        m_toggles.emplace_back(a, t.setting);
    }
    connect(toggle(&S::stayOnTop), &QAction::toggled, this, [this] { applyWindowStyle(); });
    // Switching the log on starts a new log: a short quiet spell keeps the
    // member list arriving with it from sounding alerts.
    connect(toggle(&S::autoLog), &QAction::toggled, this, [this](bool on) {
        if (!on)
            return;
        m_services->log()->LogOpened();
        m_session.setQuietPeriod(qMax(m_session.quietPeriod(), ChatSession::loggingQuietTicks));
    });
    mnuPUChat->addSeparator();
    auto *roomUsage = named<QAction>("mnuRoomUsage", tr("Room Usage"), this);
    roomUsage->setShortcut(QKeySequence(QStringLiteral("Ctrl+Shift+U")));
    connect(roomUsage, &QAction::triggered, this, [this] { m_session.roomHandling().requestRoomUsage(); });
    mnuProperties = named<QAction>("mnuProperties", tr("Properties..."), this);
    mnuProperties->setShortcut(QKeySequence(Qt::Key_F9));
    connect(mnuProperties, &QAction::triggered, this, [this] { emit propertiesRequested(); });
    auto *remoteSupport = named<QAction>("mnuRunRemoteSupport", tr("Run Remote Support"), this);
    connect(remoteSupport, &QAction::triggered, this, [this] {
        emit remoteSupportRequested();
        backToEntry();
    });
    for (QAction *a : {roomUsage, mnuProperties, remoteSupport}) {
        addAction(a);
        mnuPUChat->addAction(a);
    }
    roomBar->setMenu(mnuPUChat);
    connect(mnuPUChat, &QMenu::aboutToHide, this,
            [this] { QTimer::singleShot(0, this, [this] { backToEntry(); }); });
}

void TfrmChat::backToEntry()
{
    if (memText)
        memText->setFocus();
}

void TfrmChat::tmrChatTimer()
{
    if (!m_replaceScript.isEmpty()) {
        close(); // the upgrade is ready: make way for the new program
        return;
    }
    if (!m_nickChecked) {
        if (m_askingNick)
            return; // the nick box is open: the link waits for its answer
        m_nickChecked = true;
        checkNick();
    }
    m_session.tick();
    updateStatusLine(); // the next try comes closer
}

void TfrmChat::FormClose()
{
    if (m_closed)
        return;
    m_closed = true;
    // A first-start question still open goes unanswered: its loop would keep
    // the program running after the window.
    for (FirstStartDialog *ask : findChildren<FirstStartDialog *>())
        ask->reject();
    // The settings dialog applies what it holds before anything is saved,
    // and its records go out with the last poll.
    if (m_prop)
        m_prop->close();
    tmrChat->stop();
    // Leave the room and send the last poll, then save the stored lists.
    QString listsError;
    const bool listsSaved = m_services->close(&listsError);
    // Private-message windows go with the chat window: left open they would
    // take lines nobody can send, and keep the program running.
    TfrmPM::closeAll(m_session);
    keepWindowGeometry();
    keepPaneSizes();
    if (!listsSaved)
        reportFileProblem(QStringLiteral("Lists not saved: ") + listsError);
    saveSettings();
    if (!m_replaceScript.isEmpty()) {
        if (const QString why = m_services->startReplacement(m_replaceScript); !why.isEmpty())
            DebugLog::note(QStringLiteral("Upgrade not started: ") + why);
    }
}

void TfrmChat::reportFileProblem(const QString &text)
{
    // Where the user looks now, where support looks later, and (at the end)
    // in the exit status for whoever started the program.
    m_saveFailed = true;
    DebugLog::note(text);
    m_session.sink()->ShowMessage(text, false, true);
    std::fprintf(stderr, "hchat: %s\n", qPrintable(text));
}

void TfrmChat::closeEvent(QCloseEvent *event)
{
    FormClose();
    event->accept();
}

} // namespace hchat
