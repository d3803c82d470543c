// The CLAP module (Lumetra.clap) loaded through the project's CLAP host, next to the VST 2.4
// module it must agree with: entry, factory and descriptor, ports, params and their texts, audio,
// events at their offsets, state, the host's thread check, and the editor in a host window (in
// a real X server, or under Wine) with its timer, its watched connection and its edits.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "host/ClapHost.h"
#include "host/VstHost.h"
#include "tests/editor/EditorWindowSupport.h"
#include "tests/editor/TestWindows.h"

namespace {

using lumetra::ClapEventList;
using lumetra::ClapHost;

constexpr double kRate = 48000.0;
constexpr uint32_t kBlock = editortest::ModuleEditor::kBlock;
constexpr clap_id kDelay = 0, kMeters = 1, kVolume = 2, kMode = 3, kResp = 4;

// A host with the module loaded and one instance created and activated at 48 kHz.
class ClapModule : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(clap.load(LUMETRA_CLAP_MODULE_PATH)) << clap.error();
        ASSERT_TRUE(clap.create()) << clap.error();
        ASSERT_TRUE(clap.activate(kRate, kBlock));
    }

    // A stereo block of the same signal in both channels; the output is returned.
    std::vector<float> process(const std::vector<float>& signal, const ClapEventList* in = nullptr,
                               ClapEventList* out = nullptr) {
        std::vector<float> left(signal), right(signal), outLeft(signal.size()), outRight(signal.size());
        clap.process(left.data(), right.data(), outLeft.data(), outRight.data(), static_cast<uint32_t>(signal.size()),
                     in, out);
        return outLeft;
    }

    void setValue(clap_id id, double value) {
        ClapEventList in;
        in.addValue(0, id, value);
        clap.flush(&in, nullptr);
    }

    double value(clap_id id) { return clap.value(id).value_or(std::numeric_limits<double>::quiet_NaN()); }

    ClapHost clap;
};

// The events a list holds, as (type, param, value) with the value of value events only.
struct Sent {
    uint16_t type;
    clap_id param;
    double value;
    bool operator==(const Sent&) const = default;
};
void PrintTo(const Sent& s, std::ostream* os) { *os << "{" << s.type << ", " << s.param << ", " << s.value << "}"; }

std::vector<Sent> sentEvents(const ClapEventList& list) {
    std::vector<Sent> sent;
    for (size_t i = 0; i < list.size(); ++i) {
        const clap_event_header_t& e = list[i];
        EXPECT_EQ(e.space_id, CLAP_CORE_EVENT_SPACE_ID);
        if (e.type == CLAP_EVENT_PARAM_VALUE) {
            const auto& v = reinterpret_cast<const clap_event_param_value_t&>(e);
            EXPECT_EQ(e.size, sizeof v);
            sent.push_back({e.type, v.param_id, v.value});
        } else {
            const auto& g = reinterpret_cast<const clap_event_param_gesture_t&>(e);
            EXPECT_EQ(e.size, sizeof g);
            sent.push_back({e.type, g.param_id, 0.0});
        }
    }
    return sent;
}

// ---- The module as a host finds it.

TEST_F(ClapModule, EntryFactoryAndDescriptorAgreeWithTheVstModule) {
    const clap_plugin_entry_t* entry = clap.entry();
    EXPECT_EQ(entry->clap_version.major, 1u);
    EXPECT_EQ(entry->get_factory("clap.other-factory"), nullptr);
    EXPECT_EQ(entry->get_factory(nullptr), nullptr);
    const clap_plugin_factory_t* factory = clap.factory();
    ASSERT_EQ(factory->get_plugin_count(factory), 1u);
    EXPECT_EQ(factory->get_plugin_descriptor(factory, 1), nullptr);
    const clap_plugin_descriptor_t* d = factory->get_plugin_descriptor(factory, 0);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d, clap.plugin()->desc);

    lumetra::VstHost vst;
    ASSERT_TRUE(vst.load(LUMETRA_MODULE_PATH)) << vst.error();
    EXPECT_EQ(std::string(d->name), vst.text(effGetEffectName));
    EXPECT_EQ(std::string(d->vendor), vst.text(effGetVendorString));
    EXPECT_EQ(std::string(d->description), vst.text(effGetProductString));
    EXPECT_EQ(std::string(d->version), "1.2.0.2");
    EXPECT_STREQ(d->id, "com.farnwick-board.lumetra");
    std::vector<std::string> features;
    for (const char* const* f = d->features; *f; ++f) features.emplace_back(*f);
    EXPECT_EQ(features, (std::vector<std::string>{"audio-effect", "analyzer", "stereo"}));

    // What the factory refuses: another id, no id, no host, a host of another major version.
    clap_host_t host{};
    host.clap_version = {1, 0, 0};
    host.get_extension = [](const clap_host_t*, const char*) noexcept -> const void* { return nullptr; };
    clap_host_t old = host;
    old.clap_version = {0, 9, 0};
    EXPECT_EQ(factory->create_plugin(factory, &host, "com.farnwick-board.other"), nullptr);
    EXPECT_EQ(factory->create_plugin(factory, &host, nullptr), nullptr);
    EXPECT_EQ(factory->create_plugin(factory, nullptr, d->id), nullptr);
    EXPECT_EQ(factory->create_plugin(factory, &old, d->id), nullptr);
    // A host that offers no extension at all still gets a working instance.
    const clap_plugin_t* bare = factory->create_plugin(factory, &host, d->id);
    ASSERT_NE(bare, nullptr);
    EXPECT_TRUE(bare->init(bare));
    EXPECT_TRUE(bare->activate(bare, kRate, 1, kBlock));
    bare->deactivate(bare);
    bare->destroy(bare);
}

