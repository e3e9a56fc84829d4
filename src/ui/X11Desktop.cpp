#include "ui/X11Desktop.h"

#include <QGuiApplication>
#include <QWindow>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <optional>

namespace courivane::x11 {

namespace {

constexpr quint32 kAllDesktops = 0xFFFFFFFF;

xcb_connection_t* connection() {
    auto* x11 = qApp ? qApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

xcb_atom_t atom(xcb_connection_t* c, const char* name) {
    xcb_intern_atom_reply_t* reply =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, quint16(std::strlen(name)), name), nullptr);
    const xcb_atom_t a = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    return a;
}

xcb_window_t rootOf(xcb_connection_t* c) {
    return xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
}

std::optional<quint32> cardinal(xcb_connection_t* c, xcb_window_t window, const char* name) {
    xcb_get_property_reply_t* reply = xcb_get_property_reply(
        c, xcb_get_property(c, 0, window, atom(c, name), XCB_ATOM_CARDINAL, 0, 1), nullptr);
    std::optional<quint32> value;
    if (reply && reply->format == 32 && xcb_get_property_value_length(reply) >= 4)
        value = *static_cast<const quint32*>(xcb_get_property_value(reply));
    std::free(reply);
    return value;
}

// A request to the window manager about a window, as the conventions send it: to the root.
void tellWindowManager(xcb_connection_t* c, xcb_window_t window, const char* type,
                       std::initializer_list<quint32> data) {
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window;
    event.type = atom(c, type);
    int i = 0;
    for (quint32 value : data)
        event.data.data32[i++] = value;
    xcb_send_event(c, 0, rootOf(c),
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&event));
}

// The source indication of the conventions: a request from a normal application.
constexpr quint32 kFromApplication = 1;

} // namespace

void showOnAllDesktops(QWindow* window) {
    xcb_connection_t* c = connection();
    if (!c || !window)
        return;
    const auto id = xcb_window_t(window->winId());
    // Read when the window is mapped, and asked for again for one already mapped.
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, id, atom(c, "_NET_WM_DESKTOP"), XCB_ATOM_CARDINAL,
                        32, 1, &kAllDesktops);
    tellWindowManager(c, id, "_NET_WM_DESKTOP", {kAllDesktops, kFromApplication});
    constexpr quint32 kAdd = 1;
    tellWindowManager(c, id, "_NET_WM_STATE",
                      {kAdd, atom(c, "_NET_WM_STATE_STICKY"), 0, kFromApplication});
    xcb_flush(c);
}

void moveToCurrentDesktop(QWindow* window) {
    xcb_connection_t* c = connection();
    if (!c || !window || !window->isVisible())
        return;
    const std::optional<quint32> current = cardinal(c, rootOf(c), "_NET_CURRENT_DESKTOP");
    const std::optional<quint32> own =
        cardinal(c, xcb_window_t(window->winId()), "_NET_WM_DESKTOP");
    if (!current || !own || *own == *current || *own == kAllDesktops)
        return;
    tellWindowManager(c, xcb_window_t(window->winId()), "_NET_WM_DESKTOP",
                      {*current, kFromApplication});
    xcb_flush(c);
}

void restoreIfIconic(QWindow* window) {
    xcb_connection_t* c = connection();
    if (!c || !window || !window->isVisible())
        return;
    const auto id = xcb_window_t(window->winId());
    const xcb_atom_t wmState = atom(c, "WM_STATE");
    xcb_get_property_reply_t* reply =
        xcb_get_property_reply(c, xcb_get_property(c, 0, id, wmState, wmState, 0, 1), nullptr);
    constexpr quint32 kIconicState = 3;
    const bool iconic = reply && reply->format == 32 && xcb_get_property_value_length(reply) >= 4 &&
                        *static_cast<const quint32*>(xcb_get_property_value(reply)) == kIconicState;
    std::free(reply);
    // Asked as the operator's own action (a pager's source indication): an application's
    // request may be taken for focus stealing and only flagged for attention.
    if (iconic) {
        constexpr quint32 kFromUser = 2;
        tellWindowManager(c, id, "_NET_ACTIVE_WINDOW", {kFromUser, XCB_CURRENT_TIME, 0});
        xcb_flush(c);
    }
}

} // namespace courivane::x11
