// The test host and `lumetra info` refusing what is not a usable plug-in: each failure is one
// line that names the file, and the tool exits with 2.
#if !defined(_WIN32)
#include <sys/wait.h>
#endif

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "host/ClapHost.h"
#include "host/VstHost.h"

namespace {

struct Refusal {
    std::string path;
    const char* why;
};

std::vector<Refusal> refusals() {
    const std::string dir = (std::filesystem::temp_directory_path() / "lumetra-host-load").string();
    std::filesystem::create_directories(dir);
    std::ofstream(dir + "/notes.so") << "not a shared object\n";
    return {{dir + "/missing.so", "no such file"},
            {dir + "/notes.so", "not a loadable module"},
            {dir, "not a loadable module"},
            {LUMETRA_NO_ENTRY_MODULE, "no VST 2.4 entry point"},
            {LUMETRA_NULL_ENTRY_MODULE, "created no effect"}};
}

// Files named .clap, for the CLAP host (and for lumetra info, which hands them to it): the same
// kinds of file, and shared objects without its entry.
std::vector<Refusal> clapRefusals() {
    const std::string dir = (std::filesystem::temp_directory_path() / "lumetra-host-load").string();
    std::filesystem::create_directories(dir);
    std::ofstream(dir + "/notes.clap") << "not a shared object\n";
    const auto copy = std::filesystem::copy_options::overwrite_existing;
    std::filesystem::copy_file(LUMETRA_NO_ENTRY_MODULE, dir + "/no-entry.clap", copy);
    std::filesystem::copy_file(LUMETRA_MODULE_PATH, dir + "/vst.clap", copy);
    return {{dir + "/missing.clap", "no such file"},
            {dir + "/notes.clap", "not a loadable module"},
            {dir + "/no-entry.clap", "no CLAP entry"},
            {dir + "/vst.clap", "no CLAP entry"}};
}

bool holdsNothing(const lumetra::VstHost& host) { return host.effect() == nullptr; }
bool holdsNothing(const lumetra::ClapHost& host) { return host.entry() == nullptr && host.plugin() == nullptr; }

template <typename Host>
void expectRefusals(const std::vector<Refusal>& refused) {
    for (const Refusal& r : refused) {
        SCOPED_TRACE(r.path);
        Host host;
        const lumetra::LoadResult result = host.load(r.path);
        EXPECT_FALSE(result);
        EXPECT_TRUE(holdsNothing(host));
        EXPECT_NE(result.message.find(r.path), std::string::npos) << result.message;
        EXPECT_NE(result.message.find(r.why), std::string::npos) << result.message;
        EXPECT_EQ(result.message.find('\n'), std::string::npos) << result.message;
    }
}

TEST(HostLoad, RefusesWhatIsNotAPlugInWithOneLine) {
    expectRefusals<lumetra::VstHost>(refusals());
    expectRefusals<lumetra::ClapHost>(clapRefusals());
}

#if !defined(_WIN32)  // the Windows build runs `lumetra info` from CTest (tests/plugin/CMakeLists.txt)
TEST(HostLoad, InfoToolExitsWithTwoAndOneErrorLine) {
    std::vector<Refusal> all = refusals();
    for (const Refusal& r : clapRefusals()) all.push_back(r);
    for (const Refusal& r : all) {
        SCOPED_TRACE(r.path);
        const std::string command = std::string(LUMETRA_TOOL_PATH) + " info '" + r.path + "' 2>&1 >/dev/null";
        FILE* pipe = popen(command.c_str(), "r");
        ASSERT_NE(pipe, nullptr);
        std::string err;
        char chunk[256];
        while (size_t n = std::fread(chunk, 1, sizeof chunk, pipe)) err.append(chunk, n);
        const int status = pclose(pipe);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 2);
        ASSERT_FALSE(err.empty());
        EXPECT_EQ(err.find('\n'), err.size() - 1) << err;  // exactly one line
        EXPECT_NE(err.find(r.path), std::string::npos) << err;
    }
}
#endif

TEST(HostLoad, RecordsTheVersionQueryAndUnloadsTwice) {
    lumetra::VstHost host;
    ASSERT_TRUE(host.load(LUMETRA_MODULE_PATH));
    ASSERT_FALSE(host.calls.empty());
    EXPECT_EQ(host.calls.front().opcode, audioMasterVersion);
    host.unload();
    host.unload();
    EXPECT_EQ(host.effect(), nullptr);
    EXPECT_TRUE(host.load(LUMETRA_MODULE_PATH));  // and loads again after a dlclose
}

}  // namespace