TEST_F(ClapModule, PortsLatencyAndExtensions) {
    const auto* ports = clap.extension<clap_plugin_audio_ports_t>(CLAP_EXT_AUDIO_PORTS);
    ASSERT_NE(ports, nullptr);
    for (const bool input : {true, false}) {
        ASSERT_EQ(ports->count(clap.plugin(), input), 1u);
        clap_audio_port_info_t info{};
        ASSERT_TRUE(ports->get(clap.plugin(), 0, input, &info));
        EXPECT_EQ(info.channel_count, 2u);
        EXPECT_STREQ(info.port_type, CLAP_PORT_STEREO);
        EXPECT_EQ(info.flags, CLAP_AUDIO_PORT_IS_MAIN) << "32-bit only, main";
        EXPECT_EQ(info.in_place_pair, info.id);
        EXPECT_FALSE(ports->get(clap.plugin(), 1, input, &info));
        EXPECT_FALSE(ports->get(clap.plugin(), 0, input, nullptr));
    }
    const auto* latency = clap.extension<clap_plugin_latency_t>(CLAP_EXT_LATENCY);
    ASSERT_NE(latency, nullptr);
    EXPECT_EQ(latency->get(clap.plugin()), 0u);
    const clap_plugin_t* p = clap.plugin();
    for (const char* id : {CLAP_EXT_PARAMS, CLAP_EXT_STATE, CLAP_EXT_GUI, CLAP_EXT_TIMER_SUPPORT})
        EXPECT_NE(p->get_extension(p, id), nullptr) << id;
#if defined(_WIN32)
    EXPECT_EQ(p->get_extension(p, CLAP_EXT_POSIX_FD_SUPPORT), nullptr);
#else
    EXPECT_NE(p->get_extension(p, CLAP_EXT_POSIX_FD_SUPPORT), nullptr);
#endif
    for (const char* id : {"clap.note-ports", "clap.params.draft", "", static_cast<const char*>(nullptr)})
        EXPECT_EQ(p->get_extension(p, id), nullptr) << (id ? id : "null");
}

// ---- Params.

