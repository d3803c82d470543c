// `lumetra info MODULE` run as a user would: a real module is described, and every kind of file
// that is not one gives a single error line naming it and exit code 2.
#include <filesystem>
#include <fstream>
#include <string>

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
// slash is a file here, not a library for the loader to search for).
TEST(InfoCommand, DescribesTheModule) {
    const std::filesystem::path module(LUMETRA_MODULE_PATH);
    for (const auto& [name, workDir] : {std::pair{module.string(), std::string()},
                                        std::pair{module.filename().string(), module.parent_path().string()}}) {
        auto run = runTool({"info", name}, scratchDir(), workDir);
        EXPECT_EQ(run.status, 0) << name << ": " << run.err;
        EXPECT_NE(run.out.find("Lmtr"), std::string::npos) << run.out;
        EXPECT_NE(run.out.find("0x11"), std::string::npos) << run.out;
        EXPECT_NE(run.out.find("Init"), std::string::npos) << run.out;
    }
}

TEST(InfoCommand, RejectsWhatIsNotAModule) {
    std::string dir = scratchDir();
    std::string textFile = dir + "/notes.so";
    std::ofstream(textFile) << "not a shared object\n";
    for (const std::string& path : {dir + "/missing.so", textFile, std::string("/lib/x86_64-linux-gnu/libm.so.6")}) {
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
