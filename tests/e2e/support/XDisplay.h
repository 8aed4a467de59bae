#pragma once
// A connection to the X display from outside the program under test: its root window and the
// atoms the toolkit's window properties are read with.
#include <cstdint>

struct xcb_connection_t;

namespace e2e {

class XDisplay {
public:
    XDisplay();
    ~XDisplay();
    XDisplay(const XDisplay&) = delete;
    XDisplay& operator=(const XDisplay&) = delete;

    // Null when there is no display to connect to.
    xcb_connection_t* connection() const { return connection_; }
    uint32_t root() const { return root_; }
    // The atom of a name, or none.
    uint32_t atom(const char* name) const;

private:
    xcb_connection_t* connection_ = nullptr;
    uint32_t root_ = 0;
};

} // namespace e2e