// The same ranges and texts as the VST 2.4 module's parameters at the same rate: its display text
// and its label, for any value; the meter channel (parameter 1) is none of them.
TEST_F(ClapModule, ParamsShowTheVstModulesRangesAndTexts) {
    const std::vector<clap_param_info_t> infos = clap.params();
    ASSERT_EQ(infos.size(), 4u);
    const struct {
        clap_id id;
        const char* name;
        double defaultValue;
    } expected[] = {{kDelay, "Delay", 0.0}, {kVolume, "Gain", 0.5}, {kMode, "Mode", 0.5}, {kResp, "Resp", 0.0}};
    for (size_t i = 0; i < infos.size(); ++i) {
        EXPECT_EQ(infos[i].id, expected[i].id);
        EXPECT_STREQ(infos[i].name, expected[i].name);
        EXPECT_EQ(infos[i].min_value, 0.0);
        EXPECT_EQ(infos[i].max_value, 1.0);
        EXPECT_EQ(infos[i].default_value, expected[i].defaultValue);
        EXPECT_EQ(value(infos[i].id), expected[i].defaultValue) << "a new instance holds the defaults";
        EXPECT_TRUE(infos[i].flags & CLAP_PARAM_IS_AUTOMATABLE);
    }

    lumetra::VstHost vst;
    ASSERT_TRUE(vst.load(LUMETRA_MODULE_PATH)) << vst.error();
    vst.dispatch(effSetSampleRate, 0, 0, nullptr, static_cast<float>(kRate));
    for (const clap_param_info_t& info : infos) {
        const auto index = static_cast<VstInt32>(info.id);
        for (const float v : {0.0f, 1e-7f, 0.1f, 0.37f, 0.5f, 0.999999f, 1.0f}) {
            vst.setParameter(index, v);
            const std::string label = vst.text(effGetParamLabel, index);
            const std::string shown = vst.text(effGetParamDisplay, index) + (label.empty() ? "" : " " + label);
            EXPECT_EQ(clap.valueText(info.id, v), shown) << info.name << " " << v;
            // Back to a value that shows the same text.
            const std::optional<double> back = clap.textValue(info.id, shown);
            ASSERT_TRUE(back) << shown;
            EXPECT_EQ(clap.valueText(info.id, *back), shown) << info.name << " " << v;
        }
    }
    for (const clap_id id : {kMeters, clap_id{5}, CLAP_INVALID_ID}) {
        EXPECT_FALSE(clap.value(id)) << id;
        EXPECT_FALSE(clap.valueText(id, 0.5)) << id;
        EXPECT_FALSE(clap.textValue(id, "0.5")) << id;
    }
    EXPECT_FALSE(clap.valueText(kMode, std::numeric_limits<double>::quiet_NaN()));
}

// What people type: units, the editor's milliseconds, infinity, signs, blanks; and what is no value.
TEST_F(ClapModule, TextsTypedByUsersBecomeValuesInRange) {
    const struct {
        clap_id id;
        const char* text;
        double value;  // NaN: refused
    } cases[] = {
        {kDelay, "120 ms", 0.4f},       {kDelay, "300ms", 1.0},        {kDelay, "14400", 1.0},
        {kDelay, "99999 samples", 1.0}, {kDelay, "-5", 0.0},           {kDelay, "5 dB", NAN},
        {kVolume, "-oo", 0.0},          {kVolume, " -inf dB ", 0.0},   {kVolume, "+6 dB", 1.0},
        {kVolume, "0 DB", 1.0},         {kVolume, "-20", 0.1f},        {kVolume, "-6 samples", NAN},
        {kMode, "0.25", 0.25f},         {kMode, "2", 1.0},             {kMode, "1e-1", 0.1f},
        {kResp, "0,5", NAN},            {kResp, "", NAN},              {kResp, "abc", NAN},
        {kResp, "nan", NAN},            {kResp, "0.5 x", NAN},         {kMode, "--1", NAN},
    };
    for (const auto& c : cases) {
        const std::optional<double> v = clap.textValue(c.id, c.text);
        if (std::isnan(c.value)) {
            EXPECT_FALSE(v) << c.id << " '" << c.text << "' gave " << v.value_or(0);
        } else {
            ASSERT_TRUE(v) << c.id << " '" << c.text << "'";
            EXPECT_NEAR(*v, c.value, 1e-6) << c.id << " '" << c.text << "'";
            EXPECT_EQ(*v, static_cast<float>(*v)) << "the float the effect holds";
        }
    }
    // A short buffer gets as much as fits, terminated, and nothing past it.
    const auto* params = clap.extension<clap_plugin_params_t>(CLAP_EXT_PARAMS);
    char text[16];
    std::memset(text, 0x7f, sizeof text);
    ASSERT_TRUE(params->value_to_text(clap.plugin(), kDelay, 1.0, text, 4));
    EXPECT_STREQ(text, "144");
    EXPECT_EQ(text[4], 0x7f);
    EXPECT_FALSE(params->value_to_text(clap.plugin(), kDelay, 1.0, text, 0));
    EXPECT_FALSE(params->value_to_text(clap.plugin(), kDelay, 1.0, nullptr, 16));
    EXPECT_FALSE(params->text_to_value(clap.plugin(), kDelay, nullptr, nullptr));
}

