#include "tests/e2e/support/XDisplay.h"

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>

namespace e2e {

XDisplay::XDisplay()
{
    int screenNumber = 0;
    xcb_connection_t* c = xcb_connect(nullptr, &screenNumber);
    if (!c || xcb_connection_has_error(c)) {
        if (c)
            xcb_disconnect(c);
        return;
    }
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; i < screenNumber && screens.rem; ++i)
        xcb_screen_next(&screens);
    connection_ = c;
    root_ = screens.data->root;
}

XDisplay::~XDisplay()
{
    if (connection_)
        xcb_disconnect(connection_);
}

uint32_t XDisplay::atom(const char* name) const
{
    if (!connection_)
        return XCB_ATOM_NONE;
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        connection_, xcb_intern_atom(connection_, 0, uint16_t(std::strlen(name)), name), nullptr);
    const xcb_atom_t found = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    return found;
}

} // namespace e2e
