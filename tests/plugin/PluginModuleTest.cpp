// The built module loaded through the test host: descriptor, request answers, hostile requests
// and pass-through audio.
#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "host/VstHost.h"
#include "tests/support/FixedScenario.h"

namespace {

using lumetra::VstHost;

class PluginModule : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(host.load(LUMETRA_MODULE_PATH)) << host.error(); }
    AEffect* fx() { return host.effect(); }
    VstHost host;
};

TEST_F(PluginModule, DescriptorAfterMain) {
    AEffect* e = fx();
    EXPECT_EQ(e->magic, kEffectMagic);
    EXPECT_EQ(e->numPrograms, 16);
    EXPECT_EQ(e->numParams, 5);
    EXPECT_EQ(e->numInputs, 2);
    EXPECT_EQ(e->numOutputs, 2);
    EXPECT_EQ(e->flags, 0x11);
    EXPECT_EQ(e->uniqueID, ('L' << 24) | ('m' << 16) | ('t' << 8) | 'r');
    EXPECT_EQ(e->version, 1);
    EXPECT_EQ(e->initialDelay, 0);
}

TEST_F(PluginModule, HostAnsweringZeroVersionGetsNothing) {
    host.answers[audioMasterVersion] = 0;
    EXPECT_EQ(host.createAnother(), nullptr);
}

TEST_F(PluginModule, NullCallbackGivesNull) {
    std::string why;
    void* module = lumetra::openModule(LUMETRA_MODULE_PATH, why);
    ASSERT_NE(module, nullptr) << why;
    for (const char* name : {"VSTPluginMain", "main"}) {
        auto entry = reinterpret_cast<VstPluginMainProc>(lumetra::findSymbol(module, name));
        ASSERT_NE(entry, nullptr) << name;
        EXPECT_EQ(entry(nullptr), nullptr) << name;
    }
    lumetra::closeModule(module);
}

TEST_F(PluginModule, IdentityAndFixedAnswers) {
    EXPECT_EQ(host.text(effGetEffectName), "Lumetra");
    EXPECT_EQ(host.text(effGetVendorString), "Farnwick board");
    EXPECT_EQ(host.text(effGetProductString), "Lumetra spectrum analyzer (1/3 octave)");
    EXPECT_EQ(host.dispatch(effGetVendorVersion), 1000);
    EXPECT_EQ(host.dispatch(effGetPlugCategory), 1);
    EXPECT_EQ(host.dispatch(effGetVstVersion), 2400);
    char sendEvents[] = "sendVstEvents";
    EXPECT_EQ(host.dispatch(effCanDo, 0, 0, sendEvents), 0);
    EXPECT_EQ(host.dispatch(effIdentify), 0x4E764566);
    for (VstInt32 op : {VstInt32(effGetVu), VstInt32(effEditDraw), VstInt32(effEditMouse), VstInt32(effEditKey),
                        VstInt32(effEditTop), VstInt32(effEditSleep), VstInt32(80), VstInt32(-1)})
        EXPECT_EQ(host.dispatch(op), 0) << "opcode " << op;
    EXPECT_EQ(host.dispatch(effCanBeAutomated, 0), 1);
    EXPECT_EQ(host.dispatch(effCanBeAutomated, 1000), 1);
    EXPECT_EQ(host.dispatch(effGetCurrentMidiProgram), -1);
    EXPECT_EQ(host.dispatch(effSetTotalSampleToProcess, 0, 512), 512);
    void* chunk = nullptr;
    EXPECT_EQ(host.dispatch(effGetChunk, 0, 0, &chunk), 0);
    // The editor's rectangle is known before any window opens: the panel image's size.
    ERect* rect = nullptr;
    ASSERT_EQ(host.dispatch(effEditGetRect, 0, 0, &rect), 1);
    ASSERT_NE(rect, nullptr);
    EXPECT_EQ(rect->top, 0);
    EXPECT_EQ(rect->left, 0);
    EXPECT_EQ(rect->bottom, 277);
    EXPECT_EQ(rect->right, 900);
}

