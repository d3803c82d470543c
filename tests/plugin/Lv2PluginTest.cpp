// The LV2 bundle's DSP binary as LV2 hosts meet it: loaded through lilv (the library Linux hosts
// read bundles with), its ports found by symbol in its Turtle, run block by block against the VST
// 2.4 module and `lumetra analyze`; then by Debian's own hosts: lv2apply on a file, jalv on a
// private JACK server.
#include <gtest/gtest.h>
#include <lilv/lilv.h>
#include <sndfile.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine/MeterValue.h"
#include "host/VstHost.h"
#include "module/lv2/Lv2Ports.h"
#include "tests/support/AllocationCounter.h"
#include "tests/tools/AudioFiles.h"
#include "tests/tools/JackSession.h"
#include "tests/tools/ToolRun.h"

namespace lumetra::test {
namespace {

constexpr int kRate = 48000;
constexpr uint32_t kBands = lv2::kNumBands;

// The built bundle alone in a lilv world, as a host that found it on its LV2 path.
class Bundle {
public:
    Bundle() : world(lilv_world_new()) {
        LilvNode* bundle = lilv_new_file_uri(world, nullptr, LUMETRA_LV2_BUNDLE "/");
        lilv_world_load_bundle(world, bundle);
        lilv_node_free(bundle);
        LilvNode* uri = lilv_new_uri(world, lv2::kPluginUri);
        plugin = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world), uri);
        lilv_node_free(uri);
    }
    ~Bundle() { lilv_world_free(world); }

    // The port's index as the Turtle numbers it; kNumPorts for a symbol it lacks.
    uint32_t port(const std::string& symbol) const {
        LilvNode* node = lilv_new_string(world, symbol.c_str());
        const LilvPort* p = lilv_plugin_get_port_by_symbol(plugin, node);
        lilv_node_free(node);
        return p ? lilv_port_get_index(plugin, p) : lv2::kNumPorts;
    }

    LilvWorld* world;
    const LilvPlugin* plugin = nullptr;
};

const Bundle& bundle() {
    static const Bundle loaded;
    return loaded;
}

// The controls as a user sets them, in port units.
struct Controls {
    char mode = 'M';
    int resp = 1;
    float delayMs = 0.0f;
    float gainDb = 0.0f;
};

// One instance of the plug-in, its ports connected to buffers of its own, as a host connects them.
class Instance {
public:
    Instance(double rateHz = kRate) {
        instance = lilv_plugin_instantiate(bundle().plugin, rateHz, nullptr);
        if (instance == nullptr) return;
        for (uint32_t j = 0; j < kBands; ++j)
            lilv_instance_connect_port(instance, bundle().port("level_" + std::to_string(j)), &levels[j]);
        for (const char* control : {"delay", "gain", "mode", "resp"})
            lilv_instance_connect_port(instance, bundle().port(control), &controls[control]);
        lilv_instance_activate(instance);
    }
    ~Instance() {
        if (instance == nullptr) return;
        lilv_instance_deactivate(instance);
        lilv_instance_free(instance);
    }

    void set(const Controls& c) {
        controls["mode"] = c.mode == 'L' ? 0.0f : c.mode == 'M' ? 1.0f : 2.0f;
        controls["resp"] = static_cast<float>(c.resp);
        controls["delay"] = c.delayMs;
        controls["gain"] = c.gainDb;
    }
    void connectAudio(float* inL, float* inR, float* outL, float* outR) {
        float* buffers[] = {inL, inR, outL, outR};
        const char* symbols[] = {"in_l", "in_r", "out_l", "out_r"};
        for (int k = 0; k < 4; ++k) lilv_instance_connect_port(instance, bundle().port(symbols[k]), buffers[k]);
    }
    void run(uint32_t frames) { lilv_instance_run(instance, frames); }

    LilvInstance* instance = nullptr;
    float levels[kBands] = {};
    std::map<std::string, float> controls{{"delay", 0.0f}, {"gain", 0.0f}, {"mode", 1.0f}, {"resp", 1.0f}};
};

