#pragma once

#include "protocol/records.h"

#include <QObject>
#include <QString>
#include <QStringList>

namespace hchat {

class ChatSession;

/// The rules of the settings dialog's "Chat Room" tab, free of widgets: the
/// current room's record, when its fields unlock, and what closing sends.
///
/// The server keeps the room passwords. A room record tells only whether
/// the room has them (field `H`). The fields unlock at once for a room
/// without an administrator password; otherwise only when the server,
/// asked with the typed password (askServer()), grants it and sends the
/// whole record. Until then nothing edited here is sent.
class RoomEditor : public QObject
{
    Q_OBJECT
public:
    /// What the tab's fields show.
    struct Fields {
        QString name;
        QString setup;  ///< administrator password as typed
        QString access; ///< access password
        int icon = 0;
        int server = 0;
        QString caption;
        QString web;
        QString welcome;      ///< lines broken by "\n"
        QString accessDenied; ///< lines broken by "\n"
        QStringList roots;
        QStringList booted;
        QString editor; ///< "Last edited by"
    };

    /// Longest bulletin, in characters (line breaks counted as two).
    static constexpr int BulletinLimit = 8000;

    explicit RoomEditor(ChatSession &session, QObject *parent = nullptr);

    /// Fills from the current room (steps 1 to 4 of filling the tab) and,
    /// when there is a typed password to try (or the user is staff), asks
    /// the server.
    void fill();

    int room() const { return m_room; }
    /// What the fields show now: after fill(), a grant or a reset.
    const Fields &shown() const { return m_shown; }
    bool isUnlocked() const { return m_unlocked; }
    /// The room has an administrator password (as far as we know).
    bool hasAdminPassword() const
    {
        return (!m_whole && m_record.flags.adminPassword) || !m_record.adminPassword.isEmpty();
    }
    /// The room has an access password that we may not see.
    bool hasHiddenAccessPassword() const { return !m_whole && m_record.flags.accessPassword; }
    /// The server confirmed our staff rights: "Reset" may be used.
    bool staffConfirmed() const { return m_staffConfirmed; }
    /// A question to the server is under way.
    bool isAsking() const { return m_asking; }
    /// The server refused the password last asked with.
    bool wasRefused() const { return m_refused; }
    /// The password last asked with.
    QString lastAsked() const { return m_lastAsked; }
    bool roomChanged() const { return m_roomChanged; }
    bool bulletinChanged() const { return m_bulletinChanged; }
    /// The icon list's highest number: 64 for staff, else 62, or the room's
    /// own icon when higher.
    int highestIcon() const;

    // What the user does.
    /// Each change of the administrator password box.
    void setupEdited(const QString &typed, const QString &access);
    /// Enter, leaving the box, or a pause after typing: asks the server
    /// whether the typed password administers the room. Nothing is asked
    /// twice in a row, nor while the fields are unlocked (staff excepted,
    /// until the server confirmed them).
    void askServer(const QString &typed);
    /// Any change of an edit box, memo or list: counts only while unlocked.
    void fieldEdited() { m_roomChanged = m_unlocked; }
    /// A change of the bulletin; `visible` is whether the bulletin shows.
    void bulletinEdited(bool visible) { m_bulletinChanged = m_bulletinChanged || visible; }
    /// "Reset" (staff): clears the room, unlocks, sends kind 21.
    void reset();

    /// Closing: the room record (kind 7) when the room changed and the room
    /// is in the room list, then the bulletin (kinds 0 and 9) when it changed.
    void close(const Fields &fields, const QString &bulletin);

    /// The bulletin as it is sent: at most 8000 characters with line breaks
    /// counted as CR LF, and never more bytes on the wire than the server
    /// takes (WireLimits::maxBulletinBytes).
    static QString fitBulletin(const QString &text);
    /// The approved roots without the web site's own base address.
    static QStringList approvedRoots(const QStringList &roots, const QString &siteBase);

signals:
    /// The unlock state, or what the server said, changed.
    void changed();
    /// The fields show other values (the whole record after a grant, a reset).
    void fieldsReplaced();
    /// The server told the access password of a room whose fields were
    /// already open: for the access box, when the user left it empty.
    void accessLearned(const QString &access);

private:
    void enableAll();
    void storePair(const QString &setup, const QString &access);
    void showRecord();
    void onGranted(int room, const RoomRecord &record);
    void onRefused(int room);
    /// The record's edited fields from what the boxes hold (no `J`).
    RoomRecord recordFields(const Fields &f) const;

    ChatSession &m_session;
    int m_room = 0;
    RoomRecord m_record;   ///< the public one, or the whole one once granted
    RoomRecord m_received; ///< the record as the server last gave it; a reset leaves it
    Fields m_shown;
    QString m_typed;
    QString m_lastAsked;
    bool m_asked = false;
    bool m_asking = false;
    bool m_refused = false;
    bool m_whole = false;
    bool m_unlocked = false;
    bool m_staffConfirmed = false;
    bool m_roomChanged = false;
    bool m_bulletinChanged = false;
};

} // namespace hchat
