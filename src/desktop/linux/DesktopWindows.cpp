#include "desktop/DesktopWindows.h"

#include <xcb/xcb.h>
#include <xcb/xcb_ewmh.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace tandrel::desktop {

struct DesktopWindows::Connection {
    xcb_connection_t* xcb = nullptr;
    int screenNumber = 0;
    xcb_window_t root = XCB_WINDOW_NONE;
    xcb_ewmh_connection_t ewmh{};
    bool ewmhReady = false;

    ~Connection()
    {
        if (ewmhReady)
            xcb_ewmh_connection_wipe(&ewmh);
        if (xcb)
            xcb_disconnect(xcb);
    }
};

namespace {

// Reads a text property of any type (STRING, UTF8_STRING, COMPOUND_TEXT as
// bytes); empty when the window has none.
std::string TextProperty(xcb_connection_t* c, xcb_window_t window, xcb_atom_t property)
{
    auto cookie = xcb_get_property(c, 0, window, property, XCB_GET_PROPERTY_TYPE_ANY, 0, 1024);
    xcb_get_property_reply_t* reply = xcb_get_property_reply(c, cookie, nullptr);
    if (!reply)
        return {};
    std::string text;
    if (reply->format == 8) {
        const int length = xcb_get_property_value_length(reply);
        const char* data = static_cast<const char*>(xcb_get_property_value(reply));
        if (length > 0 && data)
            text.assign(data, static_cast<std::size_t>(length));
        // Some clients include the terminating zero.
        while (!text.empty() && text.back() == '\0')
            text.pop_back();
    }
    std::free(reply);
    return text;
}

std::vector<xcb_window_t> Children(xcb_connection_t* c, xcb_window_t window)
{
    std::vector<xcb_window_t> result;
    xcb_query_tree_reply_t* tree = xcb_query_tree_reply(c, xcb_query_tree(c, window), nullptr);
    if (!tree)
        return result;
    const xcb_window_t* children = xcb_query_tree_children(tree);
    result.assign(children, children + xcb_query_tree_children_length(tree));
    std::free(tree);
    return result;
}

} // namespace

DesktopWindows::DesktopWindows()
{
    Connect(nullptr);
}

DesktopWindows::DesktopWindows(const std::string& displayName)
{
    Connect(displayName.c_str());
}

DesktopWindows::~DesktopWindows() = default;

void DesktopWindows::Connect(const char* displayName)
{
    if (!displayName) {
        const char* env = std::getenv("DISPLAY");
        if (!env || !*env)
            return;
    }
    auto conn = std::make_unique<Connection>();
    conn->xcb = xcb_connect(displayName, &conn->screenNumber);
    if (!conn->xcb || xcb_connection_has_error(conn->xcb))
        return;

    const xcb_setup_t* setup = xcb_get_setup(conn->xcb);
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(setup);
    for (int i = 0; i < conn->screenNumber && it.rem; ++i)
        xcb_screen_next(&it);
    if (!it.rem)
        return;
    conn->root = it.data->root;

    xcb_intern_atom_cookie_t* cookies = xcb_ewmh_init_atoms(conn->xcb, &conn->ewmh);
    conn->ewmhReady = cookies && xcb_ewmh_init_atoms_replies(&conn->ewmh, cookies, nullptr);
    if (!conn->ewmhReady)
        return;
    m_connection = std::move(conn);
}

std::string DesktopWindows::WindowTitle(std::uint32_t window) const
{
    if (!m_connection)
        return {};
    Connection& c = *m_connection;
    std::string title = TextProperty(c.xcb, window, c.ewmh._NET_WM_NAME);
    if (title.empty())
        title = TextProperty(c.xcb, window, XCB_ATOM_WM_NAME);
    return title;
}

