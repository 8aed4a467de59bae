#include "tests/e2e/support/XInput.h"

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <vector>

namespace e2e {

XInput::XInput() : connection_(display_.connection()), root_(display_.root()), pidAtom_(display_.atom("_NET_WM_PID")) {}

XInput::~XInput() = default;

bool XInput::findWindow(pid_t pid)
{
    if (!connection_)
        return false;
    xcb_connection_t* c = connection_;
    xcb_query_tree_reply_t* tree = xcb_query_tree_reply(c, xcb_query_tree(c, root_), nullptr);
    if (!tree)
        return false;
    std::vector<xcb_window_t> windows(xcb_query_tree_children(tree),
                                      xcb_query_tree_children(tree) + xcb_query_tree_children_length(tree));
    std::free(tree);
    int bestArea = 0;
    for (xcb_window_t w : windows) {
        xcb_get_property_reply_t* property =
            xcb_get_property_reply(c, xcb_get_property(c, 0, w, pidAtom_, XCB_ATOM_CARDINAL, 0, 1), nullptr);
        const bool ours = property && xcb_get_property_value_length(property) == 4
            && *static_cast<const uint32_t*>(xcb_get_property_value(property)) == uint32_t(pid);
        std::free(property);
        if (!ours)
            continue;
        xcb_get_window_attributes_reply_t* attributes =
            xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, w), nullptr);
        const bool viewable = attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
        std::free(attributes);
        xcb_get_geometry_reply_t* geometry = xcb_get_geometry_reply(c, xcb_get_geometry(c, w), nullptr);
        if (viewable && geometry && geometry->width * geometry->height > bestArea) {
            bestArea = geometry->width * geometry->height;
            window_ = w;
            geometry_ = QRect(geometry->x, geometry->y, geometry->width, geometry->height);
        }
        std::free(geometry);
    }
    return bestArea > 0;
}

void XInput::send(const void* event, uint32_t mask)
{
    // xcb_send_event takes the 32 bytes of a core event.
    char bytes[32] = {};
    std::memcpy(bytes, event, sizeof bytes);
    xcb_send_event(connection_, 0, window_, mask, bytes);
    xcb_flush(connection_);
}

bool XInput::click(int x, int y)
{
    if (!connection_ || !window_)
        return false;
    time_ += 5000;
    xcb_motion_notify_event_t motion{};
    motion.response_type = XCB_MOTION_NOTIFY;
    motion.time = time_;
    motion.root = root_;
    motion.event = window_;
    motion.root_x = int16_t(geometry_.x() + x);
    motion.root_y = int16_t(geometry_.y() + y);
    motion.event_x = int16_t(x);
    motion.event_y = int16_t(y);
    motion.same_screen = 1;
    send(&motion, XCB_EVENT_MASK_POINTER_MOTION);
    xcb_button_press_event_t press{};
    press.response_type = XCB_BUTTON_PRESS;
    press.detail = 1;
    press.time = time_ + 1;
    press.root = root_;
    press.event = window_;
    press.root_x = motion.root_x;
    press.root_y = motion.root_y;
    press.event_x = motion.event_x;
    press.event_y = motion.event_y;
    press.same_screen = 1;
    send(&press, XCB_EVENT_MASK_BUTTON_PRESS);
    xcb_button_release_event_t release = press;
    release.response_type = XCB_BUTTON_RELEASE;
    release.time = time_ + 60;
    release.state = XCB_BUTTON_MASK_1;
    send(&release, XCB_EVENT_MASK_BUTTON_RELEASE);
    return true;
}

uint8_t XInput::keycodeFor(uint32_t keysym)
{
    const xcb_setup_t* setup = xcb_get_setup(connection_);
    const uint8_t first = setup->min_keycode;
    const int count = setup->max_keycode - first + 1;
    xcb_get_keyboard_mapping_reply_t* map =
        xcb_get_keyboard_mapping_reply(connection_, xcb_get_keyboard_mapping(connection_, first, uint8_t(count)), nullptr);
    if (!map)
        return 0;
    const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(map);
    uint8_t found = 0;
    for (int k = 0; k < count && !found; ++k)
        for (int s = 0; s < map->keysyms_per_keycode; ++s)
            if (syms[k * map->keysyms_per_keycode + s] == keysym) {
                found = uint8_t(first + k);
                break;
            }
    std::free(map);
    return found;
}

bool XInput::pressKey(uint32_t keysym)
{
    if (!connection_ || !window_)
        return false;
    const uint8_t code = keycodeFor(keysym);
    if (!code)
        return false;
    time_ += 5000;
    xcb_key_press_event_t press{};
    press.response_type = XCB_KEY_PRESS;
    press.detail = code;
    press.time = time_;
    press.root = root_;
    press.event = window_;
    press.same_screen = 1;
    send(&press, XCB_EVENT_MASK_KEY_PRESS);
    xcb_key_release_event_t release = press;
    release.response_type = XCB_KEY_RELEASE;
    release.time = time_ + 40;
    send(&release, XCB_EVENT_MASK_KEY_RELEASE);
    return true;
}

} // namespace e2e
