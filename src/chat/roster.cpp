#include "chat/roster.h"

#include "catalogue/cataloguetext.h"
#include "chat/chatlines.h"
#include "chat/chatsession.h"
#include "protocol/codec.h"
#include "protocol/field.h"
#include "protocol/records.h"
#include "transcript/transcriptsink.h"

namespace hchat {

namespace {

// The state part of `I`: up to three leading digits, 0 without any.
int leadingNumber(QStringView text, int maxDigits)
{
    int v = 0;
    int n = 0;
    for (QChar c : text) {
        if (n == maxDigits || c.unicode() < u'0' || c.unicode() > u'9')
            break;
        v = v * 10 + (c.unicode() - u'0');
        ++n;
    }
    return v;
}

} // namespace

Roster::Roster(ChatSession &session, QStringList &directory, QObject *parent)
    : QObject(parent), m_session(session), m_directory(directory), m_label(QStringLiteral("0 users"))
{
}

int Roster::TagOf(const QString &id)
{
    return id.isEmpty() ? 0 : id.back().unicode();
}

int Roster::MemberIndex(const QString &nick, const QString &id) const
{
    return m_list.find(nick, TagOf(id));
}

QString Roster::GetID(const QString &nick, int tag) const
{
    const QString head = nick + u'=';
    for (const QString &line : m_session.idDirectory()) {
        if (!line.startsWith(head))
            continue;
        if (tag != 0 && (line.size() == head.size() || line.back().unicode() != tag))
            continue;
        // After the nick and its "=", not after the first "=": a nick may hold one.
        return line.mid(head.size());
    }
    return {};
}

QString Roster::idAt(int row) const
{
    if (row < 0 || row >= count())
        return {};
    const RosterEntry &e = m_list.at(row);
    return GetID(e.nick, e.tag);
}

void Roster::setEntryIcon(int row, int icon)
{
    if (row < 0 || row >= count())
        return;
    m_list.update(row, icon, m_list.at(row).state);
}

void Roster::clear()
{
    m_list.clear();
    updateCount();
}

void Roster::setLblCount(const QString &text)
{
    if (text == m_label)
        return;
    m_label = text;
    emit lblCountChanged(m_label);
}

void Roster::updateCount()
{
    const int n = m_list.count();
    setLblCount(QString::number(n) + (n == 1 ? QStringLiteral(" user") : QStringLiteral(" users")));
}

void Roster::notice(const QString &text)
{
    m_session.sink()->ShowMessage(text, false, true);
}

void Roster::tick()
{
    int &countdown = m_newArrivalCountdown;
    if (countdown <= 0)
        return;
    --countdown;
    if (countdown == 1)
        m_list.replaceState(NewArrivalState, 0);
}

void Roster::DoUser(const QString &record)
{
    if (record.isEmpty())
        return;
    ChatSession &s = m_session;
    const ChatSettings &cfg = s.settings();

    const MemberRecord member = MemberRecord::decode(record);
    const QString &nick = member.nick;
    const QString &id = member.id;
    const int room = member.room;
    const bool in = room == cfg.room;
    const bool watching = member.watch == cfg.room;
    const bool ownNick = nick == cfg.nick;

    if (!in && !watching) {
        const int row = MemberIndex(nick, id);
        // Only somebody who was listed can be said to leave.
        if (row >= 0) {
            m_list.removeAt(row);
            if (!member.renamed.isEmpty() && room < 0) {
                // The same member under a new nick: its record follows.
                if (!ownNick)
                    notice(QStringLiteral("%1 is now known as %2").arg(nick, member.renamed));
                m_renamed.append(id);
                if (m_renamed.size() > 16)
                    m_renamed.removeFirst();
            } else if (cfg.showDepartures && s.quietPeriod() == 0 && !ownNick) {
                notice(nick + s.text(CatalogueText::Departure));
            }
        }
    }

    const QString line = nick + u'=' + id;
    if (room < 0) {
        m_directory.remove(line);
        updateCount(); // the entry may have gone above
        return;
    }

    if (ownNick && id == s.ownId()) {
        // The rooms handling ignores these during its hold-off, so our own
        // echo of an older announcement can't move us back.
        if (room != cfg.room && selectRoom1)
            selectRoom1(room);
        if (selectRoom2)
            selectRoom2(member.watch);
    }

    const QString &iField = member.icon;
    const qsizetype bar = iField.indexOf(u'|');
    int icon = toIntOrZero(bar < 0 ? QStringView(iField) : QStringView(iField).left(bar));
    if (icon > 98)
        icon -= 100;
    int state = bar < 0 ? 0 : leadingNumber(QStringView(iField).mid(bar + 1), 3);
    if (watching && !in)
        state = WatchingState;
    if (state == 0 && s.quietPeriod() == 0) {
        state = NewArrivalState;
        m_newArrivalCountdown = 14;
    }

    if (s.isIgnored(id))
        icon = IgnoredIcon;
    if (s.staffMode()) {
        const QString marked = s.text(CatalogueText::StaffIdMarker);
        if (!marked.isEmpty() && id.contains(marked))
            icon = IgnoredIcon;
    }

    m_directory.add(line);

    if (in || watching) {
        int row = MemberIndex(nick, id);
        if (row < 0) {
            if (!m_renamed.removeOne(id) && cfg.showArrivals && s.quietPeriod() == 0 && !ownNick && in)
                notice(nick + s.text(CatalogueText::Arrival));
            row = m_list.insert(nick, icon, state, TagOf(id));
        } else {
            row = m_list.update(row, icon, state);
        }
        // The server has not heard from the member since `Z` (server time).
        const auto silent = ChatLines::ServerStampTime(member.silentSince, cfg.zone);
        m_list.setNote(row,
                       silent ? QStringLiteral("no answer since ") + silent->toString(QStringLiteral("hh:mm"))
                              : QString());
    }
    updateCount();
}

} // namespace hchat
