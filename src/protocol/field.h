#pragma once

namespace hchat {

/// Field letters of the tagged records. A letter means different things in
/// different kinds (docs/protocol.md has the table); the names say the most
/// common meaning and the comments the others.
namespace Field {
inline constexpr char Kind = 'R';
inline constexpr char Sequence = 'K';      ///< poll and acknowledgement: the sequence number
inline constexpr char Backlog = 'Q';       ///< acknowledgement: records still held for the client
inline constexpr char Token = 'L';         ///< poll and acknowledgement: the link token
inline constexpr char PreviousToken = 'X'; ///< announcing poll: the token of the session it follows
inline constexpr char ReplyNumber = 'Y';   ///< acknowledgement: this reply's number; poll: the last one taken
inline constexpr char RecordNumber =
    'O';                          ///< every client record: its number, for the server's duplicate rule
inline constexpr char Nick = 'N'; ///< also a room's name
inline constexpr char Id = 'E';   ///< member ID
inline constexpr char Text = 'M'; ///< chat text, PM, profile, bulletin, welcome text
inline constexpr char Room = '#';
inline constexpr char Watch = 'W';     ///< watched second room; in kind 25 the watch flag
inline constexpr char Icon = 'I';      ///< "icon|away code", or a room's icon
inline constexpr char Buffer = 'T';    ///< presence value t
inline constexpr char Colour = 'F';    ///< RGB, red in the low byte
inline constexpr char Time = 'Z';      ///< server time hh:mm:ss
inline constexpr char Url = 'U';       ///< profile URL, or a room's web address
inline constexpr char Automatic = 'A'; ///< kind 3: automatic answer; kinds 7, 25: access-denied text
inline constexpr char AdminPassword = 'S';
inline constexpr char AccessPassword = 'B';
inline constexpr char ServerChoice = 'P';
inline constexpr char Caption = 'C';
inline constexpr char Roots = 'V';   ///< approved URL roots
inline constexpr char Booted = 'G';  ///< booted users
inline constexpr char Editor = 'J';  ///< nick of a room record's last editor
inline constexpr char RoomHas = 'H'; ///< what a room has (passwords, access); see RoomFlags
/// A departure (kind 5, `#` = -1): the nick the member goes on under, when
/// it only changed its nick.
inline constexpr char Renamed = 'D';
/// Relayed chat lines: the line's number in the order the server relayed
/// them; the acknowledgement: the number of the first line the poll carried.
inline constexpr char LineNumber = 'X';
} // namespace Field

} // namespace hchat
