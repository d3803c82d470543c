#include "platform/x11/XErrorTrap.h"

namespace lumetra {
namespace {

// Errors counted on this thread; Xlib calls the handler on the thread that reads the reply.
thread_local int errorCount = 0;

int countError(Display*, XErrorEvent*) {
    ++errorCount;
    return 0;
}

}  // namespace

XErrorTrap::XErrorTrap(Display* display) : display(display) {
    previous = XSetErrorHandler(countError);
    if (display) XSync(display, False);  // the connection is ours: so are its late errors
    errorsBefore = errorCount;
}

XErrorTrap::~XErrorTrap() {
    if (display) XSync(display, False);
    XSetErrorHandler(previous);
}

bool XErrorTrap::failed() {
    if (display) XSync(display, False);
    return errorCount != errorsBefore;
}

}  // namespace lumetra
