// lumetra listen: the analyzer on a live input, as a JACK client. The process callback runs the
// engine and nothing else; the main thread shows and writes what LiveAnalysis hands over.
#include <X11/Xlib.h>
#include <jack/jack.h>
#include <regex.h>
#include <signal.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "engine/MeasurementBank.h"
#include "plugin/Parameters.h"
#include "tools/AnalyzeError.h"
#include "tools/AnalyzeOptions.h"
#include "tools/AnalyzeReport.h"
#include "tools/AudioInput.h"
#include "tools/BandAnalyzer.h"
#include "tools/BandChart.h"
#include "tools/Calibration.h"
#include "tools/LevelAnalyzer.h"
#include "tools/Commands.h"
#include "tools/EditorHostWindow.h"
#include "tools/LiveAnalysis.h"
#include "tools/LiveDisplay.h"
#include "tools/OutputFile.h"

namespace lumetra {

namespace {

const char* const kListenUsage1 =
    "usage: lumetra listen [OPTIONS]\n"
    "\n"
    "Runs the plug-in's analyzer engine on a live input as a JACK client named \"lumetra\" with two\n"
    "input ports, in_1 (left) and in_2 (right), at the server's sample rate and period. Works\n"
    "with a JACK server and with PipeWire's JACK support (pw-jack). The server is never started:\n"
    "without one it says so and ends. JACK_DEFAULT_SERVER names a server other than the default.\n"
    "\n";
const char* const kListenUsage2 =
    "\n"
    "Input:\n"
    "  --connect PORT    connect from this output port: a full port name, or else a regular\n"
    "                    expression (POSIX extended) matching whole port names, such as\n"
    "                    'system:capture_[12]'. Repeatable. The ports found, in order, feed in_1\n"
    "                    and in_2; a single port feeds both. Default: the first two physical\n"
    "                    capture ports (the sound card's inputs)\n"
    "\n"
    "Outputs (PATH '-' is standard output):\n"
    "  (default)         on a terminal, the bands as the LED columns of the plug-in's editor\n"
    "  --window          the plug-in's own editor in a window instead of the terminal display;\n"
    "                    its controls act on what it shows and on the --csv/--json streams\n"
    "                    (needs an X display; the module is Lumetra.so next to this program\n"
    "                    unless --module names it)\n"
    "  --module PATH     the plug-in module for --window\n"
    "  --csv PATH        one row per interval: time_s (seconds of audio since the start), then\n"
    "                    each band's level in dB at the interval's end; columns as 'lumetra analyze'\n"
    "                    (standard bank: the level of --time, leq the interval's energy mean)\n"
    "  --json PATH       one JSON object per line and interval: time_s, sample_rate, period,\n"
    "                    frames, duration_s, the controls, and 'bands' as 'lumetra analyze' writes\n"
    "                    them (max_db, avg_db, final_db over the interval; standard bank: leq_db\n"
    "                    over the interval and level_db at its end, per band and as 'total'); with\n"
    "                    the standard bank a last line with \"summary\": the run's statistics\n"
    "  --every SECONDS   interval of --csv and --json, 0.01 to 3600 (default 1)\n"
    "  --for SECONDS     end after this long (default: run until Ctrl-C or the window closes)\n"
    "  --no-live         no terminal display\n"
    "  -h, --help        this text\n"
    "\n"
    "Exit status: 0 ended by Ctrl-C, SIGTERM, the window or --for; 1 the server went away or\n"
    "an output failed; 2 usage error, no server, no such port, a sample rate the engine does not\n"
    "take (1000 to 768000 Hz), an output that cannot be created.\n";

constexpr double kMaxSeconds = 3600.0 * 24 * 365;

struct ListenOptions {
    AnalyzeOptions controls;  // --mode, --resp, --delay, --gain; live, csvPath, jsonPath
    std::vector<std::string> connect;
    bool window = false;
    std::string modulePath;
    double everySec = 1.0;
    double forSec = 0.0;  // 0: no limit
};

ListenOptions parseListenOptions(const std::vector<std::string>& args) {
    ListenOptions o;
    for (size_t i = 0; i < args.size(); ++i) {
        OptionArgument option(args, i);
        const std::string arg = option.name();
        auto value = [&] { return option.value(); };
        auto flag = [&](bool& target, bool set) { option.flag(target, set); };
        auto path = [&] {
            std::string p = value();
            if (p.empty()) throw UsageError(arg + ": empty path");
            return p;
        };
        if (arg == "-h" || arg == "--help") {
            flag(o.controls.help, true);
        } else if (arg == "--mode" || arg == "--resp" || arg == "--delay" || arg == "--gain") {
            parseControlOption(arg, value(), o.controls);
        } else if (arg == "--filters" || arg == "--time" || arg == "--weighting" || arg == "--calibrate" ||
                   arg == "--calibrator-level" || arg == "--offset" || arg == "--reference") {
            parseMeasurementOption(arg, value(), o.controls);
        } else if (arg == "--connect") {
            std::string port = value();
            if (port.empty()) throw UsageError("--connect: empty port name");
            o.connect.push_back(port);
        } else if (arg == "--window") {
            flag(o.window, true);
        } else if (arg == "--module") {
            o.modulePath = path();
        } else if (arg == "--csv") {
            o.controls.csvPath = path();
        } else if (arg == "--json") {
            o.controls.jsonPath = path();
        } else if (arg == "--every") {
            const std::string v = value();
            o.everySec = parseNumber(arg, v, 0.0, 3600.0);
            if (o.everySec < 0.01) throw UsageError("--every: " + v + " is out of range (0.01 to 3600)");
        } else if (arg == "--for") {
            o.forSec = parseNumber(arg, value(), 0.0, kMaxSeconds);
        } else if (arg == "--no-live") {
            flag(o.controls.live, false);
        } else {
            throw UsageError(arg.rfind('-', 0) == 0 ? "unknown option '" + arg + "'"
                                                    : "takes no file ('" + arg + "'); see 'lumetra analyze'");
        }
    }
    if (o.controls.csvPath == "-" && o.controls.jsonPath == "-")
        throw UsageError("only one of --csv, --json can write to standard output");
    if (!o.modulePath.empty() && !o.window) throw UsageError("--module: only with --window");
    checkMeasurementOptions(o.controls);
    return o;
}

// Set by signals, the JACK threads and the main loop; read by the main loop.
volatile sig_atomic_t stopSignal = 0;
void requestStop(int) { stopSignal = 1; }

// The JACK client and what its callbacks share with the main thread.
class ListenClient {
public:
    ~ListenClient() { close(); }

