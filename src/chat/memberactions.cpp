#include "chat/memberactions.h"

#include "chat/chatsession.h"
#include "protocol/atomicfile.h"
#include "protocol/recordkind.h"
#include "transcript/logfolder.h"

#include <QDir>

namespace hchat {

MemberActions::MemberActions(ChatSession &session, QObject *parent) : QObject(parent), m_session(session) {}

const QList<IconMenuEntry> &MemberActions::iconMenu()
{
    using K = IconMenuEntry::Kind;
    static const QList<IconMenuEntry> menu{
        {QStringLiteral("mnuIcon"), QStringLiteral("My Icon"), K::OwnIcon, -1, QStringLiteral("Ctrl+M")},
        {QStringLiteral("mnuBlank"), QStringLiteral("Blank"), K::Icon, 0, QStringLiteral("Ctrl+N")},
        {QStringLiteral("mnuQuestion"), QStringLiteral("Question"), K::Icon, 62, QStringLiteral("Ctrl+Q")},
        {QStringLiteral("mnuPhone"), QStringLiteral("Phone"), K::Icon, 1, QStringLiteral("Ctrl+P")},
        {QStringLiteral("mnuShort"), QStringLiteral("brb - Short break"), K::Icon, 2,
         QStringLiteral("Ctrl+B")},
        {QStringLiteral("mnuLong"), QStringLiteral("bbl - Long break"), K::Away, 3, QStringLiteral("Ctrl+O")},
        {QStringLiteral("mnuAway"), QStringLiteral("gn - Away"), K::Away, 4, QStringLiteral("Ctrl+A")},
        {QStringLiteral("mnuHappy"), QStringLiteral("Happy"), K::Icon, 5, QStringLiteral("Ctrl+H")},
        {QStringLiteral("mnuLaugh"), QStringLiteral("Laugh"), K::Icon, 6, QStringLiteral("Ctrl+L")},
        {QStringLiteral("mnuSad"), QStringLiteral("Sad"), K::Icon, 9, QStringLiteral("Ctrl+S")},
        {QStringLiteral("mnuThumbup"), QStringLiteral("Thumb up"), K::Icon, 18, QStringLiteral("Ctrl+T")},
        {QStringLiteral("mnuThumbdown"), QStringLiteral("Thumb down"), K::Icon, 19, QStringLiteral("Ctrl+Y")},
        {QStringLiteral("mnuUp"), QStringLiteral("Up arrow"), K::Icon, 20, QStringLiteral("Ctrl+U")},
        {QStringLiteral("mnuDown"), QStringLiteral("Down arrow"), K::Icon, 21, QStringLiteral("Ctrl+D")},
        {QStringLiteral("mnuRight"), QStringLiteral("Right arrow"), K::Icon, 23, QStringLiteral("Ctrl+R")},
        {QStringLiteral("mnuWatch"), QStringLiteral("Watch"), K::Icon, 28, QStringLiteral("Ctrl+W")},
        {QStringLiteral("mnuCaution"), QStringLiteral("Caution"), K::Icon, 29, QStringLiteral("Ctrl+G")},
    };
    return menu;
}

void MemberActions::run(const IconMenuEntry &entry)
{
    if (entry.kind == IconMenuEntry::Kind::Away)
        mnuAwayClick(entry.value);
    else
        mnuIconClick(entry.kind == IconMenuEntry::Kind::OwnIcon ? -1 : entry.value);
}

void MemberActions::mnuIconClick(int icon)
{
    ChatSession &s = m_session;
    s.setIcon((icon < 0 || icon == s.currentIcon()) ? s.settings().icon : icon);
    s.Send(RecordKind::Presence); // the link builds presence from the session's icon and away code
    emit focusTextRequested();
}

void MemberActions::mnuAwayClick(int code)
{
    ChatSession &s = m_session;
    s.setAway(s.awayCode() == code ? 0 : code);
    s.Send(RecordKind::Presence);
    emit focusTextRequested();
}

QString MemberActions::nickAt(int row) const
{
    const Roster &r = m_session.roster();
    return row >= 0 && row < r.count() ? r.entry(row).nick : QString();
}

QString MemberActions::idAt(int row) const
{
    return m_session.roster().idAt(row);
}

bool MemberActions::isOwnEntry(int row) const
{
    const Roster &r = m_session.roster();
    if (row < 0 || row >= r.count())
        return false;
    const RosterEntry &e = r.entry(row);
    const int ownTag = Roster::TagOf(m_session.ownId());
    return e.nick == m_session.settings().nick && (e.tag == 0 || ownTag == 0 || e.tag == ownTag);
}

void MemberActions::lstMembersClick(int row)
{
    if (row < 0 || row >= m_session.roster().count())
        return;
    if (m_session.staffMode())
        m_session.roster().setLblCount(idAt(row));
    emit memberButtonsVisible(true);
}

void MemberActions::lstMembersDblClick(int row)
{
    emit memberButtonsVisible(false);
    emit focusTextRequested();
    if (row < 0 || row >= m_session.roster().count())
        return;
    if (isOwnEntry(row))
        mnuAwayClick(4);
    else if (openPrivateMessage)
        openPrivateMessage(nickAt(row), idAt(row));
}

MembersPopup MemberActions::mnuPUMembersPopup(int row) const
{
    MembersPopup p;
    p.saveReportVisible = m_session.staffMode();
    p.bootVisible = administersRoom && administersRoom();
    if (row < 0 || row >= m_session.roster().count())
        return p;
    const QString nick = nickAt(row);
    p.hasSelection = true;
    p.ignored = m_session.isIgnored(idAt(row));
    p.page = QStringLiteral("Page ") + nick;
    p.ignore = (p.ignored ? QStringLiteral("Accept ") : QStringLiteral("Ignore ")) + nick;
    p.boot = QStringLiteral("Boot ") + nick;
    return p;
}

bool MemberActions::mnuSaveMemberClick()
{
    ChatSession &s = m_session;
    if (!s.staffMode() || s.logFolder().isEmpty())
        return false;
    if (!LogFolder::make(s.logFolder()))
        return false;
    QString text;
    for (int row = 0; row < s.roster().count(); ++row)
        text += s.roster().entry(row).nick + u',' + idAt(row).left(8) + u'\n';
#ifdef Q_OS_WIN
    text.replace(u'\n', QLatin1String("\r\n"));
#endif
    return AtomicFile::save(QDir(s.logFolder()).filePath(QStringLiteral("Members.txt")), text.toUtf8(),
                            nullptr, LogFolder::filePermissions);
}

} // namespace hchat
