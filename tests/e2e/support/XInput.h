#pragma once
// Operator input for a program on the X display, sent from outside it: a click at a point of its
// main window and a key press, as the X server hands them to the window. The window is found by
// the _NET_WM_PID its toolkit sets (the largest viewable one of the process).
#include "tests/e2e/support/XDisplay.h"

#include <QRect>

#include <cstdint>
#include <sys/types.h>

struct xcb_connection_t;

namespace e2e {

class XInput {
public:
    XInput();
    ~XInput();
    XInput(const XInput&) = delete;
    XInput& operator=(const XInput&) = delete;

    bool connected() const { return connection_ != nullptr; }
    // Looks for the process's main window; false while it has none on screen.
    bool findWindow(pid_t pid);
    // The window found, in root coordinates.
    QRect geometry() const { return geometry_; }
    // Left button pressed and released at a point of the window (window coordinates).
    bool click(int x, int y);
    // A key (an X keysym, e.g. 0xffff Delete) pressed and released in the window.
    bool pressKey(uint32_t keysym);

private:
    uint8_t keycodeFor(uint32_t keysym);
    void send(const void* event, uint32_t mask);

    XDisplay display_;
    xcb_connection_t* connection_ = nullptr;
    uint32_t root_ = 0;
    uint32_t pidAtom_ = 0;
    uint32_t window_ = 0;
    QRect geometry_;
    // Event times one apart by more than a double-click's interval: every click is a single one.
    uint32_t time_ = 100000;
};

} // namespace e2e