    // Throws UsageError when there is no server.
    void open() {
        // libjack prints its own diagnostics (several lines when there is no server); ours say it once.
        jack_set_error_function([](const char*) {});
        jack_set_info_function([](const char*) {});
        jack_status_t status{};
        client = jack_client_open("lumetra", JackNoStartServer, &status);
        if (client == nullptr) {
            if (status & JackServerFailed)
                throw UsageError("no JACK server is running (start jackd, or PipeWire with its JACK support)");
            throw UsageError("the JACK server refused the client (status 0x" + hex(status) + ")");
        }
        for (int c = 0; c < 2; ++c) {
            const std::string name = "in_" + std::to_string(c + 1);
            ports[c] = jack_port_register(client, name.c_str(), JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
            if (ports[c] == nullptr) throw AnalysisError("cannot register the input port " + name);
        }
        rateHz.store(jack_get_sample_rate(client));
        period.store(jack_get_buffer_size(client));
        jack_set_process_callback(client, &ListenClient::processEntry, this);
        jack_set_buffer_size_callback(client, &ListenClient::bufferSizeEntry, this);
        jack_set_sample_rate_callback(client, &ListenClient::sampleRateEntry, this);
        jack_set_xrun_callback(client, &ListenClient::xrunEntry, this);
        jack_on_info_shutdown(client, &ListenClient::shutdownEntry, this);
    }

    // The output ports each --connect names, in order; throws UsageError for one that matches none.
    std::vector<std::string> resolve(const std::vector<std::string>& wanted) const {
        std::vector<std::string> found;
        for (const std::string& name : wanted) {
            jack_port_t* port = jack_port_by_name(client, name.c_str());
            if (port && (jack_port_flags(port) & JackPortIsOutput)) {
                found.push_back(name);
                continue;
            }
            regex_t check;
            if (regcomp(&check, name.c_str(), REG_EXTENDED | REG_NOSUB) != 0)
                throw UsageError("--connect '" + name + "': no such port, and not a regular expression");
            regfree(&check);
            const std::string whole = "^(" + name + ")$";
            const std::vector<std::string> matches = portNames(whole.c_str(), JackPortIsOutput);
            if (matches.empty())
                throw UsageError("--connect '" + name + "': no such output port" + listOutputs());
            found.insert(found.end(), matches.begin(), matches.end());
        }
        return found;
    }

    std::vector<std::string> physicalCapture() const { return portNames(nullptr, JackPortIsOutput | JackPortIsPhysical); }

    void activate() {
        if (jack_activate(client) != 0) throw AnalysisError("the JACK server did not start the client");
        active = true;
    }

    // sources[0] feeds in_1, sources[1] in_2; one source feeds both.
    void connect(const std::vector<std::string>& sources) {
        for (int c = 0; c < 2 && !sources.empty(); ++c) {
            const std::string& from = sources[std::min<size_t>(size_t(c), sources.size() - 1)];
            const int result = jack_connect(client, from.c_str(), jack_port_name(ports[c]));
            if (result != 0 && result != EEXIST)
                throw UsageError("cannot connect " + from + " to " + jack_port_name(ports[c]));
        }
    }

    std::string portName(int c) const { return jack_port_name(ports[c]); }

    // Also after the server went away: libjack then only frees the client's side (at once).
    void deactivate() {
        if (active) jack_deactivate(client);
        active = false;
    }
    void close() {
        deactivate();
        if (client) jack_client_close(client);
        client = nullptr;
    }

    LiveAnalysis* analysis = nullptr;  // set before activate()
    EditorHostWindow* window = nullptr;
    std::atomic<bool> windowFed{false};   // the main thread's permission to feed the window's effect
    std::atomic<bool> feedingWindow{false};  // the audio thread is inside the effect

    std::atomic<uint32_t> rateHz{0};
    std::atomic<uint32_t> period{0};
    std::atomic<int64_t> xruns{0};
    std::atomic<bool> gone{false};
    char goneReason[256] = {};  // written before gone is set

    // Main thread: the window's effect is not being fed when this returns.
    void stopFeedingWindow() {
        windowFed.store(false);
        while (feedingWindow.load()) std::this_thread::sleep_for(std::chrono::microseconds(200));
    }

private:
    static std::string hex(unsigned value) {
        char text[16];
        std::snprintf(text, sizeof text, "%x", value);
        return text;
    }

    std::vector<std::string> portNames(const char* pattern, unsigned long flags) const {
        std::vector<std::string> names;
        if (const char** list = jack_get_ports(client, pattern, JACK_DEFAULT_AUDIO_TYPE, flags)) {
            for (const char** p = list; *p; ++p) names.emplace_back(*p);
            jack_free(list);
        }
        return names;
    }

    std::string listOutputs() const {
        const std::vector<std::string> all = portNames(nullptr, JackPortIsOutput);
        if (all.empty()) return " (the server has no audio output ports)";
        std::string text = " (there are ";
        for (size_t i = 0; i < all.size() && i < 8; ++i) text += (i ? ", " : "") + all[i];
        return text + (all.size() > 8 ? ", ...)" : ")");
    }

    // Audio thread: the engine and, when allowed, the window's effect. Nothing else.
    static int processEntry(jack_nframes_t frames, void* arg) noexcept {
        auto* self = static_cast<ListenClient*>(arg);
        auto* left = static_cast<float*>(jack_port_get_buffer(self->ports[0], frames));
        auto* right = static_cast<float*>(jack_port_get_buffer(self->ports[1], frames));
        const int n = int(frames);
        self->analysis->process(left, right, n);
        if (self->window) {
            self->feedingWindow.store(true);
            if (self->windowFed.load())
                for (int done = 0; done < n; done += LiveAnalysis::kMaxChunk)
                    self->window->process(left + done, right + done, std::min(n - done, LiveAnalysis::kMaxChunk));
            self->feedingWindow.store(false);
        }
        return 0;
    }
    static int bufferSizeEntry(jack_nframes_t frames, void* arg) noexcept {
        static_cast<ListenClient*>(arg)->period.store(frames);  // any period runs: see LiveAnalysis
        return 0;
    }
    static int sampleRateEntry(jack_nframes_t rate, void* arg) noexcept {
        static_cast<ListenClient*>(arg)->rateHz.store(rate);  // the main thread builds for it
        return 0;
    }
    static int xrunEntry(void* arg) noexcept {
        static_cast<ListenClient*>(arg)->xruns.fetch_add(1);
        return 0;
    }
    static void shutdownEntry(jack_status_t, const char* reason, void* arg) noexcept {
        auto* self = static_cast<ListenClient*>(arg);
        std::snprintf(self->goneReason, sizeof self->goneReason, "%s", reason ? reason : "");
        self->gone.store(true);
    }

    jack_client_t* client = nullptr;
    jack_port_t* ports[2] = {nullptr, nullptr};
    bool active = false;
};

bool rateAccepted(uint32_t rate) { return isUsableSampleRate(static_cast<float>(rate)); }

std::string refusedRate(uint32_t rate) {
    return "the JACK server runs at " + std::to_string(rate) + " Hz; the analyzer takes 1000 to 768000 Hz";
}

std::string defaultModulePath() {
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    return (error ? std::filesystem::path("Lumetra.so") : self.parent_path() / "Lumetra.so").string();
}

// The --csv and --json streams: one row and one line per interval, flushed as they come.
class IntervalWriter {
public:
    IntervalWriter(const ListenOptions& options, OutputFile& csvFile, OutputFile& jsonFile)
        : options(options), jsonFile(jsonFile) {
        if (csvFile) csv.emplace(csvFile.get(), false, &options.controls);
        csvOut = csvFile.get();
    }

