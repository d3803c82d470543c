// A real Windows host under Wine: Debian's LMMS, whose VST server (a 32-bit Windows program) loads
// the 32-bit Lumetra.dll as the effect on the Master channel of LMMS's mixer. A headless render of
// a project through it gives the input back bit for bit; the same project open in LMMS, playing,
// shows the editor with the tone's band lit. One process for both, so that the Wine prefix of
// this build tree (made once, then kept) starts once. Exits 77 (skipped) without LMMS, its VST
// server or a display.
// GoogleTest before Xlib, whose macros (None, Bool ...) would break its templates.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/keysym.h>
#include <fcntl.h>
#include <glob.h>
#include <signal.h>
#include <sndfile.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "tests/editor/X11TestSupport.h"
#include "tests/tools/AudioFiles.h"
#include "tests/tools/EditorPicture.h"

extern char** environ;

namespace {

using lumetra::test::EditorPicture;
using lumetra::test::TempDir;

constexpr int kRateHz = 44100;
// LMMS renders in periods of 256 frames and plays a sample up to the start of the period that
// holds its last frame: the tone is followed by two periods of silence, which may be left out.
constexpr int kPeriod = 256;
constexpr int64_t kToneFrames = 688 * kPeriod;  // 4.0 s
constexpr int64_t kFrames = kToneFrames + 2 * kPeriod;
constexpr int kToneBand = 18;  // 1 kHz

// Wine for LMMS's VST server: the build tree's own 32-bit prefix, quiet, without the .NET and
// HTML engines' installers.
std::vector<std::string> wineEnvironment() {
    return {"WINEPREFIX=" LUMETRA_LMMS_WINE_PREFIX, "WINEARCH=win32", "WINEDEBUG=-all", "WINEDLLOVERRIDES=mscoree,mshtml="};
}

// A child process with extra environment variables, stdout and stderr into one log file.
class Child {
public:
    Child(const std::vector<std::string>& args, const std::vector<std::string>& extraEnvironment, const std::string& log) {
        std::vector<std::string> environment = extraEnvironment;
        for (char** entry = environ; *entry; ++entry) {
            const std::string name = std::string(*entry).substr(0, std::string(*entry).find('=') + 1);
            bool replaced = false;
            for (const std::string& extra : extraEnvironment) replaced |= extra.rfind(name, 0) == 0;
            if (!replaced) environment.emplace_back(*entry);
        }
        std::vector<char*> argv, envp;
        for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
        for (const std::string& variable : environment) envp.push_back(const_cast<char*>(variable.c_str()));
        argv.push_back(nullptr);
        envp.push_back(nullptr);
        posix_spawn_file_actions_t files;
        posix_spawn_file_actions_init(&files);
        posix_spawn_file_actions_addopen(&files, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&files, 1, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        posix_spawn_file_actions_adddup2(&files, 1, 2);
        if (posix_spawnp(&pid, argv[0], &files, nullptr, argv.data(), envp.data()) != 0) pid = -1;
        posix_spawn_file_actions_destroy(&files);
    }
    ~Child() { stop(); }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    bool started() const { return pid > 0 || status >= 0; }

    // Its exit code (128 + signal when killed) once it ends within seconds, otherwise -1.
    int wait(double seconds) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        while (pid > 0) {
            int raw = 0;
            if (waitpid(pid, &raw, WNOHANG) == pid) {
                pid = -1;
                status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
            } else if (std::chrono::steady_clock::now() >= deadline) {
                return -1;
            } else {
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
        }
        return status;
    }

    void stop() {
        if (pid <= 0) return;
        kill(pid, SIGTERM);
        if (wait(10) < 0) {
            kill(pid, SIGKILL);
            wait(10);
        }
    }

private:
    pid_t pid = -1;
    int status = -1;
};

// Runs a program to its end (a generous cap: Wine may be slow on a busy machine).
int run(const std::vector<std::string>& args, const std::string& log) {
    return Child(args, wineEnvironment(), log).wait(120);
}

bool waitUntil(const std::function<bool()>& done, double seconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return true;
}

// What keeps this test from running here, or nothing.
std::string missingPart() {
    if (!std::filesystem::exists("/usr/bin/lmms")) return "LMMS is not installed";
    glob_t found{};
    const bool server = glob("/usr/lib/*/lmms/RemoteVstPlugin.exe.so", 0, nullptr, &found) == 0;
    globfree(&found);
    if (!server) return "LMMS's Windows VST server (lmms-vst-server) is not installed";
    if (std::getenv("DISPLAY") == nullptr) return "no X display";
    return {};
}

// The prefix's first start (made on the first run) must be over before LMMS starts its server:
// a render started while it runs waits forever. At the end no process of the prefix stays.
class WinePrefix : public ::testing::Environment {
public:
    void SetUp() override {
        std::filesystem::create_directories(LUMETRA_LMMS_WINE_PREFIX);
        const std::string log = std::string(LUMETRA_LMMS_WINE_PREFIX) + "/start.log";
        ASSERT_EQ(run({"wineboot"}, log), 0) << "wineboot failed, see " << log;
        ASSERT_EQ(run({"wineserver", "-w"}, log), 0) << "the prefix's first start did not end";
    }
    void TearDown() override {
        const std::string log = std::string(LUMETRA_LMMS_WINE_PREFIX) + "/start.log";
        run({"wineserver", "-k"}, log);
        run({"wineserver", "-w"}, log);
    }
};

class LmmsHost : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(std::filesystem::exists(LUMETRA_WIN32_DLL))
            << LUMETRA_WIN32_DLL << " is not built (cmake --build build-win32 --target Lumetra)";
        std::filesystem::create_directories(dir.path("home/lmms"));
        // LMMS's configuration: set up (no first-start dialog), the plug-in folder, the VST
        // server showing an editor in a window of its own, no audio or MIDI device (the dummy
        // audio device runs the mixer at the audio rate). Embedded (LMMS's default), the editor
        // shows only in the effect's controls window, which nothing but a click opens; in a
        // window of its own, the project opens it.
        std::ofstream(dir.path("home/.lmmsrc.xml"))
            << "<?xml version=\"1.0\"?>\n<!DOCTYPE lmms-config-file>\n<lmms version=\"1.2.2\">\n"
            << "  <app configured=\"1\"/>\n"
            << "  <paths vstdir=\"" << std::filesystem::path(LUMETRA_WIN32_DLL).parent_path().string()
            << "/\" workingdir=\"" << dir.path("home/lmms/") << "\"/>\n"
            << "  <ui vstembedmethod=\"none\"/>\n"
            << "  <mixer audiodev=\"Dummy (no sound output)\" mididev=\"Dummy (no MIDI support)\"/>\n</lmms>\n";
        // Left and right differ, so that swapped or mixed channels show; both are the same tone.
        const std::vector<float> left = lumetra::test::sine(1000.0, 0.125, kRateHz, kToneFrames);
        const std::vector<float> right = lumetra::test::sine(1000.0, 0.0625, kRateHz, kToneFrames);
        input.assign(size_t(kFrames) * 2, 0.0f);
        for (size_t k = 0; k < size_t(kToneFrames); ++k) {
            input[2 * k] = left[k];
            input[2 * k + 1] = right[k];
        }
        lumetra::test::writeAudio(dir.path("tone.wav"), SF_FORMAT_WAV | SF_FORMAT_FLOAT, kRateHz, 2, input);
    }

