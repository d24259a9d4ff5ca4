#pragma once

#include <QIcon>
#include <QPixmap>

namespace hchat {

/// `imgMembers`: the member icons 0 to 64, drawn here at whatever size and
/// pixel ratio they are asked for, so they stay crisp on high-DPI screens.
/// The icons of the icon menu look like their captions; 30 marks an ignored
/// member, 12 one who only watches the room, 13 a new arrival; every other
/// number is a coloured badge showing the number.
class MemberIcons
{
public:
    static constexpr int Count = 65;

    /// The icon with this index; a numbered badge past the named ones, the
    /// null icon outside 0..64.
    static QIcon icon(int index);
    /// The same as a pixmap of `size` logical pixels at the given pixel ratio.
    static QPixmap pixmap(int index, int size, qreal devicePixelRatio = 1.0);
    /// What an icon shows, for tooltips and accessibility ("Phone", "Icon 7").
    static QString name(int index);
};

} // namespace hchat