    void write(const LiveInterval& interval, uint32_t period, const AnalyzeOptions& c) {
        if (interval.measured) {
            writeMeasured(interval, period, c);
            return;
        }
        FileResult r;
        r.sampleRate = interval.sampleRate;
        for (int j = 0; j < kNumBands; ++j) r.bands[size_t(j)].centreHz = interval.centreHz[j];
        interval.stats.finish(r);
        const double timeSec = double(interval.endFrame) / interval.sampleRate;
        if (csv) {
            float levelDb[kNumBands];
            for (int j = 0; j < kNumBands; ++j) levelDb[j] = r.bands[size_t(j)].finalDb;  // NaN above Nyquist
            csv->row("", timeSec, levelDb);
            std::fflush(csvOut);
        }
        if (jsonFile) {
            char head[320];
            std::snprintf(head, sizeof head,
                          "{\"time_s\": %.6f, \"sample_rate\": %.0f, \"period\": %u, \"frames\": %lld, "
                          "\"duration_s\": %.6f, \"mode\": \"%c\", \"resp\": %d, \"delay_ms\": %s, \"gain_db\": %s, "
                          "\"bands\": ",
                          timeSec, r.sampleRate, period, static_cast<long long>(interval.stats.frameCount()),
                          double(interval.stats.frameCount()) / r.sampleRate, c.mode, c.resp,
                          formatFloat(float(c.delayMs)).c_str(), formatFloat(float(c.gainDb)).c_str());
            line = head + jsonBandList(r, ",") + "}\n";
            std::fwrite(line.data(), 1, line.size(), jsonFile.get());
            std::fflush(jsonFile.get());
        }
    }