// What each request of both tables answers on the effect as created. The editor's requests
// (13, 14, 15, 19, 59, 60, 61) depend on the editor attached and are tested with it.
TEST_F(PluginModule, EveryRequestAnswersAsTheTablesSay) {
    struct Request {
        VstInt32 opcode;
        VstIntPtr value;
        float opt;
        VstIntPtr answer;
    };
    const Request requests[] = {
        {effOpen, 0, 0, 0}, {effSetProgram, 3, 0, 0}, {effGetProgram, 0, 0, 3}, {effSetProgramName, 0, 0, 0},
        {effGetProgramName, 0, 0, 0}, {effGetParamLabel, 0, 0, 0}, {effGetParamDisplay, 0, 0, 0},
        {effGetParamName, 0, 0, 0}, {effGetVu, 0, 0, 0}, {effSetSampleRate, 0, 48000.0f, 0},
        {effSetBlockSize, 512, 0, 0}, {effMainsChanged, 1, 0, 0}, {effEditDraw, 0, 0, 0}, {effEditMouse, 0, 0, 0},
        {effEditKey, 0, 0, 0}, {effEditTop, 0, 0, 0}, {effEditSleep, 0, 0, 0},
        {effIdentify, 0, 0, fourCharCode('N', 'v', 'E', 'f')}, {effGetChunk, 0, 0, 0}, {effSetChunk, 8, 0, 0},
        {effProcessEvents, 0, 0, 0}, {effCanBeAutomated, 0, 0, 1}, {effString2Parameter, 0, 0, 0},
        {effGetNumProgramCategories, 0, 0, 0}, {effGetProgramNameIndexed, 0, 0, 1}, {effCopyProgram, 0, 0, 0},
        {effConnectInput, 0, 0, 0}, {effConnectOutput, 0, 0, 0}, {effGetInputProperties, 0, 0, 0},
        {effGetOutputProperties, 0, 0, 0}, {effGetPlugCategory, 0, 0, kPlugCategEffect},
        {effGetCurrentPosition, 0, 0, 0}, {effGetDestinationBuffer, 0, 0, 0}, {effOfflineNotify, 0, 0, 0},
        {effOfflinePrepare, 0, 0, 0}, {effOfflineRun, 0, 0, 0}, {effProcessVarIo, 0, 0, 0},
        {effSetSpeakerArrangement, 0, 0, 0}, {effSetBlockSizeAndSampleRate, 0, 0, 0}, {effSetBypass, 1, 0, 0},
        {effGetEffectName, 0, 0, 1}, {effGetErrorText, 0, 0, 0}, {effGetVendorString, 0, 0, 1},
        {effGetProductString, 0, 0, 1}, {effGetVendorVersion, 0, 0, 1000}, {effVendorSpecific, 0, 0, 0},
        {effCanDo, 0, 0, 0}, {effGetTailSize, 0, 0, 0}, {effIdle, 0, 0, 0}, {effGetIcon, 0, 0, 0},
        {effSetViewPosition, 0, 0, 0}, {effGetParameterProperties, 0, 0, 0}, {effKeysRequired, 0, 0, 0},
        {effGetVstVersion, 0, 0, 2400}, {effGetMidiProgramName, 0, 0, 0}, {effGetCurrentMidiProgram, 0, 0, -1},
        {effGetMidiProgramCategory, 0, 0, 0}, {effHasMidiProgramsChanged, 0, 0, 0}, {effGetMidiKeyName, 0, 0, 0},
        {effBeginSetProgram, 0, 0, 0}, {effEndSetProgram, 0, 0, 0}, {effGetSpeakerArrangement, 0, 0, 0},
        {effShellGetNextPlugin, 0, 0, 0}, {effStartProcess, 0, 0, 0}, {effStopProcess, 0, 0, 0},
        {effSetTotalSampleToProcess, 512, 0, 512}, {effSetPanLaw, 0, 0.5f, 0}, {effBeginLoadBank, 0, 0, 0},
        {effBeginLoadProgram, 0, 0, 0}, {effSetProcessPrecision, 1, 0, 0}, {effGetNumMidiInputChannels, 0, 0, 0},
        {effGetNumMidiOutputChannels, 0, 0, 0}, {80, 0, 0, 0}, {1000, 0, 0, 0}, {-1, 0, 0, 0},
    };
    std::vector<VstInt32> covered;
    host.calls.clear();
    for (const Request& r : requests) {
        // A zeroed scratch block stands in for every structure or text the host passes.
        alignas(16) char scratch[512] = {};
        EXPECT_EQ(host.dispatch(r.opcode, 0, r.value, scratch, r.opt), r.answer) << "opcode " << r.opcode;
        covered.push_back(r.opcode);
    }
    for (VstInt32 op : {13, 14, 15, 19, 59, 60, 61, 1}) covered.push_back(op);
    for (VstInt32 op = 0; op < kNumEffOpcodes; ++op)
        EXPECT_NE(std::find(covered.begin(), covered.end(), op), covered.end()) << "opcode " << op << " untested";
    EXPECT_TRUE(host.calls.empty()) << "the effect called its host " << host.calls.size() << " times";
    EXPECT_EQ(host.getParameter(0), 0.0f);  // program 3 is still at the defaults
}