    // A project whose one sample track plays tone.wav into the Master channel, with the DLL as
    // the channel's effect. shown: the effect's editor open when the project loads, and the first
    // bar repeating in a loop (the tone sounds as long as LMMS plays).
    std::string writeProject(const std::string& name, bool shown) {
        const std::string path = dir.path(name + ".mmp");
        std::ofstream(path)
            << "<?xml version=\"1.0\"?>\n<!DOCTYPE lmms-project>\n"
            << "<lmms-project version=\"1.0\" creator=\"LMMS\" creatorversion=\"1.2.2\" type=\"song\">\n"
            << "  <head timesig_numerator=\"4\" timesig_denominator=\"4\" bpm=\"120\" masterpitch=\"0\" mastervol=\"100\"/>\n"
            << "  <song>\n    <trackcontainer type=\"song\">\n"
            << "      <track type=\"2\" name=\"tone\" muted=\"0\" solo=\"0\">\n"
            << "        <sampletrack vol=\"100\" pan=\"0\" fxch=\"0\"><fxchain numofeffects=\"0\" enabled=\"0\"/></sampletrack>\n"
            // 192 ticks to a bar, 2 s at 120 bpm: three bars hold the whole 4 s.
            << "        <sampletco pos=\"0\" len=\"576\" muted=\"0\" off=\"0\" src=\"" << dir.path("tone.wav") << "\"/>\n"
            << "      </track>\n    </trackcontainer>\n"
            << "    <fxmixer>\n      <fxchannel num=\"0\" name=\"Master\" muted=\"0\" volume=\"1\">\n"
            << "        <fxchain numofeffects=\"1\" enabled=\"1\">\n"
            << "          <effect name=\"vsteffect\" on=\"1\" wet=\"1\" gate=\"0\" autoquit=\"1\">\n"
            << "            <vsteffectcontrols guivisible=\"" << shown << "\"/>\n"
            << "            <key><attribute name=\"file\" value=\""
            << std::filesystem::path(LUMETRA_WIN32_DLL).filename().string() << "\"/></key>\n"
            << "          </effect>\n        </fxchain>\n      </fxchannel>\n    </fxmixer>\n"
            << "    <timeline lp0pos=\"0\" lp1pos=\"192\" lpstate=\"" << shown << "\"/>\n"
            << "  </song>\n</lmms-project>\n";
        return path;
    }

    std::vector<std::string> lmmsEnvironment() {
        std::vector<std::string> environment = wineEnvironment();
        environment.push_back("HOME=" + dir.path("home"));
        return environment;
    }

