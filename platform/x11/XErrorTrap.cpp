#include "platform/x11/XErrorTrap.h"

#include <atomic>
#include <mutex>

namespace lumetra {
namespace {

// Module-wide: the handler swap of every trap on every thread. Recursive, because traps nest on
// one thread (a redraw inside event handling).
std::recursive_mutex trapMutex;
// The handler found by the outermost trap; written under trapMutex, read by any thread. It stays
// after the trap, so that an error of another thread that reaches us in the instant between
// installing and recording still goes to the host.
std::atomic<XErrorHandler> hostHandler{nullptr};
int trapDepth = 0;                    // traps alive, all on the thread that holds trapMutex

thread_local int errorCount = 0;      // errors of this thread's trapped calls
thread_local int threadTrapDepth = 0;

// Xlib calls the handler on the thread that reads the error. Only the thread inside a trap makes
// our calls; an error another thread of the host reads meanwhile is the host's, and goes to the
// host's handler.
int countError(Display* display, XErrorEvent* event) {
    if (threadTrapDepth > 0) {
        ++errorCount;
        return 0;
    }
    const XErrorHandler host = hostHandler.load();
    return host ? host(display, event) : 0;
}

}  // namespace

XErrorTrap::XErrorTrap(Display* display) : display(display) {
    trapMutex.lock();
    if (trapDepth++ == 0) hostHandler.store(XSetErrorHandler(countError));
    ++threadTrapDepth;
    // No sync here: every call on our connections runs inside a trap, whose end syncs, so no late
    // error of an earlier call can arrive now.
    errorsBefore = errorCount;
}

XErrorTrap::~XErrorTrap() {
    if (display) XSync(display, False);
    --threadTrapDepth;
    if (--trapDepth == 0) {
        // A handler the host set meanwhile (another thread) stays; otherwise the host's is back.
        const XErrorHandler current = XSetErrorHandler(hostHandler.load());
        if (current != countError) XSetErrorHandler(current);
    }
    trapMutex.unlock();
}

bool XErrorTrap::failed() {
    if (display) XSync(display, False);
    return errorCount != errorsBefore;
}

}  // namespace lumetra
