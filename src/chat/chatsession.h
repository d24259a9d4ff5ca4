#pragma once

#include "chat/attention.h"
#include "chat/chatlines.h"
#include "chat/chatsettings.h"
#include "chat/connection.h"
#include "chat/memberactions.h"
#include "chat/membercommands.h"
#include "chat/ownlines.h"
#include "chat/privatemessages.h"
#include "chat/roomlist.h"
#include "chat/rooms.h"
#include "chat/roster.h"
#include "chat/sinkholder.h"
#include "chat/textentry.h"
#include "protocol/wirelimits.h"

#include <QDateTime>
#include <QObject>
#include <QStringList>

#include <functional>
#include <memory>
#include <type_traits>

namespace hchat {

class Catalogue;
class SealedLink;
class TranscriptSink;
class Transport;
struct SealKeyPair;

/// The state of the chat window that is not a widget, and the handlers that
/// work on it. Components of the chat layer (link wiring, chat lines, roster,
/// rooms, member commands, private messages) hang off this object; the
/// window shows its state and forwards user actions to it.
class ChatSession : public QObject
{
    Q_OBJECT
public:
    explicit ChatSession(QObject *parent = nullptr);
    ~ChatSession() override;

    /// The settings, read by everyone; written through the operations below.
    const ChatSettings &settings() const { return m_settings; }
    /// The settings read at start: the icon shown starts as the chosen one,
    /// and the staff flag follows the nick.
    void applySettings(const ChatSettings &loaded);
    /// One value of the settings, as it is (the nick has setNick).
    template <typename T> void set(T ChatSettings::*field, std::type_identity_t<T> value)
    {
        m_settings.*field = std::move(value);
    }
    /// A switch of the window's menus or the settings dialog's view boxes.
    void setOption(bool ChatSettings::*option, bool on);
    /// Several values at once (geometry, the dialog's apply); a nick changed
    /// by the edit follows the nick rule, and the staff flag follows it.
    void editSettings(const std::function<void(ChatSettings &)> &edit);
    /// The server address in one place of the list; the key held for the old
    /// address does not go with the new one.
    void setServer(int place, const QString &address);
    /// The sealed link on `inner`: it keeps the server keys it learns in the settings.
    std::unique_ptr<SealedLink> makeSealedLink(Transport &inner, SealKeyPair member);

    // Rooms: the room list and the room-pass list, records addressed by room number.
    const RoomList &rooms() const { return m_rooms; }
    void setRooms(QStringList records) { m_rooms.entries = std::move(records); }
    void setRoomEntry(int room, const QString &record) { m_rooms.setEntry(room, record); }
    const RoomList &passes() const { return m_passes; }
    void setPasses(QStringList records) { m_passes.entries = std::move(records); }
    void setPassEntry(int room, const QString &record) { m_passes.setEntry(room, record); }
    QString PassField(int index, char name) const { return m_passes.RoomField(index, name); }

    /// 8-character ID prefixes.
    const QStringList &ignoreList() const { return m_ignoreList; }
    void setIgnoreList(QStringList prefixes) { m_ignoreList = std::move(prefixes); }
    /// Adds the prefix to the ignore list, or removes every copy of it.
    void ignore(const QString &prefix, bool on);
    /// "nick=ID" lines.
    const QStringList &idDirectory() const { return m_idDirectory; }
    void setIdDirectory(QStringList lines) { m_idDirectory = std::move(lines); }
    /// Keyword alert lines.
    const QStringList &keywords() const { return m_keywords; }
    void setKeywords(QStringList lines) { m_keywords = std::move(lines); }
    /// Favourite URLs.
    const QStringList &favourites() const { return m_favourites; }
    void setFavourites(QStringList urls) { m_favourites = std::move(urls); }

    /// Home of the stored lists; trailing '/'.
    const QString &programFolder() const { return m_programFolder; }
    void setProgramFolder(const QString &folder) { m_programFolder = folder; }
    /// Shipped read-only data (chat.dll, Media/); trailing '/'.
    const QString &installFolder() const { return m_installFolder; }
    void setInstallFolder(const QString &folder) { m_installFolder = folder; }
    /// Where the logs go, with a trailing '/'.
    const QString &logFolder() const { return m_logFolder; }
    void setLogFolder(const QString &folder) { m_logFolder = folder; }
    bool standAlone() const { return m_standAlone; }
    void setStandAlone(bool on) { m_standAlone = on; }

    /// The own nick is one of the staff's (see setNick).
    bool staffMode() const { return m_staffMode; }
    /// The staff flag without a catalogue to tell; the next setNick or
    /// refreshStaffMode follows the rule again.
    void setStaffMode(bool on) { m_staffMode = on; }

    /// Member prefix (8) + per-run character.
    const QString &ownId() const { return m_ownId; }
    void setOwnId(const QString &id) { m_ownId = id; }
    /// An ID of the stored prefix (settings.memberId, made when there is no
    /// usable one) with a new per-run character when ours is not of it;
    /// `refused`: one unlike ours in any case.
    void renewOwnId(bool refused = false);

    int awayCode() const { return m_awayCode; }
    void setAway(int code) { m_awayCode = code; }
    /// The icon shown, which starts as settings.icon.
    int currentIcon() const { return m_currentIcon; }
    void setIcon(int icon) { m_currentIcon = icon; }
    /// The icon chosen in the settings, shown from now on.
    void chooseIcon(int icon);

