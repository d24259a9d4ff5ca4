#include "platform/x11windowlist.h"

#include <QScopeGuard>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <vector>

namespace hchat {

namespace {
xcb_atom_t atom(xcb_connection_t *c, const char *name, bool onlyIfExists)
{
    const xcb_intern_atom_cookie_t cookie = xcb_intern_atom(c, onlyIfExists, uint16_t(strlen(name)), name);
    xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(c, cookie, nullptr);
    const xcb_atom_t a = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    return a;
}

// A property's value as bytes, or nothing when the window has none of that type.
QByteArray property(xcb_connection_t *c, xcb_get_property_cookie_t cookie, xcb_atom_t type, int format)
{
    xcb_get_property_reply_t *reply = xcb_get_property_reply(c, cookie, nullptr);
    QByteArray value;
    if (reply && reply->type == type && reply->format == format) {
        // The length is in bytes already, whatever the format.
        value = QByteArray(static_cast<const char *>(xcb_get_property_value(reply)),
                           xcb_get_property_value_length(reply));
    }
    std::free(reply);
    return value;
}

xcb_get_property_cookie_t ask(xcb_connection_t *c, xcb_window_t w, xcb_atom_t property, xcb_atom_t type,
                              uint32_t longs)
{
    return xcb_get_property(c, 0, w, property, type, 0, longs);
}
} // namespace

std::optional<QList<X11WindowList::Window>> X11WindowList::list(const QByteArray &display,
                                                                bool *fromClientList)
{
    if (fromClientList)
        *fromClientList = false;
    int screenNumber = 0;
    xcb_connection_t *c = xcb_connect(display.isEmpty() ? nullptr : display.constData(), &screenNumber);
    const auto closeLater = qScopeGuard([c] { xcb_disconnect(c); });
    if (xcb_connection_has_error(c))
        return std::nullopt;
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; i < screenNumber && screens.rem > 0; ++i)
        xcb_screen_next(&screens);
    if (screens.rem <= 0)
        return std::nullopt;
    const xcb_window_t root = screens.data->root;

    const xcb_atom_t clientList = atom(c, "_NET_CLIENT_LIST", true);
    const xcb_atom_t netName = atom(c, "_NET_WM_NAME", false);
    const xcb_atom_t netPid = atom(c, "_NET_WM_PID", false);
    const xcb_atom_t utf8 = atom(c, "UTF8_STRING", false);

    std::vector<xcb_window_t> ids;
    if (clientList != XCB_ATOM_NONE) {
        const QByteArray v =
            property(c, ask(c, root, clientList, XCB_ATOM_WINDOW, 1 << 16), XCB_ATOM_WINDOW, 32);
        ids.resize(size_t(v.size()) / sizeof(xcb_window_t));
        if (!ids.empty())
            memcpy(ids.data(), v.constData(), ids.size() * sizeof(xcb_window_t));
    }
    if (!ids.empty()) {
        if (fromClientList)
            *fromClientList = true;
    } else {
        // No window manager keeps a list: without one, the top-level windows
        // are the root window's own children.
        xcb_query_tree_reply_t *tree = xcb_query_tree_reply(c, xcb_query_tree(c, root), nullptr);
        if (tree) {
            const xcb_window_t *children = xcb_query_tree_children(tree);
            ids.assign(children, children + xcb_query_tree_children_length(tree));
        }
        std::free(tree);
    }

    // All questions first, then the answers: one round trip, not three per window.
    struct Asked {
        xcb_get_property_cookie_t netName, name, pid, machine;
    };
    std::vector<Asked> asked;
    asked.reserve(ids.size());
    for (xcb_window_t w : ids) {
        asked.push_back({ask(c, w, netName, utf8, 256), ask(c, w, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 256),
                         ask(c, w, netPid, XCB_ATOM_CARDINAL, 1),
                         ask(c, w, XCB_ATOM_WM_CLIENT_MACHINE, XCB_ATOM_STRING, 64)});
    }
    QList<Window> windows;
    for (size_t i = 0; i < ids.size(); ++i) {
        Window w;
        w.id = ids[i];
        const QByteArray utf8Title = property(c, asked[i].netName, utf8, 8);
        const QByteArray latin1Title = property(c, asked[i].name, XCB_ATOM_STRING, 8);
        w.title = utf8Title.isEmpty() ? QString::fromLatin1(latin1Title) : QString::fromUtf8(utf8Title);
        const QByteArray pid = property(c, asked[i].pid, XCB_ATOM_CARDINAL, 32);
        if (pid.size() == 4) {
            uint32_t value = 0;
            memcpy(&value, pid.constData(), 4);
            w.pid = value;
        }
        w.machine = QString::fromLatin1(property(c, asked[i].machine, XCB_ATOM_STRING, 8));
        windows << w;
    }
    return windows;
}

} // namespace hchat