// A value event sets a host parameter, clamped into its range; one for the meter channel, one
// that is not a number, too short to be a value event or of another kind changes nothing.
TEST_F(ClapModule, ValueEventsSetOnlyHostParametersWithinTheirRange) {
    clap.deactivate();  // flush while the host is not processing
    setValue(kMode, 0.8);
    EXPECT_EQ(value(kMode), 0.8f);
    setValue(kVolume, 7.0);
    EXPECT_EQ(value(kVolume), 1.0);
    setValue(kVolume, -1.0);
    EXPECT_EQ(value(kVolume), 0.0);

    ClapEventList hostile;
    hostile.addValue(0, kMode, std::numeric_limits<double>::quiet_NaN());
    hostile.addValue(0, kMode, std::numeric_limits<double>::infinity());
    hostile.addValue(0, kMeters, 0.25);
    hostile.addValue(0, 99, 0.25);
    clap_event_param_value_t event{};
    event.header = {sizeof event, 0, 1, CLAP_EVENT_PARAM_VALUE, 0};  // another space
    event.param_id = kMode;
    event.value = 0.1;
    hostile.add(event.header);
    event.header = {sizeof event, 0, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_PARAM_MOD, 0};
    hostile.add(event.header);
    event.header = {sizeof event - 8, 0, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_PARAM_VALUE, 0};  // too short
    hostile.add(event.header);
    hostile.addGesture(0, kMode, true);
    clap.flush(&hostile, nullptr);
    EXPECT_EQ(value(kMode), 0.8f);

    ASSERT_TRUE(clap.activate(kRate, kBlock));
    const std::vector<float> block(kBlock, 0.25f);
    std::vector<float> outLeft(kBlock), outRight(kBlock);
    EXPECT_EQ(clap.process(const_cast<float*>(block.data()), const_cast<float*>(block.data()), outLeft.data(),
                           outRight.data(), kBlock, &hostile),
              CLAP_PROCESS_CONTINUE);
    EXPECT_EQ(value(kMode), 0.8f);
}

// ---- Audio.

TEST_F(ClapModule, AudioPassesBitForBit) {
    std::mt19937 random(7);
    std::uniform_real_distribution<float> sample(-1.5f, 1.5f);
    std::vector<float> inL(kBlock), inR(kBlock), outL(kBlock), outR(kBlock);
    for (const uint32_t frames : {kBlock, 1u, 257u, 0u}) {
        for (const float mode : {0.0f, 0.5f, 1.0f}) {
            setValue(kMode, mode);
            for (float& s : inL) s = sample(random);
            for (float& s : inR) s = sample(random);
            inL[0] = -0.0f;
            const std::vector<float> left(inL), right(inR);
            ASSERT_EQ(clap.process(inL.data(), inR.data(), outL.data(), outR.data(), frames), CLAP_PROCESS_CONTINUE);
            EXPECT_EQ(std::memcmp(outL.data(), left.data(), frames * sizeof(float)), 0) << frames;
            EXPECT_EQ(std::memcmp(outR.data(), right.data(), frames * sizeof(float)), 0) << frames;
            // In place: the host's input buffers are the outputs.
            clap.process(inL.data(), inR.data(), inL.data(), inR.data(), frames);
            EXPECT_EQ(inL, left);
            EXPECT_EQ(inR, right);
        }
    }
    // No input port: silence out. A process the host got wrong: refused or survived.
    std::fill(outL.begin(), outL.end(), 1.0f);
    clap.process(nullptr, nullptr, outL.data(), outR.data(), kBlock);
    EXPECT_EQ(outL, std::vector<float>(kBlock, 0.0f));
    const clap_plugin_t* p = clap.plugin();
    EXPECT_EQ(p->process(p, nullptr), CLAP_PROCESS_ERROR);
    float* mono[1] = {outL.data()};
    clap_audio_buffer_t oneChannel{mono, nullptr, 1, 0, 0};
    clap_process_t block{};
    block.frames_count = kBlock;
    block.audio_inputs = &oneChannel;
    block.audio_inputs_count = 1;
    block.audio_outputs = &oneChannel;
    block.audio_outputs_count = 1;
    EXPECT_EQ(p->process(p, &block), CLAP_PROCESS_CONTINUE);  // no events list either
}

// ---- State.

TEST_F(ClapModule, StateRoundTripKeepsTheControlsAndTheProgram) {
    setValue(kDelay, 0.25);
    setValue(kVolume, 0.75);
    setValue(kMode, 1.0);
    setValue(kResp, 0.5);
    const auto saved = clap.saveState(3);  // a stream that takes 3 bytes per write
    ASSERT_TRUE(saved);
    ASSERT_EQ(saved->size(), 28u);

    ClapHost other;
    ASSERT_TRUE(other.load(LUMETRA_CLAP_MODULE_PATH));
    ASSERT_TRUE(other.create());
    ASSERT_TRUE(other.loadState(*saved, 1));  // and one that gives 1 byte per read
    for (const clap_id id : {kDelay, kVolume, kMode, kResp}) EXPECT_EQ(other.value(id), clap.value(id)) << id;
    EXPECT_EQ(other.saveState(), saved);
    EXPECT_EQ(other.rescans, std::vector<clap_param_rescan_flags>{CLAP_PARAM_RESCAN_VALUES});

    // The current program travels too: loaded as 5, saved as 5.
    std::vector<uint8_t> program5 = *saved;
    program5[8] = 5;
    ASSERT_TRUE(other.loadState(program5));
    EXPECT_EQ(other.saveState(), program5);
}

