// lumetra show MODULE [FILE] and lumetra snapshot MODULE [FILE] -o PNG [--at SECONDS]: the
// plug-in's editor as a host shows it, on the screen or in a picture.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <cairo.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "tools/AnalyzeError.h"
#include "tools/BandChart.h"
#include "tools/Commands.h"
#include "tools/EditorHostWindow.h"

namespace {

const char* const kShowUsage =
    "usage: lumetra show MODULE [FILE]\n"
    "\n"
    "Loads the VST 2.4 module (for example build/Lumetra.so), opens its editor in a window on the\n"
    "X display and plays FILE (WAV, FLAC, AIFF, Ogg) or, without FILE, the built-in test signal\n"
    "through it at real-time pace, looping, so that the meters move as in a host. Nothing is\n"
    "played out loud. Close the window or press Ctrl-C to end.\n"
    "Exit codes: 0 success, 1 no display or the editor did not open, 2 usage or input error.\n";

const char* const kSnapshotUsage =
    "usage: lumetra snapshot MODULE [FILE] -o PNG [--at SECONDS]\n"
    "\n"
    "Does what 'lumetra show' does on a virtual X server of its own (Xvfb), feeding the first\n"
    "SECONDS (default 3, at most 3600) of FILE or of the built-in test signal as fast as it\n"
    "goes, then saves what the editor window shows as a PNG picture.\n"
    "Exit codes: 0 success, 1 the server, the editor or the picture failed, 2 usage, input or\n"
    "output error.\n";

volatile sig_atomic_t stopRequested = 0;
void requestStop(int) { stopRequested = 1; }

struct CommandLine {
    std::string module;
    std::string audio;
    std::string output;
    double atSeconds = 3.0;
};

// Throws UsageError. snapshot: -o required, --at allowed.
CommandLine parse(const std::vector<std::string>& args, bool snapshot) {
    CommandLine line;
    std::vector<std::string> positional;
    bool outputSeen = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (snapshot && (a == "-o" || a == "--output")) {
            if (i + 1 >= args.size()) throw lumetra::UsageError(a + " needs a file name");
            line.output = args[++i];
            outputSeen = true;
        } else if (snapshot && a == "--at") {
            if (i + 1 >= args.size()) throw lumetra::UsageError("--at needs a number of seconds");
            const std::string& text = args[++i];
            char* end = nullptr;
            const double value = std::strtod(text.c_str(), &end);
            if (text.empty() || end == nullptr || *end != '\0' || !std::isfinite(value) || value < 0.0 || value > 3600.0)
                throw lumetra::UsageError("--at '" + text + "': seconds from 0 to 3600");
            line.atSeconds = value;
        } else if (!a.empty() && a[0] == '-' && a != "-") {
            throw lumetra::UsageError("unknown option '" + a + "'");
        } else {
            positional.push_back(a);
        }
    }
    if (positional.empty()) throw lumetra::UsageError("no MODULE given");
    if (positional.size() > 2) throw lumetra::UsageError("one MODULE and at most one FILE");
    line.module = positional[0];
    if (positional.size() == 2) line.audio = positional[1];
    if (snapshot) {
        if (!outputSeen || line.output.empty()) throw lumetra::UsageError("no output picture given (-o PNG)");
        // An output that cannot be created is refused before any server starts or audio runs.
        const std::filesystem::path out(line.output);
        const std::filesystem::path dir = out.has_parent_path() ? out.parent_path() : std::filesystem::path(".");
        std::error_code ignored;
        if (!std::filesystem::is_directory(dir, ignored))
            throw lumetra::UsageError("cannot write '" + line.output + "': no such directory");
        if (access(dir.c_str(), W_OK) != 0)
            throw lumetra::UsageError("cannot write '" + line.output + "': the directory is not writable");
        for (const std::string& input : {line.module, line.audio})
            if (!input.empty() && std::filesystem::equivalent(input, line.output, ignored))
                throw lumetra::UsageError("the output '" + line.output + "' is one of the inputs");
    }
    return line;
}

std::string titleFor(const CommandLine& line) {
    return "Lumetra - " + std::filesystem::path(line.module).filename().string() +
           (line.audio.empty() ? std::string(" (test signal)") : " - " + line.audio);
}

// The window's pixels as a PNG; throws AnalysisError.
void savePicture(Display* display, Window window, int width, int height, const std::string& path) {
    XImage* image = XGetImage(display, window, 0, 0, static_cast<unsigned>(width), static_cast<unsigned>(height),
                              AllPlanes, ZPixmap);
    if (image == nullptr) throw lumetra::AnalysisError("cannot read the editor's window");
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
    cairo_surface_flush(surface);
    unsigned char* data = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    for (int y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<uint32_t*>(data + y * stride);
        for (int x = 0; x < width; ++x) row[x] = static_cast<uint32_t>(XGetPixel(image, x, y)) & 0xFFFFFFu;
    }
    XDestroyImage(image);
    cairo_surface_mark_dirty(surface);
    const cairo_status_t status = cairo_surface_write_to_png(surface, path.c_str());
    cairo_surface_destroy(surface);
    if (status != CAIRO_STATUS_SUCCESS)
        throw lumetra::AnalysisError("cannot write '" + path + "': " + cairo_status_to_string(status));
}

