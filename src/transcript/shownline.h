#pragma once

#include <QString>

namespace hchat {

/// What the renderer tells about each line it showed, for the parts of the
/// window that draw the user's attention (unread count, notifications).
struct ShownLine {
    QString text;          ///< as handed to ShowMessage, without the stamp
    bool second = false;   ///< in the second room's transcript
    bool notice = false;   ///< a purple notice line
    bool chatLine = false; ///< an ordinary line of a room (TimeStamp, TimeStamp2)
    bool own = false;      ///< the user's own line
    bool keyword = false;  ///< a word of the keyword list occurs in it
    bool nick = false;     ///< someone else's line that names the user
};

} // namespace hchat