// Whatever a host hands back that is not a state of ours is refused, and the instance stays as it was.
TEST_F(ClapModule, BadStateIsRefusedAndChangesNothing) {
    setValue(kVolume, 0.75);
    const std::vector<uint8_t> good = *clap.saveState();
    auto with = [&](size_t at, std::vector<uint8_t> bytes) {
        std::vector<uint8_t> state = good;
        std::copy(bytes.begin(), bytes.end(), state.begin() + static_cast<std::ptrdiff_t>(at));
        return state;
    };
    auto withFloat = [&](size_t at, float v) {
        const auto bits = std::bit_cast<uint32_t>(v);
        return with(at, {uint8_t(bits), uint8_t(bits >> 8), uint8_t(bits >> 16), uint8_t(bits >> 24)});
    };
    std::vector<uint8_t> longer = good;
    longer.push_back(0);
    const std::vector<std::pair<const char*, std::vector<uint8_t>>> bad = {
        {"empty", {}},
        {"short", std::vector<uint8_t>(good.begin(), good.end() - 1)},
        {"longer", longer},
        {"tag", with(0, {'L', 'm', 't', 's'})},
        {"version 0", with(4, {0})},
        {"version 2", with(4, {2})},
        {"program 16", with(8, {16})},
        {"program -1", with(8, {0xff, 0xff, 0xff, 0xff})},
        {"NaN", withFloat(12, std::numeric_limits<float>::quiet_NaN())},
        {"above 1", withFloat(16, 1.5f)},
        {"below 0", withFloat(20, -0.25f)},
        {"infinite", withFloat(24, std::numeric_limits<float>::infinity())},
    };
    setValue(kVolume, 0.5);
    for (const auto& [name, bytes] : bad) {
        EXPECT_FALSE(clap.loadState(bytes)) << name;
        EXPECT_EQ(value(kVolume), 0.5) << name;
    }
    EXPECT_TRUE(clap.rescans.empty());
    // A stream that fails part-way.
    const auto* state = clap.extension<clap_plugin_state_t>(CLAP_EXT_STATE);
    clap_istream_t failing{nullptr, [](const clap_istream_t*, void*, uint64_t) noexcept -> int64_t { return -1; }};
    EXPECT_FALSE(state->load(clap.plugin(), &failing));
    clap_ostream_t full{nullptr, [](const clap_ostream_t*, const void*, uint64_t) noexcept -> int64_t { return 0; }};
    EXPECT_FALSE(state->save(clap.plugin(), &full));
    EXPECT_FALSE(state->load(clap.plugin(), nullptr));
    EXPECT_TRUE(clap.loadState(good));
    EXPECT_EQ(value(kVolume), 0.75);
}

// ---- Threads and activation.

// The calls CLAP keeps to the main thread are refused on any other, as the host's check says;
// a rate or block size the effect cannot run at is refused too.
TEST_F(ClapModule, MainThreadCallsElsewhereAndUnusableActivationsAreRefused) {
    const clap_plugin_t* p = clap.plugin();
    const auto* gui = clap.extension<clap_plugin_gui_t>(CLAP_EXT_GUI);
    const auto* state = clap.extension<clap_plugin_state_t>(CLAP_EXT_STATE);
    std::vector<uint8_t> bytes;
    clap_ostream_t sink{&bytes, [](const clap_ostream_t* s, const void* b, uint64_t n) noexcept -> int64_t {
                            auto* v = static_cast<std::vector<uint8_t>*>(s->ctx);
                            v->insert(v->end(), static_cast<const uint8_t*>(b), static_cast<const uint8_t*>(b) + n);
                            return static_cast<int64_t>(n);
                        }};
    clap.deactivate();
    std::thread([&] {
        EXPECT_FALSE(p->activate(p, kRate, 1, kBlock));
        EXPECT_FALSE(gui->create(p, gui->is_api_supported(p, CLAP_WINDOW_API_X11, false) ? CLAP_WINDOW_API_X11
                                                                                          : CLAP_WINDOW_API_WIN32,
                                 false));
        EXPECT_FALSE(state->save(p, &sink));
    }).join();
    EXPECT_TRUE(bytes.empty());
    for (const double rate : {0.0, -48000.0, 999.0, 1e6, std::numeric_limits<double>::quiet_NaN(),
                              std::numeric_limits<double>::infinity()})
        EXPECT_FALSE(p->activate(p, rate, 1, kBlock)) << rate;
    EXPECT_FALSE(p->activate(p, kRate, 1, 0));
    EXPECT_FALSE(p->activate(p, kRate, 64, 32));
    EXPECT_FALSE(p->activate(p, kRate, 1, 0x80000000u));
    EXPECT_TRUE(p->activate(p, kRate, 1, kBlock));
    EXPECT_TRUE(state->save(p, &sink));
    p->deactivate(p);
}