// Left and right differ, so that Mode chooses: pink noise with 1 kHz and 63 Hz on the left, other
// noise with 8 kHz and 20 kHz on the right; 1 s at 48 kHz.
std::vector<float> testSignal() {
    const int64_t frames = kRate;
    std::vector<float> left = pinkNoise(0.05, frames, 3), right = pinkNoise(0.05, frames, 11);
    const std::vector<float> a = sine(1000.0, 0.2, kRate, frames), b = sine(63.0, 0.1, kRate, frames);
    const std::vector<float> c = sine(8000.0, 0.1, kRate, frames), d = sine(20000.0, 0.3, kRate, frames);
    std::vector<float> stereo;
    for (size_t i = 0; i < size_t(frames); ++i) {
        stereo.push_back(left[i] + a[i] + b[i]);
        stereo.push_back(right[i] + c[i] + d[i]);
    }
    return stereo;
}

std::vector<float> channel(const std::vector<float>& stereo, int c) {
    std::vector<float> out;
    for (size_t i = size_t(c); i < stereo.size(); i += 2) out.push_back(stereo[i]);
    return out;
}

// `lumetra analyze --csv`: one row per block, the 32 band levels in dB as exact floats.
std::vector<std::vector<float>> analyzeRows(const std::string& wav, const Controls& c, int block, const TempDir& dir) {
    char delay[32], gain[32];
    *std::to_chars(delay, delay + 31, c.delayMs).ptr = '\0';
    *std::to_chars(gain, gain + 31, c.gainDb).ptr = '\0';
    const ToolRun run = runTool({"analyze", "--quiet", "--no-live", "--csv", "-", "--block", std::to_string(block),
                                 "--mode", std::string(1, c.mode), "--resp", std::to_string(c.resp), "--delay",
                                 delay, "--gain", gain, wav},
                                dir.path(""));
    EXPECT_EQ(run.status, 0) << run.err;
    std::vector<std::vector<float>> rows;
    const std::vector<std::string> lines = splitLines(run.out);
    for (size_t k = 1; k < lines.size(); ++k) {
        const std::vector<std::string> fields = splitFields(lines[k]);
        std::vector<float> row(kBands);
        for (uint32_t j = 0; j < kBands && j + 1 < fields.size(); ++j)
            std::from_chars(fields[j + 1].data(), fields[j + 1].data() + fields[j + 1].size(), row[j]);
        rows.push_back(row);
    }
    return rows;
}

