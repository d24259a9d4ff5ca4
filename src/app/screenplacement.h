#pragma once

#include <QRect>

namespace hchat {

/// Brings a stored window rectangle back onto the desktop: a window saved on
/// a screen that is no longer there must not open out of sight.
QRect bringOnDesktop(QRect window, const QRect &desktop);

} // namespace hchat
