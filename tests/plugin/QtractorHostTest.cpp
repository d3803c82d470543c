// Qtractor (Debian's) as a real host of the plug-in, one row per format it loads: Qtractor's way
// of listing the format's plug-ins lists the module; a session with the plug-in on an audio track,
// opened by Qtractor on a private JACK dummy server, passes audio through bit for bit; and the
// plug-in's editor, opened from the track as a user does, shows the panel and meters that move
// with the audio. Qtractor runs headless on the test's X server with a home folder of its own.
// Where the system has no ALSA sequencer (Qtractor will not start its engine without one) the
// sequencer stand-in of SequencerStub.cpp is loaded into it. Skips when Qtractor or JACK is missing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "tests/tools/AudioFiles.h"
#include "tests/tools/EditorPicture.h"
#include "tests/tools/JackSession.h"

// After gtest: X11's None and Bool macros collide with gtest's names.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

namespace {

namespace fs = std::filesystem;
using lumetra::test::waitUntil;

// One format as Qtractor meets it. In a text, "{module}" stands for the module as installed,
// "{folder}" for the folder it is installed in and "{scanner}" for Qtractor's plug-in scanner.
struct HostedFormat {
    const char* name;        // Qtractor's name for the plug-in type, as its session files write it
    std::string module;      // the built module (a file or a bundle)
    const char* folder;      // where under the home folder Qtractor looks for the format
    std::string scan;        // the shell command that lists the folder's plug-ins as Qtractor does
    std::string scanAnswer;  // the start of what it answers
    std::string filename;    // the plug-in as the session's <filename> names it
};
void PrintTo(const HostedFormat& format, std::ostream* os) { *os << format.name; }

// A CLAP module Qtractor lists through its scanner program and saves by its file. LV2 plug-ins it
// lists itself, through lilv over LV2_PATH (lilv_world_load_all, then every plug-in found), and
// saves by their URI; lilv's own lister reads the same folder the same way.
std::vector<HostedFormat> formats() {
    return {
        {"CLAP", LUMETRA_CLAP_MODULE_PATH, ".clap", "printf '%s\\n' 'CLAP:{module}' | {scanner}",
         "CLAP|Lumetra|2:2|0:0|4:0|GUI,EXT,RT|{module}|0|", "{module}"},
#ifdef LUMETRA_LV2_BUNDLE
        {"LV2", LUMETRA_LV2_BUNDLE, ".lv2", "LV2_PATH='{folder}' lv2ls", "urn:lumetra:analyzer\n",
         "urn:lumetra:analyzer"},
#endif
    };
}

std::string replaced(std::string text, const std::vector<std::pair<std::string, std::string>>& values) {
    for (const auto& [name, value] : values)
        for (size_t at = 0; (at = text.find(name, at)) != std::string::npos; at += value.size())
            text.replace(at, name.size(), value);
    return text;
}

std::string firstExisting(const std::vector<std::string>& paths) {
    for (const std::string& p : paths)
        if (fs::exists(p)) return p;
    return {};
}

// The session: one stereo audio track from the Master bus's input to its output, monitored (its
// input passes through its plug-ins while the transport stands), at unity gain and centre pan, the
// plug-in on it; Qtractor connects nothing to the system's ports.
std::string session(const std::string& dir, const HostedFormat& format, const std::string& module) {
    return "<!DOCTYPE qtractorSession>\n"
           "<session name=\"lumetra\" version=\"Qtractor 0.9.31\">\n"
           " <properties>\n  <directory>" + dir + "</directory>\n  <sample-rate>48000</sample-rate>\n </properties>\n"
           " <devices>\n  <audio-engine>\n"
           "   <audio-bus mode=\"duplex\" name=\"Master\">\n    <monitor>0</monitor>\n    <channels>2</channels>\n"
           "    <auto-connect>0</auto-connect>\n    <input-gain>1</input-gain>\n    <input-panning>0</input-panning>\n"
           "    <output-gain>1</output-gain>\n    <output-panning>0</output-panning>\n   </audio-bus>\n"
           "  </audio-engine>\n </devices>\n"
           " <tracks>\n  <track type=\"audio\" name=\"analyzer\">\n"
           "   <properties>\n    <input-bus>Master</input-bus>\n    <output-bus>Master</output-bus>\n   </properties>\n"
           "   <state>\n    <mute>0</mute>\n    <solo>0</solo>\n    <record>0</record>\n    <monitor>1</monitor>\n"
           "    <gain>1</gain>\n    <panning>0</panning>\n   </state>\n"
           "   <plugins>\n    <plugin type=\"" + std::string(format.name) + "\">\n"
           "     <filename>" + replaced(format.filename, {{"{module}", module}}) + "</filename>\n"
           "     <index>0</index>\n"
           "     <label>Lumetra</label>\n     <activated>1</activated>\n    </plugin>\n   </plugins>\n"
           "  </track>\n </tracks>\n</session>\n";
}

// ---- The X server, as the user at it sees it.

// A viewable window of the given size anywhere under window, found depth first.
Window windowOfSize(Display* display, Window window, int width, int height) {
    XWindowAttributes a{};
    if (XGetWindowAttributes(display, window, &a) && a.map_state == IsViewable && a.width == width &&
        a.height == height)
        return window;
    Window root = 0, parent = 0, *children = nullptr;
    unsigned int count = 0;
    Window found = 0;
    if (XQueryTree(display, window, &root, &parent, &children, &count))
        for (unsigned int i = count; i-- > 0 && !found;) found = windowOfSize(display, children[i], width, height);
    if (children) XFree(children);
    return found;
}

// The green lamp of a plug-in in Qtractor's track list: the lowest bright green spot in the
// track header columns (the bus icon above it is green too, and darker). Screen coordinates.
bool pluginLamp(Display* display, int& x, int& y) {
    const int width = 400, height = 700;
    XImage* image = XGetImage(display, DefaultRootWindow(display), 0, 0, width, height, AllPlanes, ZPixmap);
    if (image == nullptr) return false;
    bool found = false;
    for (int row = 0; row < height; ++row)
        for (int column = 0; column < width; ++column) {
            const unsigned long p = XGetPixel(image, column, row);
            const unsigned r = (p >> 16) & 0xff, g = (p >> 8) & 0xff, b = p & 0xff;
            if (g > 180 && r < 120 && b < 120) {
                x = column;
                y = row;
                found = true;
            }
        }
    XDestroyImage(image);
    return found;
}

void doubleClick(Display* display, int x, int y) {
    XTestFakeMotionEvent(display, -1, x, y, 0);
    for (int i = 0; i < 2; ++i) {
        XTestFakeButtonEvent(display, 1, True, 0);
        XTestFakeButtonEvent(display, 1, False, 0);
    }
    XSync(display, False);
}

class QtractorHost : public ::testing::TestWithParam<HostedFormat> {
protected:
    void SetUp() override {
        qtractor = firstExisting({"/usr/bin/qtractor"});
        scanner = firstExisting({"/usr/lib/x86_64-linux-gnu/qtractor/qtractor_plugin_scan",
                                 "/usr/lib/qtractor/qtractor_plugin_scan",
                                 "/usr/local/lib/qtractor/qtractor_plugin_scan"});
        if (qtractor.empty() || scanner.empty()) GTEST_SKIP() << "Qtractor is not installed";
        display = XOpenDisplay(nullptr);
        if (display == nullptr) GTEST_SKIP() << "no X display";
        const HostedFormat& format = GetParam();
        fs::create_directories(home.path(format.folder));
        installed = home.path(std::string(format.folder) + "/" + fs::path(format.module).filename().string());
        fs::create_symlink(fs::absolute(format.module), installed);
    }