// ---- The editor in a host's window.

// The VST 2.4 module loaded in a test window of the editor's size (the editor tests' fixture),
// and the CLAP instance whose editor goes into the same window once the VST one is closed: the
// pictures of both are compared.
class ClapEditor : public ClapModule {
protected:
    void SetUp() override {
        if (!window.setUp()) GTEST_SKIP() << window.why;
        ClapModule::SetUp();
        if (HasFatalFailure()) return;
        ASSERT_TRUE(testwindows::available());
        gui = clap.extension<clap_plugin_gui_t>(CLAP_EXT_GUI);
        ASSERT_NE(gui, nullptr);
        const clap_plugin_t* p = clap.plugin();
        const char* api = nullptr;
        bool floating = true;
        ASSERT_TRUE(gui->get_preferred_api(p, &api, &floating));
        this->api = api;
        EXPECT_FALSE(floating);
        EXPECT_TRUE(gui->is_api_supported(p, api, false));
        EXPECT_FALSE(gui->is_api_supported(p, api, true));
        EXPECT_FALSE(gui->is_api_supported(p, CLAP_WINDOW_API_WAYLAND, false));
        EXPECT_FALSE(gui->create(p, api, true)) << "embedded only";
        ASSERT_TRUE(gui->create(p, api, false));
        clap_window_t parent{};
        parent.api = api;
        parent.ptr = reinterpret_cast<void*>(window.parent);
        ASSERT_TRUE(gui->set_parent(p, &parent));
    }

    void TearDown() override {
        if (gui) gui->destroy(clap.plugin());
    }

    bool show() { return gui->show(clap.plugin()); }
    void hide() { gui->hide(clap.plugin()); }

    // The host's loop for a while: timers, the window system's messages, 40 ms apart (past the
    // editor's view idle).
    void runLoop(int rounds = 3) {
        for (int i = 0; i < rounds; ++i) {
            clap.runTimers();
            testwindows::handleMessages();
            testwindows::sleepMs(40);
        }
        clap.runTimers();
        testwindows::handleMessages();
    }

    // The VST editor's picture after the same blocks, then closed: the reference.
    editortest::Picture vstPicture(const std::vector<std::vector<float>>& blocks, float mode) {
        window.host.dispatch(effMainsChanged, 0, 0);
        window.host.dispatch(effMainsChanged, 0, 1);
        window.host.setParameter(kMode, mode);
        EXPECT_TRUE(window.open());
        window.idle(1);
        for (const auto& block : blocks) window.process(block);
        window.idle();
        editortest::Picture picture = window.picture();
        window.close();
        return picture;
    }

    editortest::ModuleEditor window;
    const clap_plugin_gui_t* gui = nullptr;
    const char* api = nullptr;
};

