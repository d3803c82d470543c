// Catches the X errors of the plug-in's own calls, instead of the process-wide handler (whose
// default ends the host). X error handlers belong to the process, and so to the host: the trap's
// handler is installed only while a trap lives, under one module-wide lock, so editors on
// different threads cannot interleave their install and restore, and the handler found on entry
// is always the one put back. A trap must never be held while control is in the host (a host
// callback could wait for another thread that waits for the lock). Traps nest on one thread.
// Any thread; the destructor syncs the connection so that every error of the calls has arrived.
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
    int errorsBefore;
};

}  // namespace lumetra
