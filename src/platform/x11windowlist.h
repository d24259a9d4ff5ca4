#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

namespace hchat {

/// The top-level windows of an X display, read over xcb.
class X11WindowList
{
public:
    struct Window {
        quint32 id = 0;
        QString title;   ///< `_NET_WM_NAME`, else `WM_NAME`
        qint64 pid = 0;  ///< `_NET_WM_PID`, 0 when the window does not say
        QString machine; ///< `WM_CLIENT_MACHINE`: the host its pid belongs to
    };

    /// The windows of `display` (empty: `DISPLAY`): the window manager's
    /// `_NET_CLIENT_LIST` when it publishes one, else the root window's
    /// children. Nothing when the display cannot be opened.
    /// `fromClientList` tells which of the two it was.
    static std::optional<QList<Window>> list(const QByteArray &display = QByteArray(),
                                             bool *fromClientList = nullptr);
};

} // namespace hchat
