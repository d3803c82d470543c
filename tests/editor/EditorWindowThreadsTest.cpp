// The editor window opened and closed over and over while the host's audio thread processes the
// whole time and the engine sends its 32 meter values after every block.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "tests/editor/EditorWindowSupport.h"

namespace {

TEST(EditorWindowThreads, TwoHundredOpenCloseCyclesWhileAudioRuns) {
    editortest::ModuleEditor editor;
    if (!editor.setUp()) GTEST_SKIP() << editor.why;

    std::atomic<bool> running{true};
    std::atomic<int64_t> blocks{0};
    std::thread audio([&] {
        constexpr int kBlock = editortest::ModuleEditor::kBlock;
        const std::vector<float> tone = editortest::sine(0.5f, 1000.0, kBlock);
        std::vector<float> left(tone), right(tone), outLeft(kBlock), outRight(kBlock);
        while (running.load(std::memory_order_relaxed)) {
            editor.host.process(left.data(), right.data(), outLeft.data(), outRight.data(), kBlock);
            blocks.fetch_add(1, std::memory_order_relaxed);
        }
    });

    int opened = 0;
    for (int cycle = 0; cycle < 200; ++cycle) {
        if (editor.open()) ++opened;
        editor.host.dispatch(effEditIdle);
        if (cycle % 20 == 0) editor.idle(1);  // now and then long enough for the meters to repaint
        editor.host.dispatch(effEditIdle);
        editor.close();
    }
    running.store(false, std::memory_order_relaxed);
    audio.join();

    EXPECT_EQ(opened, 200);
    EXPECT_GT(blocks.load(), 0);
    // Nothing of the editor is left in the host's window.
    EXPECT_EQ(editor.frameWindow(), editortest::NativeWindow{0});
}

}  // namespace