    // The standard bank's statistics over the run, as the last JSON line.
    void writeSummary(const FileResult& r, const AnalyzeOptions& c) {
        if (!jsonFile) return;
        char head[128];
        std::snprintf(head, sizeof head, "{\"summary\": true, \"duration_s\": %.6f, \"sample_rate\": %.0f, ",
                      r.durationSec(), r.sampleRate);
        line = head + jsonMeasurement(c) + ", " + jsonMeasuredBands(r, ",") + "}\n";
        std::fwrite(line.data(), 1, line.size(), jsonFile.get());
        std::fflush(jsonFile.get());
    }

private:
    void writeMeasured(const LiveInterval& interval, uint32_t period, const AnalyzeOptions& c) {
        const double timeSec = double(interval.endFrame) / interval.sampleRate;
        if (csv) {
            csv->row("", timeSec, c.timeWeighting == 'L' ? interval.leqDb : interval.levelDb);
            std::fflush(csvOut);
        }
        if (!jsonFile) return;
        char head[256];
        std::snprintf(head, sizeof head,
                      "{\"time_s\": %.6f, \"sample_rate\": %.0f, \"period\": %u, \"frames\": %lld, \"duration_s\": %.6f, "
                      "\"mode\": \"%c\", ",
                      timeSec, interval.sampleRate, period, static_cast<long long>(interval.stats.frameCount()),
                      double(interval.stats.frameCount()) / interval.sampleRate, c.mode);
        line = head + jsonMeasurement(c) + ", \"bands\": [";
        auto entry = [&](int e) {
            return "\"leq_db\": " + formatFloat(interval.leqDb[e]) + ", \"level_db\": " + formatFloat(interval.levelDb[e]);
        };
        for (int j = 0; j < kNumBands; ++j) {
            line += j ? "," : "";
            line += "{\"band\": " + std::to_string(j) + ", \"nominal_hz\": " + formatFloat(float(kNominalHz[j])) +
                    ", \"centre_hz\": " + formatFloat(interval.centreHz[j]) + ", " + entry(j) + "}";
        }
        line += "], \"total\": {" + entry(kTotalEntry) + "}}\n";
        std::fwrite(line.data(), 1, line.size(), jsonFile.get());
        std::fflush(jsonFile.get());
    }

