// `lumetra snapshot` and `lumetra show` run as a user runs them: the picture of the built-in
// signal, the picture before any audio, the refusals, and the window that closes when asked to.
// GoogleTest before Xlib, whose macros (None, Bool ...) would break its templates.
#include <gtest/gtest.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "EditorPicture.h"
#include "ToolRun.h"

extern char** environ;

namespace {

using lumetra::test::closeLikeWindowManager;
using lumetra::test::runTool;

std::string scratchDir() {
    auto dir = std::filesystem::temp_directory_path() /
               ("lumetra-editor-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    std::filesystem::create_directories(dir);
    return dir.string();
}

using Snapshot = lumetra::test::EditorPicture;

TEST(Snapshot, TestSignalLightsItsTonesBands) {
    const std::string dir = scratchDir();
    const std::string png = dir + "/editor.png";
    const auto run = runTool({"snapshot", LUMETRA_MODULE_PATH, "-o", png}, dir);
    ASSERT_EQ(run.status, 0) << run.err;
    Snapshot picture(png);
    ASSERT_TRUE(picture.ok());
    EXPECT_EQ(picture.width(), 900);
    EXPECT_EQ(picture.height(), 277);
    // Tones at 63 Hz (band 6), 1 kHz (band 18) and 8 kHz (band 27) over pink noise.
    for (int band : {6, 18, 27}) {
        EXPECT_GT(picture.litPixels(band), picture.litPixels(band - 2)) << "band " << band;
        EXPECT_GT(picture.litPixels(band), picture.litPixels(band + 2)) << "band " << band;
    }
    for (int band = 0; band < 32; ++band) EXPECT_GT(picture.litPixels(band), 0) << "noise in band " << band;
    // The panel's face around the display window.
    const uint32_t face = picture.at(450, 262);
    EXPECT_GT((face >> 16) & 0xFF, 200u);
    EXPECT_GT((face >> 8) & 0xFF, 200u);
}

TEST(Snapshot, BeforeAnyAudioEveryColumnIsDark) {
    const std::string dir = scratchDir();
    const std::string png = dir + "/dark.png";
    const auto run = runTool({"snapshot", LUMETRA_MODULE_PATH, "--at", "0", "-o", png}, dir);
    ASSERT_EQ(run.status, 0) << run.err;
    Snapshot picture(png);
    ASSERT_TRUE(picture.ok());
    for (int band = 0; band < 32; ++band) EXPECT_EQ(picture.litPixels(band), 0) << "band " << band;
}

TEST(Snapshot, BadRequestsAreRefusedWithTheReason) {
    const std::string dir = scratchDir();
    const std::string notAudio = dir + "/notes.txt";
    std::ofstream(notAudio) << "not audio\n";
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string says;
    };
    const std::vector<Case> cases = {
        {{"snapshot", LUMETRA_MODULE_PATH}, 2, "no output picture"},
        {{"snapshot", LUMETRA_MODULE_PATH, "-o"}, 2, "needs a file name"},
        {{"snapshot", "-o", dir + "/x.png"}, 2, "no MODULE"},
        {{"snapshot", dir + "/missing.so", "-o", dir + "/x.png"}, 2, "missing.so"},
        {{"snapshot", notAudio, "-o", dir + "/x.png"}, 2, "notes.txt"},
        {{"snapshot", LUMETRA_MODULE_PATH, notAudio, "-o", dir + "/x.png"}, 2, "notes.txt"},
        {{"snapshot", LUMETRA_MODULE_PATH, "-o", dir + "/x.png", "--at", "-1"}, 2, "--at"},
        {{"snapshot", LUMETRA_MODULE_PATH, "-o", dir + "/x.png", "--at", "nan"}, 2, "--at"},
        {{"snapshot", LUMETRA_MODULE_PATH, "-o", dir + "/x.png", "--at", "2s"}, 2, "--at"},
        {{"snapshot", LUMETRA_MODULE_PATH, "-o", dir + "/x.png", "--loud"}, 2, "unknown option"},
        {{"snapshot", LUMETRA_MODULE_PATH, notAudio, "-o", notAudio}, 2, "one of the inputs"},
        {{"snapshot", LUMETRA_MODULE_PATH, "-o", dir + "/no/such/dir/x.png", "--at", "0"}, 2, "cannot write"},
    };
    for (const Case& c : cases) {
        const auto run = runTool(c.args, dir);
        EXPECT_EQ(run.status, c.status) << c.args.back() << ": " << run.err;
        EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
        EXPECT_NE(run.err.find("lumetra snapshot: "), std::string::npos) << run.err;
    }
    EXPECT_FALSE(std::filesystem::exists(dir + "/x.png"));
}

TEST(Show, WithoutADisplayItSaysSo) {
    const char* saved = std::getenv("DISPLAY");
    const std::string keep = saved ? saved : "";
    unsetenv("DISPLAY");
    const auto run = runTool({"show", LUMETRA_MODULE_PATH}, scratchDir());
    if (!keep.empty()) setenv("DISPLAY", keep.c_str(), 1);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("cannot open the X display"), std::string::npos) << run.err;
}

// The show command as a child process, and its top-level window once it is there.
class ShowWindow : public ::testing::Test {
protected:
    void SetUp() override {
        display = XOpenDisplay(nullptr);
        if (display == nullptr) GTEST_SKIP() << "no X display";
        const std::string tool = LUMETRA_TOOL_PATH;
        const std::string module = LUMETRA_MODULE_PATH;
        char* argv[] = {const_cast<char*>(tool.c_str()), const_cast<char*>("show"), const_cast<char*>(module.c_str()),
                        nullptr};
        ASSERT_EQ(posix_spawn(&child, tool.c_str(), nullptr, nullptr, argv, environ), 0);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (window == 0 && std::chrono::steady_clock::now() < deadline) {
            window = findWindow("Lumetra - ");
            if (window == 0) std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        ASSERT_NE(window, 0u) << "the show window did not appear";
    }
    void TearDown() override {
        if (child > 0) {
            kill(child, SIGKILL);
            waitpid(child, nullptr, 0);
        }
        if (display) XCloseDisplay(display);
    }

    Window findWindow(const std::string& titleStart) { return lumetra::test::findWindow(display, titleStart); }

    // The child's exit status within a few seconds, or -1 (it is then killed in TearDown).
    int exitStatus() {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (std::chrono::steady_clock::now() < deadline) {
            int status = 0;
            if (waitpid(child, &status, WNOHANG) == child) {
                child = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return -1;
    }

    Display* display = nullptr;
    pid_t child = -1;
    Window window = 0;
};

TEST_F(ShowWindow, ClosingTheWindowEndsIt) {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // let audio and idles run a while
    closeLikeWindowManager(display, window);
    EXPECT_EQ(exitStatus(), 0);
    EXPECT_EQ(findWindow("Lumetra - "), 0u);
}

TEST_F(ShowWindow, TerminationEndsItCleanly) {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    kill(child, SIGTERM);
    EXPECT_EQ(exitStatus(), 0);
}

}  // namespace