// Embedded in the host's window on show, at the panel's fixed size, with the host's timer (and on
// X11 its watch on the editor's connection) for its idle, all gone again on hide; what it shows
// for a signal is what the VST 2.4 editor shows for it.
TEST_F(ClapEditor, OpensInTheParentOnShowAndShowsTheVstEditorsPicture) {
    const clap_plugin_t* p = clap.plugin();
    uint32_t width = 0, height = 0;
    ASSERT_TRUE(gui->get_size(p, &width, &height));
    EXPECT_EQ(width, 900u);
    EXPECT_EQ(height, 277u);
    EXPECT_FALSE(gui->can_resize(p));
    clap_gui_resize_hints_t hints{true, true, false, 0, 0};
    ASSERT_TRUE(gui->get_resize_hints(p, &hints));
    EXPECT_FALSE(hints.can_resize_horizontally || hints.can_resize_vertically);
    EXPECT_FALSE(gui->set_size(p, 901, 277));
    EXPECT_TRUE(gui->set_size(p, 900, 277));
    width = 10;
    EXPECT_TRUE(gui->adjust_size(p, &width, &height));
    EXPECT_EQ(width, 900u);

    // Mode M sums the channels: a tone high in its meter, another low in its own.
    std::vector<float> signal = editortest::sine(0.3f, 1000.0, 24576);
    const std::vector<float> low = editortest::sine(0.01f, 125.0, signal.size());
    for (size_t i = 0; i < signal.size(); ++i) signal[i] += low[i];
    const editortest::Picture expected = vstPicture({signal}, 0.5f);

    EXPECT_EQ(window.frameWindow(), 0u) << "nothing before show";
    EXPECT_TRUE(clap.timers.empty());
    ASSERT_TRUE(show());
    ASSERT_NE(window.frameWindow(), 0u);
    EXPECT_EQ(testwindows::windowSize(window.frameWindow()), (testwindows::Size{900, 277}));
    ASSERT_EQ(clap.timers.size(), 1u);
    EXPECT_EQ(clap.timers.begin()->second, 30u);
#if !defined(_WIN32)
    EXPECT_EQ(clap.fds.size(), 1u);
#endif
    runLoop(1);
    for (size_t at = 0; at < signal.size(); at += kBlock)
        process(std::vector<float>(signal.begin() + static_cast<std::ptrdiff_t>(at),
                                   signal.begin() + static_cast<std::ptrdiff_t>(at + kBlock)));
    runLoop();
    EXPECT_TRUE(window.picture() == expected) << "the CLAP editor's pixels differ from the VST editor's";

    hide();
    EXPECT_EQ(window.frameWindow(), 0u);
    EXPECT_TRUE(clap.timers.empty());
    EXPECT_TRUE(clap.fds.empty());
    ASSERT_TRUE(show());
    EXPECT_NE(window.frameWindow(), 0u);
    gui->destroy(p);
    EXPECT_EQ(window.frameWindow(), 0u);
    EXPECT_TRUE(clap.timers.empty());
    EXPECT_FALSE(show()) << "destroyed";

    // A parent that is no window: show fails and leaves nothing registered; another API is refused.
    ASSERT_TRUE(gui->create(p, api, false));
    clap_window_t bogus{};
    bogus.api = api;
    bogus.ptr = reinterpret_cast<void*>(uintptr_t{0x7ffffff0});
    EXPECT_TRUE(gui->set_parent(p, &bogus));
    EXPECT_FALSE(show());
    EXPECT_TRUE(clap.timers.empty());
    EXPECT_TRUE(clap.fds.empty());
    bogus.api = CLAP_WINDOW_API_WAYLAND;
    EXPECT_FALSE(gui->set_parent(p, &bogus));
}

// Each value event takes effect at its own sample: Mode moves from the left channel to the right
// one exactly there. An impulse in the left channel just before the event and one in the right
// channel at it are both analysed only when the split is exact (early misses the first, late the
// second), so the picture equals the VST editor's for the same blocks split by hand.
TEST_F(ClapEditor, ValueEventsTakeEffectAtTheirSampleOffsets) {
    ASSERT_TRUE(show());
    for (const uint32_t at : {1u, 200u, kBlock - 1}) {
        SCOPED_TRACE(at);
        std::vector<float> left(kBlock, 0.0f), right(kBlock, 0.0f);
        left[at - 1] = 400.0f;
        right[at] = 400.0f;
        const std::vector<float> silence(4 * kBlock, 0.0f);

        // The reference: the VST module, its block split at the event by hand.
        hide();
        window.host.dispatch(effMainsChanged, 0, 0);
        window.host.dispatch(effMainsChanged, 0, 1);
        window.host.setParameter(kMode, 0.0f);
        ASSERT_TRUE(window.open());
        std::vector<float> outL(kBlock), outR(kBlock);
        window.host.process(left.data(), right.data(), outL.data(), outR.data(), static_cast<VstInt32>(at));
        window.host.setParameter(kMode, 1.0f);
        window.host.process(left.data() + at, right.data() + at, outL.data(), outR.data(),
                            static_cast<VstInt32>(kBlock - at));
        window.process(silence);
        window.idle();
        const editortest::Picture expected = window.picture();
        window.close();

        ASSERT_TRUE(show());
        const clap_plugin_t* p = clap.plugin();
        p->reset(p);
        setValue(kMode, 0.0);
        runLoop(1);
        const editortest::Picture dark = window.picture();
        ASSERT_FALSE(expected == dark) << "the impulses light no meter";
        ClapEventList events;
        events.addValue(at, kMode, 1.0);
        clap.process(left.data(), right.data(), outL.data(), outR.data(), kBlock, &events);
        process(silence);
        runLoop();
        EXPECT_TRUE(window.picture() == expected);
    }
}