// For the same input and controls, block by block: the audio passes through bit for bit, every
// level output equals the level `lumetra analyze` computes with the engine, and the VST 2.4
// module's meter value for band 31 (parameter 1 after a block, all it shows a host) is the one the
// level output gives, as the LV2 editor computes it. Blocks of 20000 frames reach the plug-in's
// splitting of long blocks.
TEST(Lv2Plugin, LevelOutputsEqualTheVstModuleAndTheAnalyzer) {
    ASSERT_NE(bundle().plugin, nullptr) << "no " << lv2::kPluginUri << " in " << LUMETRA_LV2_BUNDLE;
    TempDir dir;
    const std::vector<float> stereo = testSignal();
    const std::string wav = dir.path("in.wav");
    writeAudio(wav, SF_FORMAT_WAV | SF_FORMAT_FLOAT, kRate, 2, stereo);
    const std::vector<float> left = channel(stereo, 0), right = channel(stereo, 1);

    const struct Row {
        Controls controls;
        int block;
    } rows[] = {
        {{'M', 1, 0.0f, 0.0f}, 512},
        {{'L', 2, 150.0f, 10.0f}, 512},
        {{'R', 3, 300.0f, -20.0f}, 512},
        {{'M', 3, 12.5f, 7.5f}, 20000},
    };
    for (const Row& row : rows) {
        const Controls& c = row.controls;
        SCOPED_TRACE(std::string("mode ") + c.mode + " resp " + std::to_string(c.resp) + " delay " +
                     std::to_string(c.delayMs) + " gain " + std::to_string(c.gainDb) + " block " +
                     std::to_string(row.block));
        const std::vector<std::vector<float>> expected = analyzeRows(wav, c, row.block, dir);

        Instance lv2;
        ASSERT_NE(lv2.instance, nullptr);
        lv2.set(c);
        VstHost vst;
        ASSERT_TRUE(vst.load(LUMETRA_MODULE_PATH)) << vst.error();
        vst.dispatch(effSetSampleRate, 0, 0, nullptr, float(kRate));
        vst.dispatch(effSetBlockSize, 0, row.block);
        const float volume = float((double(c.gainDb) + 20.0) / 40.0);
        vst.setParameter(0, float(double(c.delayMs) / 300.0));
        vst.setParameter(2, volume);
        vst.setParameter(3, c.mode == 'L' ? 0.0f : c.mode == 'M' ? 0.5f : 1.0f);
        vst.setParameter(4, (float(c.resp) - 1.0f) * 0.5f);
        vst.dispatch(effMainsChanged, 0, 1);

        std::vector<float> inL(size_t(row.block)), inR(inL.size()), outL(inL.size()), outR(inL.size());
        std::vector<float> vstL(inL.size()), vstR(inL.size());
        lv2.connectAudio(inL.data(), inR.data(), outL.data(), outR.data());
        size_t block = 0;
        for (size_t at = 0; at < left.size(); at += size_t(row.block), ++block) {
            const auto n = uint32_t(std::min(size_t(row.block), left.size() - at));
            std::copy_n(left.begin() + long(at), n, inL.begin());
            std::copy_n(right.begin() + long(at), n, inR.begin());
            lv2.run(n);
            vst.process(inL.data(), inR.data(), vstL.data(), vstR.data(), VstInt32(n));
            ASSERT_EQ(std::memcmp(outL.data(), inL.data(), n * sizeof(float)), 0) << "block " << block;
            ASSERT_EQ(std::memcmp(outR.data(), inR.data(), n * sizeof(float)), 0) << "block " << block;
            ASSERT_LT(block, expected.size());
            for (uint32_t j = 0; j < kBands; ++j)
                ASSERT_EQ(std::bit_cast<uint32_t>(lv2.levels[j]), std::bit_cast<uint32_t>(expected[block][j]))
                    << "block " << block << " band " << j << ": " << lv2.levels[j] << " against " << expected[block][j];
            const float band31 = packedMeterValue(31, meterFractionOfDecibels(lv2.levels[31], volume));
            ASSERT_EQ(std::bit_cast<uint32_t>(vst.getParameter(1)), std::bit_cast<uint32_t>(band31))
                << "block " << block << ": " << vst.getParameter(1) << " against " << band31;
        }
        EXPECT_EQ(block, expected.size());
    }
}

