#include "app/rosterpanel.h"

#include "chat/chatsession.h"
#include "chat/membericons.h"
#include "chat/rostermodel.h"
#include "settings/widgettools.h"

#include <QAction>
#include <QDir>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QVBoxLayout>

namespace hchat {

namespace {

// Draws a member's state icon in a column of its own left of the member
// icon, as a list with state images does; rows without a state keep the
// column so the nicks stay aligned.
class StateIconDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        const int side = option.decorationSize.width();
        QStyleOptionViewItem rest(option);
        rest.rect.setLeft(option.rect.left() + side + 2);
        // The selection highlight covers the whole row.
        QStyleOptionViewItem background(option);
        initStyleOption(&background, index);
        background.text.clear();
        background.icon = QIcon();
        if (QStyle *style = option.widget ? option.widget->style() : nullptr)
            style->drawControl(QStyle::CE_ItemViewItem, &background, painter, option.widget);
        const QIcon state = index.data(RosterModel::StateIconRole).value<QIcon>();
        if (!state.isNull()) {
            const QRect r(option.rect.left() + 1, option.rect.top() + (option.rect.height() - side) / 2, side,
                          side);
            state.paint(painter, r);
        }
        QStyledItemDelegate::paint(painter, rest, index);
    }

    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QSize s = QStyledItemDelegate::sizeHint(option, index);
        s.rwidth() += option.decorationSize.width() + 2;
        return s;
    }
};

} // namespace

RosterPanel::RosterPanel(ChatSession &session, QWidget *parent) : QWidget(parent), m_session(session)
{
    auto *layout = flushLayout<QVBoxLayout>(this, 2);

    m_model = new RosterModel(session.roster(), this);
    lstMembers = named<QListView>("lstMembers", this);
    lstMembers->setModel(m_model);
    lstMembers->setItemDelegate(new StateIconDelegate(lstMembers));
    lstMembers->setIconSize(QSize(16, 16));
    lstMembers->setUniformItemSizes(true); // thousands of rows lay out in O(1)
    lstMembers->setSelectionMode(QAbstractItemView::SingleSelection);
    lstMembers->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lstMembers->setContextMenuPolicy(Qt::CustomContextMenu);
    QFont bold = lstMembers->font();
    bold.setBold(true);
    lstMembers->setFont(bold);

    lblCount = named<QLabel>("lblCount", session.roster().lblCount(), this);
    lblCount->setTextFormat(Qt::PlainText);
    lblCount->setTextInteractionFlags(Qt::TextSelectableByMouse); // staff copy IDs from here
    layout->addWidget(lstMembers, 1);
    layout->addWidget(lblCount);
    connect(&session.roster(), &Roster::lblCountChanged, lblCount, &QLabel::setText);

    mnuPUMembers = named<QMenu>("mnuPUMembers", this);
    MemberActions &actions = session.memberActions();
    for (const IconMenuEntry &e : MemberActions::iconMenu()) {
        auto *a = named<QAction>(e.name, e.caption, this);
        a->setShortcut(QKeySequence(e.shortcut, QKeySequence::PortableText));
        a->setShortcutContext(Qt::WindowShortcut);
        a->setIcon(
            MemberIcons::icon(e.kind == IconMenuEntry::Kind::OwnIcon ? session.settings().icon : e.value));
        a->setCheckable(e.kind == IconMenuEntry::Kind::Away);
        connect(a, &QAction::triggered, this, [&actions, e] { actions.run(e); });
        mnuPUMembers->addAction(a);
        addAction(a); // shortcuts work while the menu is closed
        m_iconActions.insert(e.name, a);
    }
    mnuPUMembers->addSeparator();
    auto memberItem = [this](QAction *&a, const char *name, const QString &caption, Request request) {
        a = named<QAction>(name, caption, this);
        mnuPUMembers->addAction(a);
        connect(a, &QAction::triggered, this, [this, request] { requestFor(request); });
    };
    memberItem(mnuPage, "mnuPage", QStringLiteral("Page"), &RosterPanel::pageRequested);
    memberItem(mnuIgnore, "mnuIgnore", QStringLiteral("Ignore"), &RosterPanel::ignoreRequested);
    memberItem(mnuBoot, "mnuBoot", QStringLiteral("Boot"), &RosterPanel::bootRequested);
    mnuPUMembers->addSeparator();
    mnuSaveMember = named<QAction>("mnuSaveMember", QStringLiteral("Save Member Report"), this);
    mnuPUMembers->addAction(mnuSaveMember);
    connect(mnuSaveMember, &QAction::triggered, this, [this] {
        if (!m_session.memberActions().mnuSaveMemberClick())
            emit saveReportFailed(QDir(m_session.logFolder()).filePath(QStringLiteral("Members.txt")));
    });
    connect(mnuPUMembers, &QMenu::aboutToShow, this, &RosterPanel::mnuPUMembersPopup);

    connect(lstMembers, &QListView::customContextMenuRequested, this,
            [this](const QPoint &pos) { mnuPUMembers->popup(lstMembers->viewport()->mapToGlobal(pos)); });
    connect(lstMembers, &QListView::clicked, this,
            [&actions](const QModelIndex &i) { actions.lstMembersClick(i.row()); });
    connect(lstMembers, &QListView::doubleClicked, this,
            [&actions](const QModelIndex &i) { actions.lstMembersDblClick(i.row()); });
    connect(&actions, &MemberActions::focusTextRequested, this, &RosterPanel::focusTextRequested);
    connect(&actions, &MemberActions::memberButtonsVisible, this, &RosterPanel::memberButtonsVisible);
    mnuPUMembersPopup();
}

RosterPanel::~RosterPanel()
{
    // The model detaches from the roster before the view goes.
    lstMembers->setModel(nullptr);
    delete m_model;
}

int RosterPanel::selectedRow() const
{
    const QModelIndexList rows = lstMembers->selectionModel()->selectedIndexes();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void RosterPanel::mnuPUMembersPopup()
{
    const MembersPopup p = m_session.memberActions().mnuPUMembersPopup(selectedRow());
    mnuPage->setText(p.page);
    mnuIgnore->setText(p.ignore);
    mnuBoot->setText(p.boot);
    for (QAction *a : {mnuPage, mnuIgnore, mnuBoot})
        a->setEnabled(p.hasSelection);
    mnuBoot->setVisible(p.bootVisible);
    mnuSaveMember->setVisible(p.saveReportVisible);
    if (QAction *own = m_iconActions.value(QStringLiteral("mnuIcon")))
        own->setIcon(MemberIcons::icon(m_session.settings().icon));
    if (QAction *bbl = m_iconActions.value(QStringLiteral("mnuLong")))
        bbl->setChecked(m_session.awayCode() == 3);
    if (QAction *gn = m_iconActions.value(QStringLiteral("mnuAway")))
        gn->setChecked(m_session.awayCode() == 4);
}

void RosterPanel::requestFor(Request signal)
{
    const int row = selectedRow();
    if (row < 0)
        return;
    emit(this->*signal)(m_session.memberActions().nickAt(row), m_session.memberActions().idAt(row));
}

} // namespace hchat