TEST_F(PluginModule, ProgramRangeAndSpeakers) {
    EXPECT_EQ(host.dispatch(effGetProgram), 0);
    host.dispatch(effSetProgram, 0, 15);
    EXPECT_EQ(host.dispatch(effGetProgram), 15);
    // On 64-bit hosts also a value that narrowed to 32 bits would be program 3.
    const VstIntPtr wideThree = sizeof(VstIntPtr) > 4 ? static_cast<VstIntPtr>(0x100000003LL) : VstIntPtr(16);
    for (VstIntPtr bad : {VstIntPtr(16), VstIntPtr(-1), wideThree}) {
        host.dispatch(effSetProgram, 0, bad);
        EXPECT_EQ(host.dispatch(effGetProgram), 15) << bad;
    }
    int dummy = 0;
    void* in = &dummy;
    void* out = &dummy;
    EXPECT_EQ(host.dispatch(effGetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&in), &out), 0);
    EXPECT_EQ(in, nullptr);
    EXPECT_EQ(out, nullptr);
}

TEST_F(PluginModule, CloseAnswersOne) {
    AEffect* other = host.createAnother();
    ASSERT_NE(other, nullptr);
    EXPECT_EQ(other->dispatcher(other, effClose, 0, 0, nullptr, 0.0f), 1);
}

TEST_F(PluginModule, AudioPassesBitForBit) {
    std::mt19937 random(7);
    std::uniform_real_distribution<float> sample(-1.5f, 1.5f);
    constexpr int frames = 257;
    std::vector<float> inL(frames), inR(frames), outL(frames), outR(frames);
    host.dispatch(effSetSampleRate, 0, 0, nullptr, 48000.0f);
    host.dispatch(effSetBlockSize, 0, frames);
    host.dispatch(effMainsChanged, 0, 1);
    for (float mode : {0.0f, 0.25f, 0.5f, 0.75f, 1.0f}) {
        host.setParameter(3, mode);
        for (int block = 0; block < 4; ++block) {
            for (int i = 0; i < frames; ++i) {
                inL[i] = sample(random);
                inR[i] = sample(random);
            }
            inL[0] = -0.0f;
            host.process(inL.data(), inR.data(), outL.data(), outR.data(), frames);
            ASSERT_EQ(std::memcmp(inL.data(), outL.data(), frames * sizeof(float)), 0) << mode;
            ASSERT_EQ(std::memcmp(inR.data(), outR.data(), frames * sizeof(float)), 0) << mode;
        }
    }
    float* ins[2] = {inL.data(), inR.data()};
    float* outs[2] = {outL.data(), outR.data()};
    fx()->processReplacing(fx(), ins, outs, -5);
    fx()->processReplacing(fx(), nullptr, nullptr, frames);
    float* nulls[2] = {nullptr, nullptr};
    fx()->processReplacing(fx(), nulls, nulls, frames);
}

