#pragma once

#include <QList>
#include <QObject>
#include <QString>

#include <functional>

namespace hchat {

class ChatSession;

/// One entry of the user's icon menu `mnuPUMembers`.
struct IconMenuEntry {
    enum class Kind {
        OwnIcon, ///< "My Icon": back to the default icon
        Icon,    ///< shows `value` as the user's icon
        Away,    ///< sets away state `value` ("bbl", "gn")
    };
    QString name;    ///< object name, `mnuPhone`
    QString caption; ///< menu text, "Phone"
    Kind kind = Kind::Icon;
    int value = 0;    ///< icon number or away state; -1 for My Icon
    QString shortcut; ///< portable key text, "Ctrl+P"
};

/// Captions and visibility of the members pop-up menu for one selection.
struct MembersPopup {
    bool hasSelection = false;
    bool saveReportVisible = false; ///< "Save Member Report": staff only
    bool bootVisible = false;       ///< the user administers the room
    bool ignored = false;           ///< the selection is on the ignore list
    QString page = QStringLiteral("Page");
    QString ignore = QStringLiteral("Ignore");
    QString boot = QStringLiteral("Boot");
};

/// What the user does with the members list and the icon menu, as plain
/// logic on the session; the roster panel forwards its clicks here.
class MemberActions : public QObject
{
    Q_OBJECT
public:
    explicit MemberActions(ChatSession &session, QObject *parent = nullptr);

    /// The icon menu in menu order, with every caption, icon and shortcut.
    static const QList<IconMenuEntry> &iconMenu();
    /// Carries out an icon-menu entry (mnuIconClick or mnuAwayClick).
    void run(const IconMenuEntry &entry);

    /// Shows `icon` as the user's icon, or the default icon for -1 ("My
    /// Icon") and for the icon already shown; announces presence.
    void mnuIconClick(int icon);
    /// Away state 3 ("bbl") or 4 ("gn"), back to 0 when chosen again;
    /// announces presence.
    void mnuAwayClick(int code);

    /// A click on a row (-1: none): staff see the member's ID in `lblCount`;
    /// the member buttons appear.
    void lstMembersClick(int row);
    /// A double click: buttons hidden, focus to the text entry; on the user's
    /// own entry toggles "gn - Away", on another member opens a private message.
    void lstMembersDblClick(int row);
    /// Captions and visibility of the pop-up menu for the selected row (-1: none).
    MembersPopup mnuPUMembersPopup(int row) const;
    /// Staff only: writes "Members.txt" in the log folder, one line per
    /// entry in list order: nick, ",", the ID's first 8 characters. False
    /// when not staff or the file can't be written (nothing half-written).
    bool mnuSaveMemberClick();

    /// The row is the user's own entry.
    bool isOwnEntry(int row) const;
    /// Nick and ID of a row; empty when out of range.
    QString nickAt(int row) const;
    QString idAt(int row) const;

    /// Seams of the other handlers; unset they do nothing.
    std::function<void(const QString &nick, const QString &id)> openPrivateMessage;
    std::function<bool()> administersRoom;

signals:
    /// Focus goes back to the text entry `memText`.
    void focusTextRequested();
    /// The member buttons under the list appear or hide.
    void memberButtonsVisible(bool visible);

private:
    ChatSession &m_session;
};

} // namespace hchat