    const ListenOptions& options;
    OutputFile& jsonFile;
    std::optional<CsvWriter> csv;
    FILE* csvOut = nullptr;
    std::string line;
};

void complain(const std::string& text) { std::fprintf(stderr, "lumetra listen: %s\n", text.c_str()); }

int listen(const ListenOptions& givenOptions) {
    ListenOptions options = givenOptions;
    std::array<double, kNumBands> reference;
    reference.fill(std::nan(""));
    if (!options.controls.calibratePath.empty()) {
        const Calibration c = calibrate(options.controls);
        options.controls.offsetDb = c.offsetDb;
        options.controls.calibrated = true;
        std::fprintf(stderr, "lumetra listen: calibration: %s: %.0f Hz tone at %.2f dBFS is %.1f dB SPL: offset %+.2f dB\n",
                     options.controls.calibratePath.c_str(), c.toneHz, c.levelDbFs, options.controls.calibratorLevelDb,
                     c.offsetDb);
    }
    if (!options.controls.referencePath.empty()) reference = readReferenceCurve(options.controls.referencePath);
    OutputFile csvFile, jsonFile;
    csvFile.open(options.controls.csvPath);
    jsonFile.open(options.controls.jsonPath);
    const bool streams = csvFile || jsonFile;

    // Declared so that the client, whose callbacks use the rest, goes first.
    LiveAnalysis analysis(streams ? options.everySec : 0.0);
    std::unique_ptr<Display, int (*)(Display*)> display(nullptr, XCloseDisplay);
    std::optional<EditorHostWindow> window;
    ListenClient jack;
    jack.open();
    uint32_t rate = jack.rateHz.load();
    if (!rateAccepted(rate)) throw UsageError(refusedRate(rate));

    // The engine of the terminal display and the streams (the window's effect has its own).
    const bool liveOn = options.controls.live && !options.window && !options.controls.writesToStdout() &&
                        ::isatty(STDOUT_FILENO);
    AnalyzeOptions controls = options.controls;  // the window's controls may change them
    std::vector<AnalyzeOptions> controlsOf;      // by LiveAnalysis engine number
    auto build = [&](uint32_t at) {
        if (!streams && !liveOn) return;
        const int number = controls.standard()
                               ? analysis.install(std::make_unique<LevelAnalyzer>(double(at), controls), at)
                               : analysis.install(std::make_unique<BandAnalyzer>(double(at), controls), at);
        controlsOf.resize(size_t(number) + 1);
        controlsOf[size_t(number)] = controls;
    };
    build(rate);
    jack.analysis = &analysis;

    std::vector<std::string> sources = options.connect.empty() ? jack.physicalCapture() : jack.resolve(options.connect);
    if (sources.size() > 2) {
        if (!options.connect.empty())
            complain(std::to_string(sources.size()) + " ports match; the first two feed the inputs");
        sources.resize(2);
    }

    if (options.window) {
        display.reset(XOpenDisplay(nullptr));
        if (display == nullptr) {
            const char* name = std::getenv("DISPLAY");
            throw UsageError(std::string("--window: cannot open the X display") +
                             (name ? std::string(" ") + name : std::string(" (DISPLAY is not set)")));
        }
        window.emplace();
        window->loadLive(options.modulePath.empty() ? defaultModulePath() : options.modulePath, rate,
                         LiveAnalysis::kMaxChunk);
        window->setParameter(kDelay, controls.delayValue());
        window->setParameter(kVolume, controls.volumeValue());
        window->setParameter(kMode, controls.modeValue());
        window->setParameter(kResp, controls.respValue());
        window->open(display.get(), "Lumetra - live input (JACK)");
        jack.window = &*window;
        jack.windowFed.store(true);
    }

    std::optional<LiveDisplay> live;
    if (liveOn) live.emplace(stdout, terminalColumns(STDOUT_FILENO));
    struct sigaction action {};
    action.sa_handler = requestStop;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    jack.activate();
    jack.connect(sources);
    {
        std::string from = sources.empty() ? "nothing (no physical capture ports; connect them yourself)"
                                           : sources[0] + (sources.size() > 1 ? ", " + sources[1] : " (both)");
        std::fprintf(stderr, "lumetra listen: %s and %s from %s; %u Hz, period %u; %s\n", jack.portName(0).c_str(),
                     jack.portName(1).c_str(), from.c_str(), rate, jack.period.load(),
                     options.window ? "close the window or press Ctrl-C to end" : "Ctrl-C ends");
    }
    if (live)
        live->start("JACK " + jack.portName(0) + ", " + jack.portName(1) + "  (" +
                        (options.controls.standard()
                             ? levelName(options.controls) + " " + levelUnit(options.controls) + ", mode " + options.controls.mode
                             : describeControls(options.controls)) + ")",
                    options.controls.gainDb);

    IntervalWriter writer(options, csvFile, jsonFile);
    const auto started = std::chrono::steady_clock::now();
    auto lastDraw = started;
    int code = 0;
    std::string ending;
    float fractions[kNumBands];
    LiveInterval interval;
    while (true) {
        analysis.freeRetired();
        while (analysis.nextInterval(interval)) writer.write(interval, jack.period.load(), controlsOf[size_t(interval.engine)]);
        if (jack.gone.load()) {
            ending = std::string("the JACK server went away") + (jack.goneReason[0] ? " (" + std::string(jack.goneReason) + ")" : "");
            code = 1;
            break;
        }
        if (stopSignal) break;
        const auto now = std::chrono::steady_clock::now();
        if (options.forSec > 0 && now - started >= std::chrono::duration<double>(options.forSec)) break;
        if (const uint32_t newRate = jack.rateHz.load(); newRate != rate) {
            if (!rateAccepted(newRate)) {
                ending = refusedRate(newRate);
                code = 2;
                break;
            }
            rate = newRate;
            build(rate);
            if (window) {
                jack.stopFeedingWindow();
                window->changeSampleRate(rate);
                jack.windowFed.store(true);
            }
        }
        if (window) {
            bool closed = false;
            while (XPending(display.get())) {
                XEvent event;
                XNextEvent(display.get(), &event);
                if (event.type == ClientMessage && static_cast<Atom>(event.xclient.data.l[0]) == window->deleteAtom())
                    closed = true;
                if (event.type == DestroyNotify && event.xdestroywindow.window == window->window()) closed = true;
            }
            if (closed) break;
            window->idle();
            // The streams follow what the window's controls set; the gain moves no dB value.
            if (streams) {
                const AnalyzeOptions before = controls;
                controls.setControls(window->parameter(kDelay), window->parameter(kVolume),
                                     window->parameter(kMode), window->parameter(kResp));
                if (controls.mode != before.mode || controls.resp != before.resp || controls.delayMs != before.delayMs)
                    build(rate);
                else
                    controlsOf.back().gainDb = controls.gainDb;
            }
        }
        if (live && now - lastDraw >= std::chrono::milliseconds(33) && analysis.newestMeters(fractions)) {
            live->draw(fractions, double(analysis.framesProcessed()) / rate, options.forSec);
            lastDraw = now;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    jack.deactivate();
    if (live) live->finish();
    live.reset();
    if (window) {
        jack.stopFeedingWindow();
        window->close();
        window.reset();
    }
    if (display) {
        display.reset();
        releaseFontCaches();  // the editor drew its readouts' text through them
    }
    if (code == 0)  // the intervals finished before the end
        while (analysis.nextInterval(interval)) writer.write(interval, jack.period.load(), controlsOf[size_t(interval.engine)]);
    // The standard bank's statistics over the run (since the last change of rate or controls).
    LevelStatistics stats[kLevelEntries];
    double seconds = 0;
    if (code == 0 && analysis.statistics(stats, &seconds)) {
        FileResult r;
        r.name = "JACK " + jack.portName(0) + ", " + jack.portName(1);
        r.format = "live input";
        r.sampleRate = rate;
        r.channels = 2;
        r.frames = std::llround(seconds * rate);
        r.measured = true;
        for (int j = 0; j < kNumBands; ++j) {
            BandSummary& b = r.bands[size_t(j)];
            b.centreHz = float(MeasurementBank::centreHz(j));
            b.aboveNyquist = std::isnan(stats[j].leq);
            b.stats = stats[j];
            b.referenceDb = float(reference[size_t(j)]);
        }
        r.total.stats = stats[kTotalEntry];
        writer.writeSummary(r, controlsOf.back());
        if (!options.controls.writesToStdout()) writeSummaryTable(stdout, r, controlsOf.back());
    }
    if (analysis.droppedIntervals() > 0)
        complain(std::to_string(analysis.droppedIntervals()) + " intervals were lost: the output did not keep up");
    if (const int64_t xruns = jack.xruns.load(); xruns > 0)
        complain(std::to_string(xruns) + (xruns == 1 ? " xrun" : " xruns") + " reported by the server");
    if (!ending.empty()) complain(ending);
    jack.close();
    for (OutputFile* out : {&csvFile, &jsonFile}) {
        try {
            out->close();
        } catch (const AnalysisError& e) {
            complain(out->path() + ": " + e.what());
            code = std::max(code, 1);
        }
    }
    return code;
}

}  // namespace

int runListen(const std::vector<std::string>& args) {
    ListenOptions options;
    try {
        options = parseListenOptions(args);
    } catch (const UsageError& e) {
        std::fprintf(stderr, "lumetra listen: %s (see 'lumetra listen --help')\n", e.what());
        return 2;
    }
    if (options.controls.help) {
        std::fputs(kListenUsage1, stdout);
        std::fputs(kControlsUsage, stdout);
        std::fputs("\n", stdout);
        std::fputs(kMeasurementUsage, stdout);
        std::fputs(kListenUsage2, stdout);
        return 0;
    }
    try {
        return listen(options);
    } catch (const UsageError& e) {
        complain(e.what());
        return 2;
    } catch (const std::exception& e) {
        complain(e.what());
        return 1;
    }
}

}  // namespace lumetra
