// `lumetra listen --window` on the test's X server: the plug-in's editor follows the live input,
// and closing its window ends the program.
// GoogleTest before Xlib, whose macros (None, Bool ...) would break its templates.
#include <gtest/gtest.h>

#include "tests/tools/AudioFiles.h"
#include "tests/tools/EditorPicture.h"
#include "tests/tools/JackSession.h"

namespace lumetra::test {
namespace {

TEST(ListenWindow, TheEditorsBandColumnLightsWhileTheSinePlays) {
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) GTEST_SKIP() << "no X display";
    TempDir dir;
    JackServer server(48000, 256);
    ASSERT_TRUE(server.ok());
    JackPlayer player(server.name(), {std::vector<float>(480, 0.0f), sine(1000.0, 0.1, 48000, 4800)});
    ASSERT_TRUE(player.ok());
    ListenProcess listen(server.name(),
                         {"--window", "--module", LUMETRA_MODULE_PATH, "--connect", "player:out_[12]"}, dir.path(""));
    Window window = 0;
    ASSERT_TRUE(waitUntil([&] { return (window = findWindow(display, "Lumetra - ")) != 0; }, 10)) << listen.err();
    ASSERT_TRUE(waitUntil([&] { return player.connected("player:out_2"); }, 10));

    auto litWhen = [&](int signal, int band) {
        player.play(signal);
        int lit = -1;
        waitUntil([&] {  // the meters follow within a few of the editor's 33 ms idles
            lit = EditorPicture(display, window).litPixels(band);
            return signal == 0 ? lit == 0 : lit > 0;
        }, 3);
        return lit;
    };
    EXPECT_EQ(litWhen(0, 18), 0);
    EXPECT_GT(litWhen(1, 18), 0);
    {
        const EditorPicture picture(display, window);
        ASSERT_TRUE(picture.ok());
        for (int band : {10, 14, 22, 27}) EXPECT_EQ(picture.litPixels(band), 0) << "band " << band;
    }
    EXPECT_EQ(litWhen(0, 18), 0);  // and goes dark when it stops

    // Closing the window ends it, as the window manager asks.
    closeLikeWindowManager(display, window);
    EXPECT_EQ(listen.wait(5), 0) << listen.err();
    XCloseDisplay(display);
}

}  // namespace
}  // namespace lumetra::test