// Lets the view idle (every 33 ms) run a few times, so that every view shows its newest value.
void settle(lumetra::EditorHostWindow& editor, Display* display) {
    for (int i = 0; i < 4; ++i) {
        editor.idle();
        std::this_thread::sleep_for(std::chrono::milliseconds(40));
    }
    editor.idle();
    XSync(display, False);
}

int fail(const char* command, const std::exception& e, int code) {
    std::fprintf(stderr, "lumetra %s: %s\n", command, e.what());
    return code;
}

}  // namespace

int lumetra::runShow(const std::vector<std::string>& args) {
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
        std::fputs(kShowUsage, stdout);
        return 0;
    }
    CommandLine line;
    try {
        line = parse(args, false);
    } catch (const UsageError& e) {
        std::fprintf(stderr, "lumetra show: %s\n%s", e.what(), kShowUsage);
        return 2;
    }
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        const char* name = std::getenv("DISPLAY");
        std::fprintf(stderr, "lumetra show: cannot open the X display%s%s\n", name ? " " : " (DISPLAY is not set)",
                     name ? name : "");
        return 1;
    }
    int code = 0;
    {
        EditorHostWindow editor;
        std::atomic<bool> running{true};
        std::thread audio;
        try {
            editor.load(line.module, line.audio);
            editor.open(display, titleFor(line));

            struct sigaction action {};
            action.sa_handler = requestStop;
            sigaction(SIGINT, &action, nullptr);
            sigaction(SIGTERM, &action, nullptr);

            // The host's audio thread: one block per block period, the source looping.
            std::atomic<bool> readFailed{false};
            audio = std::thread([&] {
                const auto period = std::chrono::duration<double>(EditorHostWindow::kBlock / editor.sampleRate());
                auto next = std::chrono::steady_clock::now();
                while (running.load(std::memory_order_relaxed)) {
                    try {
                        editor.feed();
                    } catch (const std::exception& e) {
                        std::fprintf(stderr, "lumetra show: %s\n", e.what());
                        readFailed.store(true);
                        break;
                    }
                    next += std::chrono::duration_cast<std::chrono::steady_clock::duration>(period);
                    std::this_thread::sleep_until(next);
                }
            });

            // The UI thread: the editor's idle every 20 ms, until the window is closed.
            bool done = false;
            while (!done && !stopRequested && !readFailed.load()) {
                while (XPending(display)) {
                    XEvent event;
                    XNextEvent(display, &event);
                    if (event.type == ClientMessage &&
                        static_cast<Atom>(event.xclient.data.l[0]) == editor.deleteAtom())
                        done = true;
                    if (event.type == DestroyNotify && event.xdestroywindow.window == editor.window()) done = true;
                }
                editor.idle();
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
            if (readFailed.load()) code = 1;
        } catch (const UsageError& e) {
            code = fail("show", e, 2);
        } catch (const std::exception& e) {
            code = fail("show", e, 1);
        }
        running.store(false);
        if (audio.joinable()) audio.join();
        editor.close();
    }
    XCloseDisplay(display);
    releaseFontCaches();  // the editor drew its readouts' text through them
    return code;
}

int lumetra::runSnapshot(const std::vector<std::string>& args) {
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
        std::fputs(kSnapshotUsage, stdout);
        return 0;
    }
    CommandLine line;
    try {
        line = parse(args, true);
    } catch (const UsageError& e) {
        std::fprintf(stderr, "lumetra snapshot: %s\n%s", e.what(), kSnapshotUsage);
        return 2;
    }
    try {
        EditorHostWindow editor;
        editor.load(line.module, line.audio);  // input errors first, before any server starts

        PrivateXServer server;
        const std::string displayName = server.start();
        setenv("DISPLAY", displayName.c_str(), 1);  // the editor opens its own connection to it
        Display* display = XOpenDisplay(displayName.c_str());
        if (display == nullptr) throw AnalysisError("cannot connect to the virtual X server " + displayName);
        try {
            editor.open(display, titleFor(line));
            settle(editor, display);
            // Blocks as a host sends them, with an idle every 33 ms of audio.
            const auto blocks = static_cast<int64_t>(std::ceil(line.atSeconds * editor.sampleRate() / EditorHostWindow::kBlock));
            const auto blocksPerIdle = static_cast<int64_t>(std::max(1.0, 0.033 * editor.sampleRate() / EditorHostWindow::kBlock));
            for (int64_t b = 0; b < blocks; ++b) {
                editor.feed();
                if ((b + 1) % blocksPerIdle == 0) editor.idle();
            }
            settle(editor, display);
            savePicture(display, editor.window(), editor.width(), editor.height(), line.output);
            editor.close();
        } catch (...) {
            editor.close();
            XCloseDisplay(display);
            throw;
        }
        XCloseDisplay(display);
    } catch (const UsageError& e) {
        releaseFontCaches();
        return fail("snapshot", e, 2);
    } catch (const std::exception& e) {
        releaseFontCaches();
        return fail("snapshot", e, 1);
    }
    releaseFontCaches();  // the editor drew its readouts' text through them
    return 0;
}
