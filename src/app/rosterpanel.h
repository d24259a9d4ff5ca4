#pragma once

#include <QHash>
#include <QWidget>

class QAction;
class QLabel;
class QListView;
class QMenu;

namespace hchat {

class ChatSession;
class RosterModel;

/// The window's members pane: the list `lstMembers` (small icons, bold
/// nicks, the state icon beside the member icon), the label `lblCount` and
/// the pop-up menu `mnuPUMembers` with the icon menu and the member items.
/// Clicks go to the session's MemberActions; the member commands go out as
/// signals for the window to run.
class RosterPanel : public QWidget
{
    Q_OBJECT
public:
    explicit RosterPanel(ChatSession &session, QWidget *parent = nullptr);
    ~RosterPanel() override;

    QListView *lstMembers = nullptr;
    QLabel *lblCount = nullptr;
    QMenu *mnuPUMembers = nullptr;
    QAction *mnuPage = nullptr;
    QAction *mnuIgnore = nullptr;
    QAction *mnuBoot = nullptr;
    QAction *mnuSaveMember = nullptr;

    /// The icon-menu action by entry name (`mnuPhone`); null when unknown.
    QAction *iconAction(const QString &name) const { return m_iconActions.value(name); }
    /// Every icon-menu action, with its Ctrl shortcut.
    QList<QAction *> iconActions() const { return m_iconActions.values(); }
    /// Row of the current selection; -1 when none.
    int selectedRow() const;
    /// Sets the menu's captions and visibility for the selection, as before showing it.
    void mnuPUMembersPopup();

signals:
    /// Member items of the pop-up menu, for the member commands.
    void pageRequested(const QString &nick, const QString &id);
    void ignoreRequested(const QString &nick, const QString &id);
    void bootRequested(const QString &nick, const QString &id);
    /// Forwarded from MemberActions: focus back to `memText`, member buttons.
    void focusTextRequested();
    void memberButtonsVisible(bool visible);
    /// "Save Member Report" could not write its file.
    void saveReportFailed(const QString &path);

private:
    using Request = void (RosterPanel::*)(const QString &nick, const QString &id);
    void requestFor(Request signal);

    ChatSession &m_session;
    RosterModel *m_model = nullptr;
    QHash<QString, QAction *> m_iconActions;
};

} // namespace hchat
