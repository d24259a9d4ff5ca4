#pragma once

#include <QRect>

namespace hchat {

/// Brings a stored window rectangle back onto the desktop: a window saved on
/// a screen that is no longer there must not open out of sight.
QRect bringOnDesktop(QRect window, const QRect &desktop);

/// The window at start-up from its stored rectangle: no larger than the
/// screen it opens on (a stored size of any magnitude fits), no smaller than
/// a usable 200 x 150 where the screen allows, and brought onto the desktop.
QRect restoredWindow(const QPoint &corner, const QSize &stored, const QRect &desktop, const QSize &screen);

} // namespace hchat
