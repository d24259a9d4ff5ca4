#include "settings/roomeditor.h"

#include "catalogue/cataloguetext.h"
#include "chat/chatsession.h"
#include "protocol/codec.h"
#include "protocol/field.h"
#include "protocol/wirelimits.h"
#include "protocol/wiretext.h"
#include "transcript/groom.h"
#include "transcript/transcriptsink.h"

namespace hchat {

namespace {

const QString kVacant = QStringLiteral("Vacant");
const QString kCrLf = QStringLiteral("\r\n");

// Lines of a multi-line field, as the lists show them.
QStringList lines(const QString &value)
{
    QStringList out;
    for (const QString &l : value.split(kCrLf, Qt::SkipEmptyParts))
        if (!l.trimmed().isEmpty())
            out << l.trimmed();
    return out;
}

QString memoText(QString value)
{
    return value.replace(kCrLf, QStringLiteral("\n"));
}

} // namespace

RoomEditor::RoomEditor(ChatSession &session, QObject *parent) : QObject(parent), m_session(session)
{
    connect(&session.roomHandling(), &Rooms::adminGranted, this, &RoomEditor::onGranted);
    connect(&session.roomHandling(), &Rooms::adminRefused, this, &RoomEditor::onRefused);
}

int RoomEditor::highestIcon() const
{
    return qMax(m_session.staffMode() ? 64 : 62, toIntOrZero(m_record.icon));
}

void RoomEditor::showRecord()
{
    const RoomRecord &r = m_record;
    Fields &f = m_shown;
    // 1, 2: the record's fields.
    f.name = r.name.isEmpty() ? m_session.roomHandling().roomLabel(m_room) : r.name;
    f.editor = r.editor;
    f.caption = r.caption;
    if (f.name == kVacant && f.caption.isEmpty())
        f.caption = QStringLiteral("This room is available");
    f.web = r.url;
    f.server = qBound(0, toIntOrZero(r.serverChoice), 2);
    f.roots = lines(r.roots);
    f.booted = lines(r.booted);
    f.welcome = memoText(r.welcome);
    f.accessDenied = memoText(r.denied);
    f.icon = qMax(0, toIntOrZero(r.icon));
}

void RoomEditor::fill()
{
    m_room = m_session.settings().room;
    m_record = RoomRecord::decode(m_session.rooms().entry(m_room));
    m_whole = m_unlocked = m_staffConfirmed = m_asked = m_asking = m_refused = false;
    m_roomChanged = m_bulletinChanged = false;
    m_shown = Fields();
    m_received = m_record;
    showRecord();

    // 3: the password this user last typed for the room.
    const QString typed = m_session.PassField(m_room, Field::AdminPassword);
    if (m_session.staffMode() || typed != m_record.adminPassword)
        m_shown.setup = typed;
    m_typed = m_shown.setup;

    // 4: a room nobody administers is open to all. One that has an
    // administrator stays locked until the server says otherwise, whatever
    // an old stored record may hold.
    if (!hasAdminPassword())
        enableAll();
    if (!m_shown.setup.isEmpty() || m_session.staffMode()) {
        askServer(m_shown.setup);
    } else if (!hasAdminPassword() && hasHiddenAccessPassword() && m_room != 0) {
        // Open to all, but with an access password the server keeps: a
        // record sent without it would clear it, so learn it first.
        m_asking = true;
        m_session.roomHandling().requestAdmin(m_room, QString());
    }
}

void RoomEditor::enableAll()
{
    m_session.roomHandling().requestRoomSetup();
    m_shown.access = m_record.accessPassword;
    m_unlocked = true;
    m_roomChanged = m_record.adminPassword.isEmpty();
    emit changed();
}

void RoomEditor::storePair(const QString &setup, const QString &access)
{
    // A password we can't see (the server keeps it) is not forgotten because
    // its box is empty: entering the room still needs it.
    const QString s = QString(setup).remove(u'_');
    const QString b = QString(access).remove(u'_');
    const QString pair =
        AddS(s.isEmpty() ? m_session.PassField(m_room, Field::AdminPassword) : s, Field::AdminPassword) +
        AddS(b.isEmpty() ? m_session.PassField(m_room, Field::AccessPassword) : b, Field::AccessPassword);
    m_session.setPassEntry(m_room, pair);
}

void RoomEditor::setupEdited(const QString &typed, const QString &access)
{
    m_typed = m_shown.setup = typed;
    if (!m_unlocked && !hasAdminPassword())
        enableAll();
    if (m_whole && !typed.isEmpty() && QString(typed).remove(u'_') == m_record.adminPassword)
        m_roomChanged = m_unlocked;
    if (m_unlocked)
        storePair(typed, access);
}

void RoomEditor::askServer(const QString &typed)
{
    m_typed = m_shown.setup = typed;
    const bool staff = m_session.staffMode();
    if (m_unlocked && (!staff || m_staffConfirmed))
        return; // nothing more to learn
    if (!staff && (typed.isEmpty() || !hasAdminPassword()))
        return;
    if (m_asked && typed == m_lastAsked)
        return; // the same guess twice only costs one of the few we have
    m_asked = true;
    m_lastAsked = typed;
    m_asking = true;
    m_refused = false;
    m_session.roomHandling().requestAdmin(m_room, QString(typed).remove(u'_'));
    emit changed();
}

void RoomEditor::onGranted(int room, const RoomRecord &record)
{
    if (room != m_room)
        return;
    m_asking = false;
    m_record = m_received = record;
    m_whole = true;
    const bool staff = record.flags.staff;
    m_staffConfirmed = m_staffConfirmed || staff;
    // Staff may have typed their own password: the box then shows the
    // room's, so that closing never makes the staff password the room's.
    const QString &roomPassword = record.adminPassword;
    if (staff && QString(m_typed).remove(u'_') != roomPassword)
        m_typed = roomPassword;
    if (!m_unlocked) {
        // The fields were locked, so nobody edited them: show the whole record.
        showRecord();
        m_shown.setup = m_typed;
        enableAll();
        emit fieldsReplaced();
    } else if (m_shown.access.isEmpty()) {
        // Unlocked before the answer: only the access password was missing.
        m_shown.access = record.accessPassword;
        if (!m_shown.access.isEmpty())
            emit accessLearned(m_shown.access);
    }
    m_shown.setup = m_typed;
    setupEdited(m_typed, m_shown.access);
    emit changed();
}

void RoomEditor::onRefused(int room)
{
    if (room != m_room)
        return;
    m_asking = false;
    m_refused = true;
    emit changed();
}

RoomRecord RoomEditor::recordFields(const Fields &f) const
{
    // A box left as it was filled sends its field as it came: what was made
    // up for showing (a room's label as name, the placeholder caption, an
    // icon or server choice brought into range) is no edit.
    const auto field = [this](QString RoomRecord::*member, bool kept, const QString &edited) {
        return kept ? GroomMessage(m_record.*member) : edited;
    };
    const Fields &was = m_shown;
    const QStringList roots = approvedRoots(f.roots, m_session.text(CatalogueText::WebBase));
    const QStringList booted = lines(f.booted.join(kCrLf));
    return {.name = field(&RoomRecord::name, f.name == was.name, f.name),
            .adminPassword = QString(f.setup).remove(u'_'),
            .accessPassword = QString(f.access).remove(u'_'),
            .icon = field(&RoomRecord::icon, f.icon == was.icon, QString::number(f.icon)),
            .serverChoice =
                field(&RoomRecord::serverChoice, f.server == was.server, QString::number(f.server)),
            .caption = field(&RoomRecord::caption, f.caption == was.caption, f.caption),
            .url = field(&RoomRecord::url, f.web == was.web, f.web),
            .welcome = field(&RoomRecord::welcome, f.welcome == was.welcome, GroomMessage(f.welcome)),
            .denied =
                field(&RoomRecord::denied, f.accessDenied == was.accessDenied, GroomMessage(f.accessDenied)),
            .roots = GroomMessage(roots.join(kCrLf)),
            .booted = field(&RoomRecord::booted, booted == was.booted, GroomMessage(booted.join(kCrLf)))};
}

void RoomEditor::reset()
{
    // The server resets a room for proven staff only; offering it earlier
    // would only earn a refusal.
    if (!m_session.staffMode() || !m_staffConfirmed)
        return;
    m_shown = Fields();
    m_shown.name = QStringLiteral("Available by Request");
    // As the server keeps a reset room; m_received stays what it was before.
    m_record = {.name = m_shown.name, .icon = QStringLiteral("0")};
    m_whole = true;
    m_roomChanged = m_bulletinChanged = true;
    m_unlocked = true;
    m_session.roomHandling().resetRoom(m_room);
    emit fieldsReplaced();
    emit changed();
}

QStringList RoomEditor::approvedRoots(const QStringList &roots, const QString &siteBase)
{
    QStringList out;
    const QString base = siteBase.trimmed();
    for (const QString &r : roots) {
        const QString root = r.trimmed();
        if (root.isEmpty() || (!base.isEmpty() && root.compare(base, Qt::CaseInsensitive) == 0))
            continue;
        if (!out.contains(root))
            out << root;
    }
    return out;
}

QString RoomEditor::fitBulletin(const QString &text)
{
    // The memo breaks lines with LF; the limit counts them as CR LF.
    QString t = text;
    t.replace(kCrLf, QStringLiteral("\n")).replace(u'\n', kCrLf);
    t = t.left(BulletinLimit);
    if (t.endsWith(u'\r'))
        t.chop(1);
    // The server counts the bytes the text takes on the wire: text far from
    // ASCII, or with characters that travel behind a backslash, reaches its
    // limit in fewer characters. Cut where the server would still take it.
    if (encodeText(t).toUtf8().size() <= WireLimits::maxBulletinBytes)
        return t;
    qsizetype low = 0, high = t.size();
    while (low < high) {
        const qsizetype mid = (low + high + 1) / 2;
        if (encodeText(QStringView(t).first(mid)).toUtf8().size() <= WireLimits::maxBulletinBytes)
            low = mid;
        else
            high = mid - 1;
    }
    t.truncate(low);
    if (!t.isEmpty() && (t.back().isHighSurrogate() || t.back() == u'\r'))
        t.chop(1);
    return t;
}

void RoomEditor::close(const Fields &f, const QString &bulletin)
{
    if (m_roomChanged && m_room >= 0 && m_room < m_session.rooms().count()) {
        RoomRecord record = recordFields(f);
        // Only a record that differs from the one received is a change: the
        // server takes a record as the room's whole, so looking must not
        // rewrite it. Compared as it will be read back.
        const RoomRecord sent = RoomRecord::decode(record.encode());
        const bool differs = !sent.sameSettings(m_received);
        if (differs && hasHiddenAccessPassword() && sent.accessPassword.isEmpty()) {
            // Sent without it, the access password nobody here knows would go.
            m_session.sink()->ShowMessage(
                QStringLiteral("The settings of room %1 were not sent: its access password is kept by "
                               "the server. Type it (or a new one) as Access Password to save them.")
                    .arg(m_room),
                false, true);
        } else if (differs) {
            storePair(f.setup, f.access);
            record.editor = m_room == 0 ? QStringLiteral("Halvex Staff") : m_session.settings().nick;
            if (record.editor.isEmpty())
                record.editor = f.editor;
            m_session.roomHandling().writeRoom(m_room, record);
        }
    }
    if (m_bulletinChanged)
        m_session.roomHandling().writeBulletin(m_room, fitBulletin(bulletin));
}

} // namespace hchat