    void TearDown() override {
        if (display) XCloseDisplay(display);
    }

    lumetra::test::TempDir home;
    std::string qtractor, scanner, installed;
    Display* display = nullptr;
};

TEST_P(QtractorHost, ScannerListsTheModule) {
    const HostedFormat& format = GetParam();
    const std::vector<std::pair<std::string, std::string>> values = {
        {"{module}", installed}, {"{folder}", home.path(format.folder)}, {"{scanner}", "timeout 60 " + scanner}};
    const std::string command =
        "export HOME='" + home.path("") + "'; { " + replaced(format.scan, values) + "; } 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string answer;
    char chunk[256];
    while (size_t n = std::fread(chunk, 1, sizeof chunk, pipe)) answer.append(chunk, n);
    EXPECT_EQ(pclose(pipe), 0) << answer;
    EXPECT_EQ(answer.rfind(replaced(format.scanAnswer, values), 0), 0u) << answer;
}

TEST_P(QtractorHost, SessionPassesAudioBitForBitAndOpensTheEditor) {
    const HostedFormat& format = GetParam();
    fs::create_directories(home.path("session"));
    const std::string sessionFile = home.path("session/lumetra.qtr");
    std::ofstream(sessionFile) << session(home.path("session"), format, installed);

    lumetra::test::JackServer server(48000, 512);
    ASSERT_TRUE(server.ok());
    // LV2_PATH: Qtractor's lilv reads the test's LV2 folder only, not the system's bundles.
    std::vector<std::string> environment = {"HOME=" + home.path(""), "JACK_DEFAULT_SERVER=" + server.name(),
                                            "XDG_CONFIG_HOME=" + home.path(".config"),
                                            "LV2_PATH=" + home.path(".lv2")};
    if (!fs::exists("/dev/snd/seq")) environment.push_back(std::string("LD_PRELOAD=") + LUMETRA_SEQUENCER_STUB);
    lumetra::test::ChildProcess host({qtractor, sessionFile}, environment, home.path(""), "qtractor");
    ASSERT_TRUE(host.started());

    // Noise (no value repeats, no zero) played in a loop, through Qtractor, recorded after it.
    std::mt19937 random(5);
    std::uniform_real_distribution<float> uniform(-0.9f, 0.9f);
    std::vector<float> noise(48000);
    for (float& s : noise)
        while (s == 0.0f) s = uniform(random);
    lumetra::test::JackPlayer player(server.name(), {std::vector<float>(512, 0.0f), noise});
    lumetra::test::JackRecorder recorder(server.name(), 3 * 48000);
    ASSERT_TRUE(player.ok() && recorder.ok());
    // The session is open once its track shows the plug-in; Qtractor's ports are made anew then.
    int x = 0, y = 0;
    ASSERT_TRUE(waitUntil([&] { return pluginLamp(display, x, y); }, 60))
        << "Qtractor shows no plug-in on a track:\n" << host.err();
    ASSERT_TRUE(waitUntil([&] {
        bool joined = true;
        for (const std::string side : {"1", "2"})
            joined = recorder.connect("player:out_" + side, "Qtractor:Master/in_" + side) &&
                     recorder.connect("Qtractor:Master/out_" + side, "recorder:in_" + side) && joined;
        return joined;
    }, 20)) << "Qtractor's master bus ports cannot be joined:\n" << host.err();
    player.play(1);
    // Three seconds of what comes out: from its first sound on, the noise from some sample on.
    recorder.record();
    ASSERT_TRUE(waitUntil([&] { return recorder.full(); }, 30));
    // Qtractor fades a monitored input in; from a quarter of a second after the first sound, what
    // comes out is the noise from some sample on, bit for bit, until the end of the recording.
    const std::vector<float>& left = recorder.left;
    size_t from = 0;
    while (from < left.size() && left[from] == 0.0f) ++from;
    from += 12000;
    ASSERT_LT(from + 48000, left.size()) << "no audio came out of Qtractor";
    const size_t start = static_cast<size_t>(std::find(noise.begin(), noise.end(), left[from]) - noise.begin());
    ASSERT_LT(start, noise.size()) << "what comes out is not the noise that went in: " << left[from];
    size_t differing = 0;
    for (size_t i = from; i < left.size(); ++i) {
        const float expected = noise[(start + i - from) % noise.size()];
        differing += left[i] != expected || recorder.right[i] != expected;
    }
    EXPECT_EQ(differing, 0u) << "of " << left.size() - from << " frames";

    // The editor, opened as a user does: a double click on the plug-in in the track's list.
    ASSERT_TRUE(pluginLamp(display, x, y));
    doubleClick(display, x + 20, y);
    Window editor = 0;
    ASSERT_TRUE(waitUntil([&] {
        editor = windowOfSize(display, DefaultRootWindow(display), 900, 277);
        return editor != 0;
    }, 20)) << "no editor window";
    const lumetra::test::EditorPicture panel(std::string(LUMETRA_SOURCE_DIR) + "/resources/128.png");
    ASSERT_TRUE(panel.ok());
    // An editor's window is drawn over many X requests (a picture may catch it half drawn, as the
    // host's window shows through): wait for one picture with the panel whole and meters lit.
    bool lit = false;
    size_t panelDiffers = 0;
    waitUntil([&] {
        const lumetra::test::EditorPicture shown(display, editor);
        if (!shown.ok()) return false;
        lit = false;
        for (int band = 0; band < 32 && !lit; ++band) lit = shown.litPixels(band) > 0;
        panelDiffers = 0;
        for (int row = 0; row < 48; ++row)
            for (int column = 0; column < 740; ++column)
                panelDiffers += shown.at(column, row) != panel.at(column, row);
        return lit && panelDiffers == 0;
    }, 20);
    EXPECT_TRUE(lit) << "the editor's meters do not move with the audio";
    EXPECT_EQ(panelDiffers, 0u) << "the editor's title area is not the panel image";
    host.killNow();
}

INSTANTIATE_TEST_SUITE_P(Formats, QtractorHost, ::testing::ValuesIn(formats()),
                         [](const ::testing::TestParamInfo<HostedFormat>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
