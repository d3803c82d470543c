// Catches the X errors of the calls made while it lives, instead of the process-wide handler
// (whose default ends the host). X error handlers are process-wide, so the trap is only installed
// around our own calls: the destructor syncs the connection, so every error of those calls has
// arrived, and puts the previous handler back. UI thread; traps do not nest across threads.
#pragma once

#include <X11/Xlib.h>

namespace lumetra {

class XErrorTrap {
public:
    explicit XErrorTrap(Display* display);
    ~XErrorTrap();
    XErrorTrap(const XErrorTrap&) = delete;
    XErrorTrap& operator=(const XErrorTrap&) = delete;

    // Syncs and tells whether any of the calls so far failed.
    bool failed();

private:
    Display* display;
    XErrorHandler previous;
    int errorsBefore;
};

}  // namespace lumetra
