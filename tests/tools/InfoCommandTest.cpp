// `lumetra info MODULE` run as a user would: a real module is described, and every kind of file
// that is not one gives a single error line naming it and exit code 2.
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ToolRun.h"

namespace {

using lumetra::test::runTool;
using lumetra::test::splitLines;

std::string scratchDir() {
    auto dir = std::filesystem::temp_directory_path() /
               ("lumetra-info-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    std::filesystem::create_directories(dir);
    return dir.string();
}

// By its path, and by its bare file name from its own folder, as people type it (a name without a
// slash is a file here, not a library for the loader to search for); the LV2 bundle as LV2 hosts
// read it, its plug-in made once.
TEST(InfoCommand, DescribesTheModule) {
    const std::filesystem::path module(LUMETRA_MODULE_PATH);
    struct Row {
        std::string name, workDir;
        std::vector<std::string> expected;
    };
    std::vector<Row> rows = {{module.string(), "", {"Lmtr", "0x11", "Init"}},
                             {module.filename().string(), module.parent_path().string(), {"Lmtr", "0x11", "Init"}}};
#if defined(LUMETRA_LV2_BUNDLE)
    const std::vector<std::string> lv2 = {"plugin        urn:lumetra:analyzer", "instance      made at 48000 Hz",
                                          "(X11UI)", "Delay          0 to 300 ms, default 0", "0=L 1=M 2=R",
                                          "Level 20 kHz   -120 to 40 db", "presets (16):\n  Init 1\n  Init 2\n"};
    rows.push_back({LUMETRA_LV2_BUNDLE, "", lv2});
    rows.push_back({"Lumetra.lv2/", std::filesystem::path(LUMETRA_LV2_BUNDLE).parent_path().string(), lv2});
#endif
    for (const Row& row : rows) {
        auto run = runTool({"info", row.name}, scratchDir(), row.workDir);
        EXPECT_EQ(run.status, 0) << row.name << ": " << run.err;
        for (const std::string& expected : row.expected)
            EXPECT_NE(run.out.find(expected), std::string::npos) << row.name << " lacks " << expected << ":\n" << run.out;
    }
}

TEST(InfoCommand, RejectsWhatIsNotAModule) {
    std::string dir = scratchDir();
    std::string textFile = dir + "/notes.so";
    std::ofstream(textFile) << "not a shared object\n";
    // Folders that are no LV2 bundle: none at all, one without a manifest, one whose Turtle is
    // not Turtle.
    std::filesystem::create_directories(dir + "/empty.lv2");
    std::filesystem::create_directories(dir + "/garbled.lv2");
    std::ofstream(dir + "/garbled.lv2/manifest.ttl") << "<urn:x> a <http://lv2plug.in/ns/lv2core#Plugin ;;\n";
    for (const std::string& path : {dir + "/missing.so", textFile, std::string("/lib/x86_64-linux-gnu/libm.so.6"),
                                    dir + "/missing.lv2", dir + "/empty.lv2", dir + "/garbled.lv2"}) {
        if (path.find("libm") != std::string::npos && !std::filesystem::exists(path)) continue;
        auto run = runTool({"info", path}, dir);
        EXPECT_EQ(run.status, 2) << path;
        auto lines = splitLines(run.err);
        ASSERT_EQ(lines.size(), 1u) << path << ": " << run.err;
        EXPECT_NE(lines[0].find(path), std::string::npos) << lines[0];
        EXPECT_TRUE(run.out.empty()) << run.out;
    }
}

}  // namespace
