#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "tests/engine/EffectTestSupport.h"

namespace {

using lumetra::test::RecordingEffect;
constexpr float kNan = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

// A host buffer with room to spare, pre-filled, so any write past the limit shows.
struct HostBuffer {
    HostBuffer() { std::memset(bytes, '#', sizeof bytes); }
    std::string text() const { return std::string(bytes, strnlen(bytes, sizeof bytes)); }
    size_t touched() const {  // bytes written from the start, terminator included
        size_t n = sizeof bytes;
        while (n > 0 && bytes[n - 1] == '#') --n;
        return n;
    }
    char bytes[64];
};

std::string name(ADelay& e, VstInt32 i) {
    HostBuffer b;
    e.getParameterName(i, b.bytes);
    return b.text();
}
std::string label(ADelay& e, VstInt32 i) {
    HostBuffer b;
    e.getParameterLabel(i, b.bytes);
    return b.text();
}
std::string display(ADelay& e, VstInt32 i) {
    HostBuffer b;
    e.getParameterDisplay(i, b.bytes);
    return b.text();
}
std::string programName(ADelay& e) {
    HostBuffer b;
    e.getProgramName(b.bytes);
    return b.text();
}

TEST(Parameters, NamesLabelsAndDisplays) {
    ADelay e(nullptr);
    const char* names[] = {"Delay", "FeedBack", "Volume", "Mode", "Resp"};
    const char* labels[] = {"samples", "amount", "dB", "", ""};
    for (VstInt32 i = 0; i < 5; ++i) {
        EXPECT_EQ(name(e, i), names[i]);
        EXPECT_EQ(label(e, i), labels[i]);
    }
    EXPECT_EQ(display(e, lumetra::kDelay), "0");
    EXPECT_EQ(display(e, lumetra::kFeedBack), "0.500000");
    EXPECT_EQ(display(e, lumetra::kVolume), "-6.02059");
    e.setParameter(lumetra::kDelay, 1.0f);
    e.setParameter(lumetra::kVolume, 0.0f);
    e.setParameter(lumetra::kMode, 0.37f);
    e.setParameter(lumetra::kResp, 1.0f);
    EXPECT_EQ(display(e, lumetra::kDelay), "13230");
    EXPECT_EQ(display(e, lumetra::kVolume), "-oo");
    EXPECT_EQ(display(e, lumetra::kMode), "0.370000");
    EXPECT_EQ(display(e, lumetra::kResp), "1.000000");
    EXPECT_EQ(e.getParameter(lumetra::kMode), 0.37f);
}

TEST(Parameters, OutOfRangeIndicesTouchNothing) {
    ADelay e(nullptr);
    for (VstInt32 i : {5, -1, 1000, INT32_MIN}) {
        HostBuffer b;
        e.getParameterName(i, b.bytes);
        e.getParameterLabel(i, b.bytes);
        e.getParameterDisplay(i, b.bytes);
        EXPECT_EQ(b.touched(), 0u);
        EXPECT_EQ(e.getParameter(i), 0.0f);
        e.setParameter(i, 0.9f);
    }
    for (VstInt32 i = 0; i < 5; ++i) EXPECT_NE(e.getParameter(i), 0.9f);
    // Null text pointers: nothing written, nothing crashes.
    for (VstInt32 i = 0; i < 5; ++i) {
        e.getParameterName(i, nullptr);
        e.getParameterLabel(i, nullptr);
        e.getParameterDisplay(i, nullptr);
    }
    e.getProgramName(nullptr);
    e.setProgramName(nullptr);
    EXPECT_FALSE(e.getProgramNameIndexed(0, 0, nullptr));
    EXPECT_EQ(programName(e), "Init 1");
}

TEST(Parameters, DelayGivesSamplesAtTheRateOfTheMoment) {
    ADelay e(nullptr);
    e.setParameter(lumetra::kDelay, 0.5f);
    EXPECT_EQ(e.engine.delaySamples, 6615);
    e.setParameter(lumetra::kDelay, 0.1f);
    EXPECT_EQ(e.engine.delaySamples, 1323);
    e.setParameter(lumetra::kDelay, 1.0f);
    EXPECT_EQ(e.engine.delaySamples, 13230);
    e.setSampleRate(96000.0f);
    e.resume();
    EXPECT_EQ(e.engine.delaySamples, 13230);  // until Delay is set again
    e.setParameter(lumetra::kDelay, 1.0f);
    EXPECT_EQ(e.engine.delaySamples, 28800);

    // Values a host or an automation lane may send: read back as sent, delay clamped.
    const struct {
        float value;
        int32_t samples;
    } hostile[] = {{kNan, 0}, {-kInf, 0}, {-0.5f, 0}, {kInf, 28800}, {3.0f, 28800}};
    for (const auto& h : hostile) {
        SCOPED_TRACE(h.value);
        e.setParameter(lumetra::kDelay, h.value);
        EXPECT_EQ(e.engine.delaySamples, h.samples);
        const float back = e.getParameter(lumetra::kDelay);
        EXPECT_TRUE(std::memcmp(&back, &h.value, sizeof back) == 0);
    }
}

TEST(Parameters, RespAppliesTimesAndKeepsLevels) {
    ADelay e(nullptr);
    e.engine.detector(20).setLevel(0.3f);
    e.setParameter(lumetra::kResp, 0.7f);
    EXPECT_EQ(e.engine.detector(20).attackTime(), 1.4f);
    EXPECT_EQ(e.engine.level(20), 0.3f);
    e.setParameter(lumetra::kResp, 0.3f);
    EXPECT_EQ(e.engine.detector(20).attackTime(), 0.343f);
    EXPECT_EQ(e.engine.detector(20).attackBlockCoef(), FilteredDetector::blockCoefficient(0.343f, 44100.0f, 128));
}

TEST(Programs, NamesNumberedStoredAndCut) {
    ADelay e(nullptr);
    EXPECT_EQ(programName(e), "Init 1");
    e.setProgram(15);
    EXPECT_EQ(programName(e), "Init 16");

    HostBuffer indexed;
    EXPECT_TRUE(e.getProgramNameIndexed(0, 15, indexed.bytes));
    EXPECT_EQ(indexed.text(), "Init");
    for (VstInt32 i : {16, -1, INT32_MIN}) {
        HostBuffer untouched;
        EXPECT_FALSE(e.getProgramNameIndexed(0, i, untouched.bytes));
        EXPECT_EQ(untouched.touched(), 0u);
    }

    e.setProgram(2);
    char bass[] = "Bass";
    e.setProgramName(bass);
    EXPECT_EQ(programName(e), "Bass");
    HostBuffer two;
    EXPECT_TRUE(e.getProgramNameIndexed(0, 2, two.bytes));
    EXPECT_EQ(two.text(), "Bass");
    for (const char* asStored : {"Init2", "init", "Init "}) {
        std::string text = asStored;
        e.setProgramName(text.data());
        EXPECT_EQ(programName(e), asStored);
    }
    char init[] = "Init";
    e.setProgramName(init);
    EXPECT_EQ(programName(e), "Init 3");

    // 30 characters: stored as 23 and a terminator, read back within the host's 24 + 1 bytes.
    std::string longName(30, 'x');
    e.setProgramName(longName.data());
    HostBuffer cut;
    e.getProgramName(cut.bytes);
    EXPECT_EQ(cut.text(), std::string(23, 'x'));
    EXPECT_LE(cut.touched(), size_t{kVstMaxProgNameLen} + 1);
    EXPECT_EQ(e.programs[2].name[kVstMaxProgNameLen - 1], '\0');
}

TEST(Programs, SwitchingAppliesTheSlotThroughSetParameter) {
    RecordingEffect e;
    e.setProgram(3);
    e.setParameter(lumetra::kDelay, 0.25f);
    e.setParameter(lumetra::kMode, 0.9f);
    e.setProgram(0);
    EXPECT_EQ(e.getParameter(lumetra::kMode), 0.5f);
    e.calls.clear();
    e.setProgram(3);
    ASSERT_EQ(e.calls.size(), 5u);
    for (VstInt32 i = 0; i < 5; ++i) EXPECT_EQ(e.calls[i].index, i);
    EXPECT_EQ(e.calls[0].value, 0.25f);
    EXPECT_EQ(e.calls[3].value, 0.9f);
    EXPECT_EQ(e.programs[3].delay, 0.25f);
    EXPECT_EQ(e.engine.delaySamples, 3307);

    e.calls.clear();
    for (VstInt32 bad : {-1, 16, INT32_MIN, INT32_MAX}) e.setProgram(bad);
    EXPECT_TRUE(e.calls.empty());
    EXPECT_EQ(e.getProgram(), 3);
}

}  // namespace