// A user's edit in the editor reaches the host as output events, the gesture around the value:
// through a flush the plug-in asks for while the host is not processing, through process() while
// it is; an event the host's list has no room for waits for the next call. On X11 the editor
// handles the click when its connection becomes readable, with no timer at all.
TEST_F(ClapEditor, EditsReachTheHostAsGesturesAroundValues) {
    ASSERT_TRUE(show());
    runLoop(1);
    const std::vector<Sent> modeRight = {{CLAP_EVENT_PARAM_GESTURE_BEGIN, kMode, 0.0},
                                         {CLAP_EVENT_PARAM_VALUE, kMode, 1.0},
                                         {CLAP_EVENT_PARAM_GESTURE_END, kMode, 0.0}};
    clap.deactivate();
    clap.flushRequests = 0;
    window.mouseDown(790, 20);  // Mode, right third
    window.mouseUp(790, 20);
#if defined(_WIN32)
    testwindows::handleMessages();
#else
    for (int i = 0; i < 100 && clap.flushRequests == 0; ++i) clap.runFds(50);
#endif
    EXPECT_EQ(clap.flushRequests, 1) << "one request for the edits waiting";
    EXPECT_EQ(value(kMode), 1.0);
    ClapEventList out;
    clap.flush(nullptr, &out);
    EXPECT_EQ(sentEvents(out), modeRight);
    out.clear();
    clap.flush(nullptr, &out);
    EXPECT_EQ(out.size(), 0u) << "sent once";

    ASSERT_TRUE(clap.activate(kRate, kBlock));
    window.click(772, 20);  // Mode, left third
    runLoop(0);
    out.room = 2;
    process(std::vector<float>(kBlock, 0.0f), nullptr, &out);
    out.room = SIZE_MAX;
    process(std::vector<float>(kBlock, 0.0f), nullptr, &out);
    EXPECT_EQ(sentEvents(out), (std::vector<Sent>{{CLAP_EVENT_PARAM_GESTURE_BEGIN, kMode, 0.0},
                                                  {CLAP_EVENT_PARAM_VALUE, kMode, 0.0},
                                                  {CLAP_EVENT_PARAM_GESTURE_END, kMode, 0.0}}));
}

// More edits than the way to the host holds, while the host flushes nothing (a drag of well over
// a thousand steps): the host then learns the final values, and every gesture it was told of ends.
TEST_F(ClapEditor, EditsBeyondWhatTheQueueHoldsEndWithTheFinalValueAndBalancedGestures) {
    ASSERT_TRUE(show());
    runLoop(1);
    clap.deactivate();
    window.mouseDown(879, 80);  // the Delay slider's track
    double last = value(kDelay);
    for (int step = 0; step < 1100; ++step) {
        window.mouseMove(879, step % 2 ? 70 : 110);
        for (int i = 0; i < 200 && value(kDelay) == last; ++i) {
            clap.runTimers();
            testwindows::handleMessages();
        }
        ASSERT_NE(value(kDelay), last) << "step " << step << " not handled";
        last = value(kDelay);
    }
    window.mouseUp(879, 110);
    runLoop(0);
    ClapEventList out;
    clap.flush(nullptr, &out);
    const std::vector<Sent> sent = sentEvents(out);
    ASSERT_GE(sent.size(), 1024u);
    EXPECT_EQ(sent.front(), (Sent{CLAP_EVENT_PARAM_GESTURE_BEGIN, kDelay, 0.0}));
    EXPECT_EQ(sent.back(), (Sent{CLAP_EVENT_PARAM_GESTURE_END, kDelay, 0.0}));
    int begins = 0, ends = 0;
    double lastDelay = -1.0;
    for (const Sent& s : sent) {
        begins += s.type == CLAP_EVENT_PARAM_GESTURE_BEGIN;
        ends += s.type == CLAP_EVENT_PARAM_GESTURE_END;
        if (s.type == CLAP_EVENT_PARAM_VALUE && s.param == kDelay) lastDelay = s.value;
    }
    EXPECT_EQ(begins, 1);
    EXPECT_EQ(ends, 1);
    EXPECT_EQ(lastDelay, value(kDelay));
}

}  // namespace
