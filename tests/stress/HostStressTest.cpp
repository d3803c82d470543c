// The built module under a hostile host, through its binary interface: random requests with
// random arguments, hostile parameter values and signals, rate and block-size sweeps, and
// create/close and load/unload cycles with the heap accounted.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "tests/stress/StressSupport.h"

namespace {

using lumetra::VstHost;

// Text requests and the longest text each may write, terminator not counted.
struct TextLimit {
    VstInt32 opcode;
    size_t limit;
};
constexpr TextLimit kTextLimits[] = {
    {effGetProgramName, kVstMaxProgNameLen},      {effGetProgramNameIndexed, kVstMaxProgNameLen},
    {effGetParamLabel, kVstMaxParamStrLen},       {effGetParamDisplay, kVstMaxParamStrLen},
    {effGetParamName, kVstMaxParamStrLen},        {effGetEffectName, kVstMaxEffectNameLen},
    {effGetVendorString, kVstMaxVendorStrLen},    {effGetProductString, kVstMaxProductStrLen},
    {effShellGetNextPlugin, kVstMaxProductStrLen}};

constexpr size_t kBufferSize = 512;  // for every other request that takes a buffer
constexpr size_t kCanary = 32;
constexpr unsigned char kCanaryByte = 0xA5;

size_t bufferLimit(VstInt32 opcode) {
    for (const TextLimit& t : kTextLimits)
        if (t.opcode == opcode) return t.limit + 1;
    return kBufferSize;
}

std::mt19937 seeded() {
    const unsigned seed = std::random_device{}();
    std::cout << "seed " << seed << "\n";  // to replay a failure
    return std::mt19937(seed);
}

bool answersNormally(VstHost& host) {
    AEffect* e = host.effect();
    return e->magic == kEffectMagic && e->numPrograms == 16 && e->numParams == 5 && e->flags == 0x11 &&
           host.text(effGetEffectName) == "Lumetra";
}

TEST(HostStress, RandomRequestsWriteNothingOutsideTheirBuffers) {
    VstHost host;
    ASSERT_TRUE(host.load(LUMETRA_MODULE_PATH)) << host.error();
    host.recordCalls = false;
    stress::start(host, 44100.0f, 512);
    std::mt19937 random = seeded();
    std::vector<unsigned char> buffer(kBufferSize + kCanary);
    std::vector<float> left(64), right(64);
    for (int call = 0; call < 100000; ++call) {
        VstInt32 opcode = static_cast<VstInt32>(random() % 90) - 5;
        // effClose ends the effect and effEditOpen's parent is a window: the editor battery has them.
        if (opcode == effClose || opcode == effEditOpen) opcode = effGetVstVersion;
        const size_t limit = bufferLimit(opcode);
        const bool nullBuffer = random() % 8 == 0;
        std::memset(buffer.data(), kCanaryByte, buffer.size());
        for (size_t i = 0; i < limit; ++i) buffer[i] = static_cast<unsigned char>(' ' + random() % 95);
        buffer[random() % limit] = '\0';
        void* ptr = nullBuffer ? nullptr : buffer.data();
        const VstInt32 index = static_cast<VstInt32>(random() % 40) - 8;
        VstIntPtr value = random() % 3 == 0 ? static_cast<VstIntPtr>((uint64_t(random()) << 32) | random())
                                            : static_cast<VstIntPtr>(random() % 100) - 10;
        if (opcode == effSetSpeakerArrangement || opcode == effGetSpeakerArrangement)
            value = reinterpret_cast<VstIntPtr>(ptr);  // these take a second pointer in value
        if (opcode == effSetBlockSize) value %= 1 << 20;
        host.dispatch(opcode, index, value, ptr, stress::hostileValue(random));
        for (size_t i = limit; i < buffer.size(); ++i)
            ASSERT_EQ(buffer[i], kCanaryByte) << "opcode " << opcode << " wrote byte " << i << " of a " << limit << "-byte buffer";
        if (call % 50 == 0) {
            stress::fill(left, stress::Signal::kNoise, random);
            stress::fill(right, stress::Signal::kNoise, random);
            ASSERT_TRUE(stress::passesThrough(host, left, right)) << "after opcode " << opcode;
        }
    }
    EXPECT_TRUE(answersNormally(host));
}

// A meter is stuck when it no longer follows the level: loud noise must raise the last band's
// meter (the value parameter 1 holds after a block) and silence must let it fall again.
void expectMetersFollowTheSignal(VstHost& host, float rateHz) {
    host.dispatch(effMainsChanged, 0, 0);
    host.dispatch(effSetSampleRate, 0, 0, nullptr, rateHz);
    host.dispatch(effSetBlockSize, 0, 256);
    host.dispatch(effMainsChanged, 0, 1);
    for (VstInt32 p = 0; p < 5; ++p) host.setParameter(p, 0.5f);
    host.setParameter(0, 0.0f);
    std::mt19937 random(1);
    std::vector<float> left(256), right(256), silence(256, 0.0f);
    for (int i = 0; i < 200; ++i) {
        stress::fill(left, stress::Signal::kNoise, random);
        stress::fill(right, stress::Signal::kNoise, random);
        stress::passesThrough(host, left, right);
    }
    const float loud = host.getParameter(1);
    for (int i = 0; i < 800; ++i) stress::passesThrough(host, silence, silence);
    const float quiet = host.getParameter(1);
    EXPECT_GT(loud, 31.1f) << rateHz;  // band 31, a fifth of the way up its meter or more
    EXPECT_LE(loud, 31.5f) << rateHz;
    EXPECT_GE(quiet, 31.0f) << rateHz;
    EXPECT_LT(quiet, loud - 0.1f) << rateHz;
}

TEST(HostStress, HostileValuesAndSignalsPassThroughAndLeaveNoMeterStuck) {
    VstHost host;
    ASSERT_TRUE(host.load(LUMETRA_MODULE_PATH)) << host.error();
    host.recordCalls = false;
    stress::start(host, 48000.0f, 4096);
    std::mt19937 random = seeded();
    std::vector<float> left, right;
    for (int block = 0; block < 3000; ++block) {
        host.setParameter(static_cast<VstInt32>(random() % 9) - 2, stress::hostileValue(random));
        if (random() % 50 == 0) host.dispatch(effSetProgram, 0, static_cast<VstIntPtr>(random() % 20) - 2);
        const size_t length = random() % 4 == 0 ? random() % 4097 : random() % 129;
        left.resize(length);
        right.resize(length);
        const auto kind = static_cast<stress::Signal>(random() % static_cast<unsigned>(stress::Signal::kCount));
        stress::fill(left, kind, random);
        stress::fill(right, random() % 2 ? kind : stress::Signal::kNoise, random);
        ASSERT_TRUE(stress::passesThrough(host, left, right)) << "block " << block;
        for (VstInt32 p = 0; p < 5; ++p) (void)host.getParameter(p);
    }
    expectMetersFollowTheSignal(host, 48000.0f);
    EXPECT_TRUE(answersNormally(host));
}

TEST(HostStress, RateAndBlockSizeSweepsWithSuspendAndResume) {
    VstHost host;
    ASSERT_TRUE(host.load(LUMETRA_MODULE_PATH)) << host.error();
    host.recordCalls = false;
    std::mt19937 random = seeded();
    const float rates[] = {0.0f, -44100.0f, NAN, INFINITY, 1000.0f, 8000.0f, 22050.0f, 32000.0f, 44100.0f,
                           48000.0f, 88200.0f, 96000.0f, 176400.0f, 192000.0f, 384000.0f, 768000.0f, 1e7f};
    const VstIntPtr blockSizes[] = {0, 1, 64, 511, 4096, 8192, -1, 1 << 24};
    std::vector<float> left, right;
    for (const float rate : rates)
        for (const VstIntPtr blockSize : blockSizes) {
            host.dispatch(effMainsChanged, 0, 0);
            host.dispatch(effSetSampleRate, 0, 0, nullptr, rate);
            host.dispatch(effSetBlockSize, 0, blockSize);
            host.dispatch(effMainsChanged, 0, 1);
            const size_t usual = blockSize > 0 && blockSize <= 8192 ? static_cast<size_t>(blockSize) : 256;
            for (const size_t length : {size_t{0}, size_t{1}, usual, random() % (2 * usual + 1)}) {
                left.resize(length);
                right.resize(length);
                stress::fill(left, stress::Signal::kNoise, random);
                stress::fill(right, stress::Signal::kNoise, random);
                ASSERT_TRUE(stress::passesThrough(host, left, right)) << rate << " Hz, block size " << blockSize;
            }
        }
    for (const float rate : {44100.0f, 192000.0f}) expectMetersFollowTheSignal(host, rate);
}

// Hosts create and close effects, and load and unload the module, many times a run (scanning,
// reopening projects). Nothing may pile up: after the first rounds the heap stays where it is.
TEST(HostStress, CreateCloseAndLoadUnloadCyclesLeaveNoMemoryBehind) {
    std::vector<float> block(512, 0.25f);
    auto round = [&](VstHost& host) {
        stress::start(host, 44100.0f, 512);
        stress::passesThrough(host, block, block);
    };
    {
        VstHost host;
        ASSERT_TRUE(host.load(LUMETRA_MODULE_PATH)) << host.error();
        host.recordCalls = false;
        size_t settled = 0;
        for (int cycle = 0; cycle < 300; ++cycle) {
            if (cycle == 20) settled = stress::heapInUse();
            AEffect* other = host.createAnother();
            ASSERT_NE(other, nullptr);
            float* inputs[2] = {block.data(), block.data()};
            std::vector<float> out(512);
            float* outputs[2] = {out.data(), out.data()};
            other->dispatcher(other, effMainsChanged, 0, 1, nullptr, 0.0f);
            other->processReplacing(other, inputs, outputs, 512);
            host.closeEffect(other);
        }
        EXPECT_LT(stress::heapInUse(), settled + 4096) << "create/close cycles";
        round(host);
    }
    size_t settled = 0;
    for (int cycle = 0; cycle < 50; ++cycle) {
        if (cycle == 5) settled = stress::heapInUse();
        VstHost host;
        ASSERT_TRUE(host.load(LUMETRA_MODULE_PATH)) << host.error();
        round(host);
    }
    const size_t now = stress::heapInUse();
    EXPECT_LT(now, settled + 4096) << "45 load/unload rounds grew the heap by " << (now - settled) << " bytes";
}

}  // namespace
