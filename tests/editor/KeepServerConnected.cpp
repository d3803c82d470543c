// An X server started without -noreset (xvfb-run's default) resets when its last client leaves,
// and refuses connections while it does: a test that opens its display right after the previous
// test closed everything then skipped as if there were no display. The X11 test programs hold
// one connection of their own from start to end, so the server never resets under them. The
// first connection retries for a moment: the previous test program may just have left.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include <X11/Xlib.h>  // after gtest: its None and Bool macros collide with gtest's names

namespace {

class KeepServerConnected : public ::testing::Environment {
public:
    void SetUp() override {
        if (std::getenv("DISPLAY") == nullptr) return;  // the tests skip
        keeper = XOpenDisplay(nullptr);
        for (int attempt = 0; keeper == nullptr && attempt < 40; ++attempt) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            keeper = XOpenDisplay(nullptr);
        }
    }
    void TearDown() override {
        if (keeper) XCloseDisplay(keeper);
        keeper = nullptr;
    }

private:
    Display* keeper = nullptr;
};
[[maybe_unused]] ::testing::Environment* const keepServer =
    ::testing::AddGlobalTestEnvironment(new KeepServerConnected);

}  // namespace