std::optional<std::uint32_t> DesktopWindows::FindTopLevelWindow(const std::string& title) const
{
    if (!m_connection)
        return std::nullopt;
    Connection& c = *m_connection;

    std::vector<xcb_window_t> candidates;
    xcb_ewmh_get_windows_reply_t clients;
    if (xcb_ewmh_get_client_list_reply(&c.ewmh, xcb_ewmh_get_client_list(&c.ewmh, c.screenNumber), &clients,
                                       nullptr)) {
        candidates.assign(clients.windows, clients.windows + clients.windows_len);
        xcb_ewmh_get_windows_reply_wipe(&clients);
    } else {
        // No EWMH window manager: the clients are the root's children, or one
        // level further down where a window manager frames them.
        for (xcb_window_t child : Children(c.xcb, c.root)) {
            candidates.push_back(child);
            for (xcb_window_t grandChild : Children(c.xcb, child))
                candidates.push_back(grandChild);
        }
    }

    for (xcb_window_t window : candidates) {
        if (WindowTitle(window) == title)
            return window;
    }
    return std::nullopt;
}

bool DesktopWindows::Activate(std::uint32_t window) const
{
    if (!m_connection)
        return false;
    Connection& c = *m_connection;

    bool managerActivates = false;
    xcb_ewmh_get_atoms_reply_t supported;
    if (xcb_ewmh_get_supported_reply(&c.ewmh, xcb_ewmh_get_supported(&c.ewmh, c.screenNumber), &supported,
                                     nullptr)) {
        managerActivates = std::find(supported.atoms, supported.atoms + supported.atoms_len,
                                     c.ewmh._NET_ACTIVE_WINDOW) != supported.atoms + supported.atoms_len;
        xcb_ewmh_get_atoms_reply_wipe(&supported);
    }

    if (managerActivates) {
        bool minimised = false;
        xcb_ewmh_get_atoms_reply_t state;
        if (xcb_ewmh_get_wm_state_reply(&c.ewmh, xcb_ewmh_get_wm_state(&c.ewmh, window), &state, nullptr)) {
            minimised = std::find(state.atoms, state.atoms + state.atoms_len, c.ewmh._NET_WM_STATE_HIDDEN) !=
                        state.atoms + state.atoms_len;
            xcb_ewmh_get_atoms_reply_wipe(&state);
        }
        if (minimised) {
            xcb_ewmh_request_change_wm_state(&c.ewmh, c.screenNumber, window, XCB_EWMH_WM_STATE_ADD,
                                             c.ewmh._NET_WM_STATE_DEMANDS_ATTENTION, XCB_ATOM_NONE,
                                             XCB_EWMH_CLIENT_SOURCE_TYPE_OTHER);
        } else {
            xcb_ewmh_request_change_active_window(&c.ewmh, c.screenNumber, window,
                                                  XCB_EWMH_CLIENT_SOURCE_TYPE_OTHER, XCB_CURRENT_TIME,
                                                  XCB_WINDOW_NONE);
        }
    } else {
        // Raise the frame around the window, if something framed it: the
        // root's child that holds it.
        xcb_window_t topLevel = window;
        for (int depth = 0; depth < 8; ++depth) {
            xcb_query_tree_reply_t* tree =
                xcb_query_tree_reply(c.xcb, xcb_query_tree(c.xcb, topLevel), nullptr);
            if (!tree)
                break;
            const xcb_window_t parent = tree->parent;
            std::free(tree);
            if (parent == c.root || parent == XCB_WINDOW_NONE)
                break;
            topLevel = parent;
        }
        const std::uint32_t above = XCB_STACK_MODE_ABOVE;
        xcb_configure_window(c.xcb, topLevel, XCB_CONFIG_WINDOW_STACK_MODE, &above);
        xcb_get_window_attributes_reply_t* attributes =
            xcb_get_window_attributes_reply(c.xcb, xcb_get_window_attributes(c.xcb, window), nullptr);
        if (attributes) {
            if (attributes->map_state == XCB_MAP_STATE_VIEWABLE)
                xcb_set_input_focus(c.xcb, XCB_INPUT_FOCUS_PARENT, window, XCB_CURRENT_TIME);
            std::free(attributes);
        }
    }
    // A round trip: the server has carried out the requests before the
    // connection closes.
    xcb_get_input_focus_reply_t* sync = xcb_get_input_focus_reply(c.xcb, xcb_get_input_focus(c.xcb), nullptr);
    const bool sent = sync != nullptr;
    std::free(sync);
    return sent;
}

} // namespace tandrel::desktop
