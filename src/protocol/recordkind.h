#pragma once

namespace hchat {

/// The kind of a record: its integer field `R`. One list for the client and
/// the server; docs/protocol.md says what each carries in each direction.
enum class RecordKind : int {
    Poll = 0,           ///< out: poll header; in: acknowledgement
    ChatLine = 1,       ///< a line said in a room (in: also every unknown kind)
    GlobalMessage = 2,  ///< out: staff line to every member
    PrivateMessage = 3, ///< one member to another
    Page = 4,           ///< out: page a member or a room; in: you are paged
    Presence = 5,       ///< out: own presence; in: a member's record
    Profile = 6,        ///< own profile and away text, or a member's profile
    RoomRecord = 7,     ///< a room's settings record
    Boot = 8,           ///< put a member out of a room
    SaveBulletin = 9,   ///< out: store a room's bulletin
    RoomRecordRequest = 11,
    RoomListRequest = 12,
    WhereIs = 13,
    RefreshMembers = 15, ///< out: ask for a room's members; in: one member of the list
    Statistics = 16,
    RoomUsage = 17,
    BufferSize = 18, ///< in: new value of the presence field `T`
    Bulletin = 20,   ///< out: ask for a room's bulletin; in: the bulletin
    ResetRoom = 21,
    RoomEntry = 25, ///< out: room entry request; in: entry refused
    RoomListSetup = 27,
    AdminCheck = 28, ///< out: does a password administer a room; in: the answer
    // Presence variants of the client; they travel as kind 5.
    PresenceNoSecond = 50, ///< presence with the watched second room cleared
    PresenceLeaving = 51,  ///< presence leaving every room
};

constexpr int kindNumber(RecordKind kind)
{
    return static_cast<int>(kind);
}

} // namespace hchat
