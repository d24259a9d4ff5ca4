#pragma once

#include "endpoint.h"
#include "guesslimiter.h"
#include "protocol/numberwindow.h"
#include "sourcestate.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <array>
#include <memory>

namespace hchat {

/// One client known to the server, from its first poll until it leaves or
/// falls silent. Kept small: an idle session costs well under 4 KiB.
struct Session {
    quint32 token = 0; ///< link token packed into 4 bytes (see ChatServer::tokenText)
    Endpoint peer;     ///< the address the token was issued to
    qint64 openedMs = 0;
    qint64 lastSeenMs = 0;
    bool verified = false;  ///< the peer has echoed its token: full replies allowed
    bool announced = false; ///< a presence record has been seen
    bool leaving = false;   ///< left every room: ends once its poll is answered
    /// Silent past ServerLimits::lostMs (or kept across a restart): others
    /// see it away, what is said waits for it, more tightly bounded.
    bool away = false;
    QString silentSince; ///< "hh:mm:ss" server time of its last poll, while away
    int missed = 0;      ///< records dropped from its queue since it last heard of it
    /// Told that news waits (NewsDatagram) since its last poll, and when.
    bool toldNews = false;
    qint64 newsMs = 0;
    quint64 serial = 0; ///< tells this session from an earlier one with the same token
    /// The records of the first poll: they run when the token comes back, so
    /// a poll from a forged address reaches nobody.
    QByteArray firstRecords;
    /// The token of the session of this peer its first poll named as the one
    /// it follows (0: none): the proof for taking over that one's rights.
    quint32 previousToken = 0;
    /// The token its client knew before a restart (0: none): the session
    /// kept across it has a fresh one nobody knows.
    quint32 formerToken = 0;

    // Poll discipline: the last processed K and the records it carried, kept
    // as hash and length so a resent poll is recognised without storing it.
    int lastK = -1;
    quint64 lastRecordsHash = 0;
    int lastRecordsLength = 0;
    /// The numbers (`O`) of the records taken: a record resent in any later
    /// poll is not run again.
    NumberWindow records;

    // Replies to a client that echoes reply numbers: the number of the last
    // reply that carried records, and those records until the client's poll
    // shows it took them.
    bool echoesReplies = false;
    quint32 replyNumber = 0;
    QList<QByteArray> held;

    // Member state from presence (kind 5).
    QString nick;
    QString id;
    QString icon = QStringLiteral("0"); ///< "icon|state" as sent
    int room = -1;
    int watch = -1;
    int colour = -1;  ///< font colour of the member's last line; -1 until one is seen
    QString awayUser; ///< profile and away text (kind 6)
    QString awayText;

    /// Records waiting for the client's next poll: one record, or the
    /// records of one relay joined by line feeds (so a burst of lines costs
    /// each member of the room one entry, not one per line).
    struct Waiting {
        QByteArray bytes; ///< without the last line feed
        int records = 1;
    };
    QList<Waiting> queue;
    qsizetype queueBytes = 0; ///< their bytes, a line feed each record counted
    int queueRecords = 0;
    /// The changes of room records (ChatServer::roomChanged) it was sent.
    quint64 roomsSeen = 0;
    /// The room list being sent (made once and shared) and how much of it
    /// went: a newcomer costs a pointer, not a copy of every room.
    std::shared_ptr<const QList<QByteArray>> roomList;
    qsizetype roomListSent = 0;

    /// The member record (kind 5) as relayed, made once per change.
    QByteArray record;
    quint64 mark = 0; ///< the last broadcast that reached it (one copy per broadcast)

    Allowance lines; ///< chat lines, messages and pages (see throttled())
    bool rateNoticed = false;
    Allowance edits; ///< room settings, bulletins, boots and resets

    QList<int> adminRooms;   ///< rooms whose administrator password this session proved
    QList<int> grantedRooms; ///< protected rooms this session was let into
    /// The staff nick (upper case) whose password this session gave; staff
    /// rights hold while the member goes by that nick.
    QString provedStaff;
    GuessLimiter::Window guesses; ///< wrong password guesses of this session
    /// The last wrong guesses, hashed: a guess known wrong is not weighed or
    /// counted again (one kind 25 is weighed twice, with two passwords).
    std::array<size_t, 4> wrongGuesses{};
    quint8 nextWrongGuess = 0;

    QString idPrefix() const { return id.left(8); }
};

} // namespace hchat
