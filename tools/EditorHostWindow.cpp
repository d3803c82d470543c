#include "tools/EditorHostWindow.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <string>

#include "tools/AnalyzeError.h"

namespace lumetra {

EditorHostWindow::~EditorHostWindow() {
    close();
    host.unload();
}

void EditorHostWindow::load(const std::string& modulePath, const std::string& audioPath) {
    audio = audioPath;
    try {
        reopenSource();
    } catch (const UsageError& e) {
        throw UsageError(audio + ": " + e.what());
    }
    rateHz = source->sampleRate;
    loadModule(modulePath, kBlock);
    left.assign(kBlock, 0.0f);
    right.assign(kBlock, 0.0f);
}

void EditorHostWindow::loadLive(const std::string& modulePath, double sampleRate, int maxBlock) {
    rateHz = sampleRate;
    loadModule(modulePath, maxBlock);
    // A first block of the largest size, so that the effect's buffers do not grow on the audio thread.
    left.assign(size_t(maxBlock), 0.0f);
    process(left.data(), left.data(), maxBlock);
}

void EditorHostWindow::loadModule(const std::string& modulePath, int maxBlock) {
    const LoadResult loaded = host.load(modulePath);
    if (!loaded) throw UsageError(host.error());
    if ((host.effect()->flags & effFlagsHasEditor) == 0) throw UsageError(modulePath + ": the plug-in has no editor");
    host.recordCalls = false;  // a long show would otherwise keep every idle's host calls
    host.answers[audioMasterGetSampleRate] = static_cast<VstIntPtr>(rateHz);
    host.answers[audioMasterGetBlockSize] = maxBlock;
    host.dispatch(effOpen);
    host.dispatch(effSetSampleRate, 0, 0, nullptr, static_cast<float>(rateHz));
    host.dispatch(effSetBlockSize, 0, maxBlock);
    host.dispatch(effMainsChanged, 0, 1);
    outLeft.assign(size_t(maxBlock), 0.0f);
    outRight.assign(size_t(maxBlock), 0.0f);
}

void EditorHostWindow::changeSampleRate(double sampleRate) {
    rateHz = sampleRate;
    host.answers[audioMasterGetSampleRate] = static_cast<VstIntPtr>(rateHz);
    host.dispatch(effMainsChanged, 0, 0);
    host.dispatch(effSetSampleRate, 0, 0, nullptr, static_cast<float>(rateHz));
    host.dispatch(effMainsChanged, 0, 1);
}

void EditorHostWindow::reopenSource() {
    source = audio.empty() ? openTestSignal() : openAudioFile(audio);
}

void EditorHostWindow::open(Display* displayIn, const std::string& title) {
    display = displayIn;
    ERect* rect = nullptr;
    if (host.dispatch(effEditGetRect, 0, 0, &rect) == 0 || rect == nullptr || rect->right <= rect->left ||
        rect->bottom <= rect->top)
        throw AnalysisError("the plug-in gives no editor size");
    widthPx = rect->right - rect->left;
    heightPx = rect->bottom - rect->top;

    windowId = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, static_cast<unsigned>(widthPx),
                                   static_cast<unsigned>(heightPx), 0, 0, 0);
    XStoreName(display, windowId, title.c_str());
    const Atom netName = XInternAtom(display, "_NET_WM_NAME", False);
    const Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
    XChangeProperty(display, windowId, netName, utf8, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(title.data()), static_cast<int>(title.size()));
    XSizeHints* hints = XAllocSizeHints();  // the editor has one size
    if (hints) {
        hints->flags = PMinSize | PMaxSize;
        hints->min_width = hints->max_width = widthPx;
        hints->min_height = hints->max_height = heightPx;
        XSetWMNormalHints(display, windowId, hints);
        XFree(hints);
    }
    wmDelete = XInternAtom(display, "WM_DELETE_WINDOW", False);
    XSetWMProtocols(display, windowId, &wmDelete, 1);
    XSelectInput(display, windowId, StructureNotifyMask);
    XMapWindow(display, windowId);
    XSync(display, False);

    if (host.dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(static_cast<uintptr_t>(windowId))) == 0)
        throw AnalysisError("the plug-in's editor did not open");
    editorOpen = true;
}

void EditorHostWindow::close() {
    if (editorOpen) host.dispatch(effEditClose);
    editorOpen = false;
    if (display && windowId) {
        XDestroyWindow(display, windowId);
        XSync(display, False);
    }
    windowId = 0;
}

void EditorHostWindow::feed() {
    int64_t got = source->read(left.data(), right.data(), kBlock);
    if (got < kBlock) {  // the end: go round again
        reopenSource();
        got += source->read(left.data() + got, right.data() + got, kBlock - got);
        std::fill(left.begin() + got, left.end(), 0.0f);
        std::fill(right.begin() + got, right.end(), 0.0f);
    }
    host.process(left.data(), right.data(), outLeft.data(), outRight.data(), kBlock);
}

void EditorHostWindow::process(float* inLeft, float* inRight, int n) noexcept {
    host.process(inLeft, inRight, outLeft.data(), outRight.data(), n);
}

PrivateXServer::~PrivateXServer() {
    if (pid > 0) {
        kill(pid, SIGTERM);
        int status = 0;
        waitpid(pid, &status, 0);
    }
}

std::string PrivateXServer::start() {
    int fds[2];
    if (pipe(fds) != 0) throw AnalysisError("cannot start a virtual X server: no pipe");
    const pid_t child = fork();
    if (child < 0) {
        ::close(fds[0]);
        ::close(fds[1]);
        throw AnalysisError("cannot start a virtual X server: no process");
    }
    if (child == 0) {
        ::close(fds[0]);
        const int quiet = ::open("/dev/null", O_WRONLY);
        if (quiet >= 0) {
            dup2(quiet, 1);
            dup2(quiet, 2);
        }
        const std::string fd = std::to_string(fds[1]);
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1280x1024x24", "-nolisten", "tcp",
               static_cast<char*>(nullptr));
        _exit(127);
    }
    pid = child;
    ::close(fds[1]);
    // Xvfb writes its display number and a newline once it accepts connections.
    std::string number;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (number.find('\n') == std::string::npos) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd p{fds[0], POLLIN, 0};
        if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
        char buffer[32];
        const ssize_t n = read(fds[0], buffer, sizeof buffer);
        if (n <= 0) break;
        number.append(buffer, static_cast<size_t>(n));
    }
    ::close(fds[0]);
    if (number.find('\n') == std::string::npos)
        throw AnalysisError("cannot start a virtual X server (is Xvfb installed?)");
    number.erase(number.find('\n'));
    return ":" + number;
}

}  // namespace lumetra
