#include "bench/e2e/XWindowWatch.h"

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <vector>

XWindowWatch::XWindowWatch()
    : connection_(display_.connection()),
      root_(display_.root()),
      pidAtom_(display_.atom("_NET_WM_PID")),
      nameAtom_(display_.atom("_NET_WM_NAME")),
      utf8Atom_(display_.atom("UTF8_STRING"))
{
}

XWindowWatch::~XWindowWatch() = default;

bool XWindowWatch::hasViewableWindow(pid_t pid, const QString& title)
{
    if (!connection_)
        return false;
    xcb_connection_t* c = connection_;
    // Top-level clients sit below the root, or one level further down inside a frame.
    std::vector<xcb_window_t> level{root_};
    std::vector<xcb_window_t> candidates;
    for (int depth = 0; depth < 2; ++depth) {
        std::vector<xcb_query_tree_cookie_t> cookies;
        for (xcb_window_t w : level)
            cookies.push_back(xcb_query_tree(c, w));
        std::vector<xcb_window_t> next;
        for (xcb_query_tree_cookie_t cookie : cookies) {
            xcb_query_tree_reply_t* tree = xcb_query_tree_reply(c, cookie, nullptr);
            if (!tree)
                continue;
            const xcb_window_t* children = xcb_query_tree_children(tree);
            next.insert(next.end(), children, children + xcb_query_tree_children_length(tree));
            std::free(tree);
        }
        candidates.insert(candidates.end(), next.begin(), next.end());
        level = std::move(next);
    }
    std::vector<xcb_get_property_cookie_t> pids;
    for (xcb_window_t w : candidates)
        pids.push_back(xcb_get_property(c, 0, w, pidAtom_, XCB_ATOM_CARDINAL, 0, 1));
    std::vector<xcb_window_t> ours;
    for (size_t i = 0; i < candidates.size(); ++i) {
        xcb_get_property_reply_t* reply = xcb_get_property_reply(c, pids[i], nullptr);
        if (reply && xcb_get_property_value_length(reply) == 4
            && *static_cast<const uint32_t*>(xcb_get_property_value(reply)) == uint32_t(pid))
            ours.push_back(candidates[i]);
        std::free(reply);
    }
    const QByteArray wanted = title.toUtf8();
    for (xcb_window_t w : ours) {
        xcb_get_window_attributes_reply_t* attributes =
            xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, w), nullptr);
        const bool viewable = attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
        std::free(attributes);
        if (!viewable)
            continue;
        xcb_get_property_reply_t* name =
            xcb_get_property_reply(c, xcb_get_property(c, 0, w, nameAtom_, utf8Atom_, 0, 256), nullptr);
        const bool titled = name
            && QByteArray(static_cast<const char*>(xcb_get_property_value(name)), xcb_get_property_value_length(name))
                == wanted;
        std::free(name);
        if (titled)
            return true;
    }
    return false;
}