// The module as a host drives it through the fixed scenario: the outputs and the last meter value
// of every block (parameter 1) give the digest that the Linux and the Windows module both give.
TEST_F(PluginModule, FixedScenarioGivesTheDigestOfBothSystems) {
    lumetra::test::Digest digest;
    std::vector<float> outLeft, outRight;
    lumetra::test::runScenario(
        [&](float rate) {
            host.dispatch(effMainsChanged, 0, 0);
            host.dispatch(effSetSampleRate, 0, 0, nullptr, rate);
            host.dispatch(effSetBlockSize, 0, 1000);
            host.dispatch(effMainsChanged, 0, 1);
        },
        [&](int32_t index, float value) { host.setParameter(index, value); },
        [&](float* left, float* right, int32_t frames) {
            outLeft.assign(static_cast<size_t>(frames), 0.0f);
            outRight.assign(static_cast<size_t>(frames), 0.0f);
            host.process(left, right, outLeft.data(), outRight.data(), frames);
            digest.add(outLeft);
            digest.add(outRight);
            digest.add(host.getParameter(1));
        });
    EXPECT_EQ(digest.value, 0xba9356c778f6e66eull) << std::hex << digest.value;
}

TEST_F(PluginModule, NullTextPointersAnswerZero) {
    for (VstInt32 op : {VstInt32(effGetProgramName), VstInt32(effGetParamLabel), VstInt32(effGetParamDisplay),
                        VstInt32(effGetParamName), VstInt32(effGetEffectName), VstInt32(effGetVendorString),
                        VstInt32(effGetProductString), VstInt32(effGetProgramNameIndexed),
                        VstInt32(effEditGetRect)})
        EXPECT_EQ(host.dispatch(op, 0, 0, nullptr), 0) << "opcode " << op;
}

// Writes into a canary-filled buffer and gives how many bytes were touched.
size_t touched(VstHost& host, VstInt32 opcode, VstInt32 index) {
    unsigned char buffer[512];
    std::memset(buffer, 0x7f, sizeof buffer);
    host.dispatch(opcode, index, 0, buffer);
    size_t last = 0;
    for (size_t i = 0; i < sizeof buffer; ++i)
        if (buffer[i] != 0x7f) last = i + 1;
    return last;
}

TEST_F(PluginModule, TextStaysWithinPublishedLimits) {
    for (VstInt32 p = 0; p < 5; ++p) {
        for (float value : {0.0f, 0.37f, 1.0f}) {
            host.setParameter(p, value);
            EXPECT_LE(touched(host, effGetParamName, p), 9u) << p;
            EXPECT_LE(touched(host, effGetParamLabel, p), 9u) << p;
            EXPECT_LE(touched(host, effGetParamDisplay, p), 9u) << p;
        }
    }
    EXPECT_LE(touched(host, effGetEffectName, 0), 33u);
    EXPECT_LE(touched(host, effGetVendorString, 0), 65u);
    EXPECT_LE(touched(host, effGetProductString, 0), 65u);
    std::string longName(100, 'N');
    host.dispatch(effSetProgramName, 0, 0, longName.data());
    EXPECT_LE(touched(host, effGetProgramName, 0), 25u);
    for (VstInt32 program = 0; program < 16; ++program) {
        host.dispatch(effSetProgram, 0, program);
        host.dispatch(effSetProgramName, 0, 0, longName.data());
        EXPECT_LE(touched(host, effGetProgramName, 0), 25u) << program;
        EXPECT_LE(touched(host, effGetProgramNameIndexed, program), 25u) << program;
    }
}

}  // namespace