    /// Ticks in which arrivals and departures make no sound or line.
    int quietPeriod() const { return m_quietPeriod; }
    void setQuietPeriod(int ticks) { m_quietPeriod = ticks; }
    /// The quiet period set when the log is switched on.
    static constexpr int loggingQuietTicks = 20;

    /// Download progress reaches the dialog only while it is open; closing
    /// it shows the state again.
    bool settingsDialogOpen() const { return m_settingsDialogOpen; }
    void setSettingsDialogOpen(bool open);

    ChatLines &chatLines() { return m_chatLines; } ///< inbound chat lines (DoMessage)
    Roster &roster() { return m_roster; }          ///< members list and ID directory (DoUser)
    const Roster &roster() const { return m_roster; }
    MemberActions &memberActions() { return m_memberActions; }       ///< icon menu and members-list clicks
    Connection &connection() { return m_connection; }                ///< the datagram link; Send() goes here
    Rooms &roomHandling() { return m_roomHandling; }                 ///< room list, rooms, entry and refusal
    MemberCommands &memberCommands() { return m_memberCommands; }    ///< members menu, profile, where-is
    TextEntry &textEntry() { return m_textEntry; }                   ///< `memText`: lines typed by the user
    PrivateMessages &privateMessages() { return m_privateMessages; } ///< kind 3 in and out, per correspondent
    Attention &attention() { return m_attention; }                   ///< unread count and alerts
    OwnLines &ownLines() { return m_ownLines; }                      ///< own lines until the server took them

    /// Services, owned elsewhere. The catalogue is null until wired; the
    /// sink is always there (one that drops lines until wired, or null).
    const Catalogue *catalogue() const { return m_catalogue; }
    void setCatalogue(const Catalogue *catalogue) { m_catalogue = catalogue; }
    TranscriptSink *sink() const { return m_sink.operator->(); }
    void setSink(TranscriptSink *sink) { m_sink = sink; }

    /// The clock every handler reads; tests replace it.
    QDateTime now() const { return m_clock(); }
    void setClock(std::function<QDateTime()> clock) { m_clock = std::move(clock); }

    /// A test's recorder: when set, records go to it instead of the link.
    void setSender(std::function<void(int kind, const QString &data)> sender)
    {
        m_sender = std::move(sender);
    }
    /// Queues a record of the given kind (see the link for kinds 0, 5, 50,
    /// 51): the number of the record that carries it, to follow it until the
    /// server takes it; 0 when nothing was queued (a recorder took it, no
    /// nick yet, or the link is closed).
    quint32 Send(int kind, const QString &data = QString());
    quint32 Send(RecordKind kind, const QString &data = QString()) { return Send(kindNumber(kind), data); }

    /// The nick rule: what the chat keeps of a nick (WireLimits::maxNickChars characters).
    static QString fitNick(const QString &nick) { return nick.left(WireLimits::maxNickChars); }
    /// Sets the own nick by the nick rule; the staff flag follows it.
    void setNick(const QString &nick);
    /// The staff flag again, after the catalogue that names the staff changed.
    void refreshStaffMode();

    /// The ID's 8-character prefix is on the ignore list. An empty ID never
    /// is: a blank line in the list must not hide every server notice.
    bool isIgnored(const QString &id) const;

    /// Catalogue text n, or the empty text when no catalogue is wired.
    QString text(int n) const;

    /// One 500 ms tick of the chat timer. A tick long after the one before
    /// means the machine slept: the link announces us again at once.
    void tick();
    /// Ticks further apart than this (milliseconds of `now`) mean a sleep.
    static constexpr int wakeGapMs = 20000;

    /// Routes one received record by its kind `R` (the link handles 0, 4 and 18 itself).
    void dispatch(int kind, const QString &record);

private:
    ChatSettings m_settings;
    RoomList m_rooms;
    RoomList m_passes;
    QStringList m_ignoreList;
    QStringList m_idDirectory;
    QStringList m_keywords;
    QStringList m_favourites;
    QString m_ownId;
    QString m_programFolder;
    QString m_installFolder;
    QString m_logFolder;
    bool m_standAlone = true;
    bool m_staffMode = false;
    int m_awayCode = 0;
    int m_currentIcon = 0;
    int m_quietPeriod = 0;
    bool m_settingsDialogOpen = false;
    const Catalogue *m_catalogue = nullptr;
    SinkHolder m_sink;
    std::function<QDateTime()> m_clock = [] { return QDateTime::currentDateTime(); };
    std::function<void(int kind, const QString &data)> m_sender;
    QDateTime m_lastTick;

    // The components last: they hold references to the state above.
    ChatLines m_chatLines{*this};
    Roster m_roster{*this, m_idDirectory};
    MemberActions m_memberActions{*this};
    Connection m_connection{*this};
    Rooms m_roomHandling{*this};
    MemberCommands m_memberCommands{*this};
    TextEntry m_textEntry{*this};
    PrivateMessages m_privateMessages{*this};
    Attention m_attention{m_settings};
    OwnLines m_ownLines{m_sink};

signals:
    void stateChanged();
    /// Kind 20: a room's bulletin, for the settings dialog's room tab.
    void bulletinArrived(int room, const QString &text);
};

} // namespace hchat
