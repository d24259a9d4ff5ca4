#pragma once

class QPainter;

namespace hchat {

/// Draws member icon `index` on a 16 x 16 grid at the painter's origin;
/// scale the painter for other sizes. Icon 0 draws nothing.
void drawMemberGlyph(QPainter &p, int index);

/// The grid drawMemberGlyph works on.
inline constexpr double MemberGlyphGrid = 16.0;

} // namespace hchat
