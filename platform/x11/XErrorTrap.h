// Catches the X errors of the plug-in's own calls, instead of the process-wide handler (whose
// default ends the host). X error handlers belong to the process, and so to the host: the trap's
// handler is installed only while a trap lives, under one module-wide lock, so editors on
// different threads cannot interleave their install and restore, and the handler found on entry
// is always the one put back. A trap must never be held while control is in the host (a host
// callback could wait for another thread that waits for the lock). Traps nest on one thread.
// Any thread.
//
// A trap counts the errors of the requests made while it lives (by their serial numbers). One
// that syncs at its end has them all when it goes; one that does not leaves the errors of its
// last requests to arrive later, and whichever trap is reading the connection then catches them
// and counts them for nobody. Every call that reads a connection of ours therefore runs inside a
// trap: then no error of ours ever reaches the host's handler.
#pragma once

#include <X11/Xlib.h>

namespace lumetra {

class XErrorTrap {
public:
    enum Ending { kSync, kNoSync };
    // kSync: the destructor waits for the server's answer to every request made so far.
    explicit XErrorTrap(Display* display, Ending ending = kSync);
    ~XErrorTrap();
    XErrorTrap(const XErrorTrap&) = delete;
    XErrorTrap& operator=(const XErrorTrap&) = delete;

    // Syncs and tells whether any of the requests made since the trap began failed.
    bool failed();

private:
    friend int countError(Display* display, XErrorEvent* event);

    Display* display;
    Ending ending;
    unsigned long firstSerial;  // of the trap's first request
    int errors = 0;
    XErrorTrap* outer;          // the enclosing trap of this thread, or null
};

}  // namespace lumetra
