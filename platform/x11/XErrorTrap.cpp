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
int trapDepth = 0;                          // traps alive, all on the thread that holds trapMutex

thread_local XErrorTrap* innermost = nullptr;  // this thread's newest live trap

}  // namespace

// Xlib calls the handler on the thread that reads the error. Only the thread inside a trap makes
// our calls; an error another thread of the host reads meanwhile is the host's, and goes to the
// host's handler. Ours counts for each live trap of its connection that made the request; an
// older one (of a trap that did not sync) counts for none.
int countError(Display* display, XErrorEvent* event) {
    if (innermost == nullptr) {
        const XErrorHandler host = hostHandler.load();
        return host ? host(display, event) : 0;
    }
    for (XErrorTrap* trap = innermost; trap; trap = trap->outer)
        if (trap->display == display && event->serial >= trap->firstSerial) ++trap->errors;
    return 0;
}

XErrorTrap::XErrorTrap(Display* display, Ending ending)
    : display(display), ending(ending), firstSerial(display ? NextRequest(display) : 0) {
    trapMutex.lock();
    if (trapDepth++ == 0) hostHandler.store(XSetErrorHandler(countError));
    outer = innermost;
    innermost = this;
}

XErrorTrap::~XErrorTrap() {
    if (display && ending == kSync) XSync(display, False);
    innermost = outer;
    if (--trapDepth == 0) {
        // A handler the host set meanwhile (another thread) stays; otherwise the host's is back.
        const XErrorHandler current = XSetErrorHandler(hostHandler.load());
        if (current != countError) XSetErrorHandler(current);
    }
    trapMutex.unlock();
}

bool XErrorTrap::failed() {
    if (display) XSync(display, False);
    return errors != 0;
}

}  // namespace lumetra