// What a careless or hostile host does gets a sound answer: a rate the bands cannot be built for
// gives no instance; controls outside their range or NaN act as the nearest value or the last one;
// buffers shared between ports (allowed in LV2) still pass each channel to its own output, with
// the same levels; unconnected audio ports pass nothing but the levels still come.
TEST(Lv2Plugin, CarelessHostsGetSoundAnswers) {
    for (const double rate : {0.0, -48000.0, std::nan(""), 1e12, 100.0}) {
        Instance refused(rate);
        EXPECT_EQ(refused.instance, nullptr) << rate;
    }

    constexpr uint32_t n = 4096;
    std::vector<float> stereo = testSignal();
    stereo.resize(2 * n);
    const std::vector<float> left = channel(stereo, 0), right = channel(stereo, 1);
    // The reference: L, Resp 3, 300 ms, +20 dB, separate buffers.
    Instance reference;
    reference.set({'L', 3, 300.0f, 20.0f});
    std::vector<float> inL = left, inR = right, outL(n), outR(n);
    reference.connectAudio(inL.data(), inR.data(), outL.data(), outR.data());
    reference.run(n);

    struct Case {
        const char* what;
        std::map<std::string, float> controls;
        int layout;  // 0 separate, 1 in place, 2 outputs swapped onto the other inputs, 3 out_l on in_r
    };
    const Case cases[] = {
        {"beyond the ranges", {{"mode", -7.0f}, {"resp", 9.0f}, {"delay", 1e9f}, {"gain", 1e30f}}, 0},
        {"between the whole numbers", {{"mode", 0.4f}, {"resp", 2.6f}, {"delay", 300.0f}, {"gain", 20.0f}}, 0},
        {"in place", {{"mode", 0.0f}, {"resp", 3.0f}, {"delay", 300.0f}, {"gain", 20.0f}}, 1},
        {"swapped", {{"mode", 0.0f}, {"resp", 3.0f}, {"delay", 300.0f}, {"gain", 20.0f}}, 2},
        {"crossed", {{"mode", 0.0f}, {"resp", 3.0f}, {"delay", 300.0f}, {"gain", 20.0f}}, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Instance lv2;
        lv2.controls = c.controls;
        std::vector<float> a = left, b = right, x(n), y(n);
        switch (c.layout) {
        case 0: lv2.connectAudio(a.data(), b.data(), x.data(), y.data()); break;
        case 1: lv2.connectAudio(a.data(), b.data(), a.data(), b.data()); break;
        case 2: lv2.connectAudio(a.data(), b.data(), b.data(), a.data()); break;
        default: lv2.connectAudio(a.data(), b.data(), b.data(), x.data()); break;
        }
        lv2.run(n);
        const float* outs[4][2] = {{x.data(), y.data()}, {a.data(), b.data()}, {b.data(), a.data()}, {b.data(), x.data()}};
        EXPECT_EQ(std::memcmp(outs[c.layout][0], left.data(), n * sizeof(float)), 0) << "left";
        EXPECT_EQ(std::memcmp(outs[c.layout][1], right.data(), n * sizeof(float)), 0) << "right";
        EXPECT_EQ(std::memcmp(lv2.levels, reference.levels, sizeof lv2.levels), 0);
    }

    // NaN is no value: the controls keep the last ones, and the levels go on as the reference's.
    {
        Instance lv2, again;
        lv2.set({'L', 3, 300.0f, 20.0f});
        again.set({'L', 3, 300.0f, 20.0f});
        std::vector<float> a = left, b = right, x(n), y(n);
        lv2.connectAudio(a.data(), b.data(), x.data(), y.data());
        again.connectAudio(a.data(), b.data(), x.data(), y.data());
        lv2.run(n);
        again.run(n);
        for (auto& [symbol, value] : lv2.controls) value = std::numeric_limits<float>::quiet_NaN();
        lv2.run(n);
        again.run(n);
        EXPECT_EQ(std::memcmp(lv2.levels, again.levels, sizeof lv2.levels), 0) << "after NaN";
    }

    Instance unconnected;
    for (float& level : unconnected.levels) level = 1.0f;
    unconnected.run(n);
    for (const float level : unconnected.levels) EXPECT_EQ(level, -400.0f);
}

// After the first block, blocks of every length allocate nothing, also when every control moves
// (Resp recomputes every band's times) and for a block longer than three seconds.
TEST(Lv2Plugin, SteadyStateAllocatesNothing) {
    if (!AllocationCounter::kActive) GTEST_SKIP() << "the counting allocator is compiled out under the sanitizers";
    Instance lv2;
    ASSERT_NE(lv2.instance, nullptr);
    std::vector<float> in(3 * kRate + 4096, 0.25f), out(in.size());
    lv2.connectAudio(in.data(), in.data(), out.data(), out.data());
    lv2.run(512);
    AllocationCounter counter;
    counter.start();
    for (int k = 0; k < 200; ++k) {
        lv2.set({"LMR"[k % 3], 1 + k % 3, float(k % 301), float(k % 41 - 20)});
        lv2.run(uint32_t(1 + (k * 997) % 4096));
    }
    lv2.run(uint32_t(in.size()));
    counter.stop();
    EXPECT_EQ(counter.allocations(), 0);
}

// Debian's hosts, given a folder of their own with the bundle in it as LV2_PATH.
class Lv2DebianHosts : public ::testing::Test {
protected:
    void SetUp() override {
#if !defined(LUMETRA_PLAIN_BUILD)
        GTEST_SKIP() << "a sanitizer build's binaries need its runtime in the host";
#endif
        std::filesystem::create_directory(dir.path("lv2"));
        std::filesystem::create_directory_symlink(LUMETRA_LV2_BUNDLE, dir.path("lv2/Lumetra.lv2"));
    }
    std::string lv2Path() const { return "LV2_PATH=" + dir.path("lv2"); }
    TempDir dir;
};

std::vector<float> readAudio(const std::string& path, SF_INFO& info) {
    info = {};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr) return {};
    std::vector<float> samples(size_t(info.frames * info.channels));
    sf_readf_float(file, samples.data(), info.frames);
    sf_close(file);
    return samples;
}