    TempDir dir;
    std::vector<float> input;  // interleaved stereo
};

TEST_F(LmmsHost, RenderThroughTheDllKeepsEveryBit) {
    const std::string project = writeProject("render", false);
    const std::string log = dir.path("render.log");
    Child lmms({"lmms", "--allowroot", "render", project, "--float", "--oversampling", "1", "--output",
                dir.path("render.wav")},
               lmmsEnvironment(), log);
    ASSERT_TRUE(lmms.started());
    const int status = lmms.wait(120);
    const std::string output = lumetra::test::readFile(log);
    ASSERT_EQ(status, 0) << (status < 0 ? "LMMS did not finish the render:\n" : "LMMS failed:\n") << output;
    // LMMS renders the dry input when it cannot load a plug-in: the VST server's report of the
    // effect's unique ID is the proof that the DLL was loaded and its entry made the effect.
    EXPECT_NE(output.find("unique ID: Lmtr"), std::string::npos) << "the DLL was not loaded:\n" << output;

    SF_INFO info{};
    SNDFILE* file = sf_open(dir.path("render.wav").c_str(), SFM_READ, &info);
    ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
    EXPECT_EQ(info.samplerate, kRateHz);
    EXPECT_EQ(info.format, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
    ASSERT_EQ(info.channels, 2);
    ASSERT_GE(info.frames, kFrames);  // LMMS renders to the end of the last bar
    std::vector<float> rendered(size_t(info.frames) * 2);
    EXPECT_EQ(sf_readf_float(file, rendered.data(), info.frames), info.frames);
    sf_close(file);
    // Bit for bit: the plug-in copies its inputs, and LMMS's chain at unit gains keeps them.
    size_t first = 0;
    while (first < input.size() && std::memcmp(&rendered[first], &input[first], sizeof(float)) == 0) ++first;
    EXPECT_EQ(first, input.size()) << "first difference at frame " << first / 2 << " channel " << first % 2 << ": "
                                   << rendered[first] << " instead of " << input[first];
    size_t sounding = input.size();
    while (sounding < rendered.size() && rendered[sounding] == 0.0f) ++sounding;
    EXPECT_EQ(sounding, rendered.size()) << "sound after the input's end, at frame " << sounding / 2;
}

TEST_F(LmmsHost, EditorInItsWindowLightsTheTonesBand) {
    Display* display = x11test::openDisplay();
    ASSERT_NE(display, nullptr);
    x11test::SentinelHandler quiet;  // the VST server's windows may go at any time
    const std::string log = dir.path("window.log");
    Child lmms({"lmms", "--allowroot", writeProject("tone", true)}, lmmsEnvironment(), log);
    ASSERT_TRUE(lmms.started());

    // The VST server opens the editor while LMMS loads the project; LMMS names its window after
    // the project once the project is loaded.
    Window editor = 0, lmmsWindow = 0;
    const bool opened = waitUntil([&] {
        XWindowAttributes attributes{};
        editor = lumetra::test::findWindow(display, "Lumetra");
        lmmsWindow = lumetra::test::findWindow(display, "tone - LMMS");
        return editor != 0 && lmmsWindow != 0 && XGetWindowAttributes(display, editor, &attributes) &&
               attributes.map_state == IsViewable;
    }, 120);
    ASSERT_TRUE(opened) << "LMMS did not show the project with the editor:\n" << lumetra::test::readFile(log);
    EXPECT_EQ(x11test::windowSize(display, editor), (x11test::Size{900, 277}));

    // Nothing covers the editor (there is no window manager); the space key plays the song.
    XRaiseWindow(display, editor);
    x11test::typeKeyAt(display, lmmsWindow, lmmsWindow, XK_space);

    // The tone in its band, the bands beside it lower (the filters' skirts), the others dark.
    std::vector<int> lit(32);
    const bool shown = waitUntil([&] {
        EditorPicture picture(display, editor);
        if (!picture.ok() || picture.width() != 900) return false;
        for (int band = 0; band < 32; ++band) lit[size_t(band)] = picture.litPixels(band);
        bool pattern = lit[kToneBand] > lit[kToneBand - 1] && lit[kToneBand] > lit[kToneBand + 1];
        for (int band = 0; band < 32; ++band)
            if (std::abs(band - kToneBand) > 2) pattern = pattern && lit[size_t(band)] == 0;
        return pattern && lit[kToneBand - 1] > 0 && lit[kToneBand + 1] > 0;
    }, 60);
    std::string counts;
    for (int band = 0; band < 32; ++band) counts += " " + std::to_string(lit[size_t(band)]);
    EXPECT_TRUE(shown) << "lit pixels per band:" << counts << "\n" << lumetra::test::readFile(log);
    lmms.stop();
    XCloseDisplay(display);
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (const std::string missing = missingPart(); !missing.empty()) {
        std::printf("skipped: %s\n", missing.c_str());
        return 77;
    }
    ::testing::AddGlobalTestEnvironment(new WinePrefix);
    return RUN_ALL_TESTS();
}
