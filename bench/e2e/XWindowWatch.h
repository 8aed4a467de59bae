#pragma once
// Watches the X display from outside a program: whether a process has a viewable top-level
// window with a given title (found by the _NET_WM_PID Qt sets on its windows), with or without a
// window manager's frames in between.
#include "tests/e2e/support/XDisplay.h"

#include <QString>

#include <sys/types.h>

struct xcb_connection_t;

class XWindowWatch {
public:
    XWindowWatch();
    ~XWindowWatch();
    XWindowWatch(const XWindowWatch&) = delete;
    XWindowWatch& operator=(const XWindowWatch&) = delete;

    bool connected() const { return connection_ != nullptr; }
    // One look at the display's window tree.
    bool hasViewableWindow(pid_t pid, const QString& title);

private:
    e2e::XDisplay display_;
    xcb_connection_t* connection_ = nullptr;
    unsigned root_ = 0;
    unsigned pidAtom_ = 0;
    unsigned nameAtom_ = 0;
    unsigned utf8Atom_ = 0;
};