// lv2apply: a float file through the plug-in comes out the same, sample for sample.
TEST_F(Lv2DebianHosts, Lv2applyPassesAFileThroughBitForBit) {
    const std::vector<float> stereo = testSignal();
    writeAudio(dir.path("in.wav"), SF_FORMAT_WAV | SF_FORMAT_FLOAT, kRate, 2, stereo);
    const ToolRun run = runProgram({"lv2apply", "-i", dir.path("in.wav"), "-o", dir.path("out.wav"), "-c", "mode",
                                    "2", lv2::kPluginUri},
                                   dir.path(""), {lv2Path()});
    ASSERT_EQ(run.status, 0) << run.err;
    SF_INFO info;
    const std::vector<float> out = readAudio(dir.path("out.wav"), info);
    EXPECT_EQ(info.channels, 2);
    EXPECT_EQ(info.samplerate, kRate);
    ASSERT_EQ(out.size(), stereo.size());
    EXPECT_EQ(std::memcmp(out.data(), stereo.data(), out.size() * sizeof(float)), 0);
}

// jalv on a private JACK server on its dummy driver: its ports named by the Turtle's symbols, a
// control set on its command line, and the level outputs its console shows ("monitors") showing a
// 1 kHz tone played into it in the 1 kHz band, at the tone's level.
TEST_F(Lv2DebianHosts, JalvRunsItOnAJackServer) {
    JackServer server(kRate, 256);
    ASSERT_TRUE(server.ok());
    JackPlayer player(server.name(), {sine(1000.0, 0.1, kRate, 4800)});  // -20 dBFS peak: -23 dB RMS
    ASSERT_TRUE(player.ok());
    JackProgram jalv(server.name(), {"stdbuf", "-oL", "jalv", "-x", "-n", "lumetra", "-c", "resp=2", lv2::kPluginUri},
                     {lv2Path()}, dir.path(""));
    ASSERT_TRUE(waitUntil([&] { return player.connect("player:out_1", "lumetra:in_l"); }, 20)) << jalv.err();
    ASSERT_TRUE(player.connect("player:out_2", "lumetra:in_r"));

    // M analyses L + R, 6 dB above either.
    float level18 = -400.0f;
    ASSERT_TRUE(waitUntil([&] {
        jalv.send("monitors\n");
        for (const std::string& line : splitLines(jalv.out()))
            if (const size_t at = line.rfind("level_18 = "); at != std::string::npos)
                level18 = std::strtof(line.c_str() + at + 11, nullptr);
        return std::fabs(level18 - (-23.0f + 6.0f)) < 1.0f;
    }, 20)) << "level_18 = " << level18 << "\n" << jalv.out() << jalv.err();
    EXPECT_NE(jalv.out().find("resp = 2"), std::string::npos) << jalv.out();
    EXPECT_TRUE(jalv.running());
}

}  // namespace
}  // namespace lumetra::test
