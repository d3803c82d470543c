#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/stat.h>

#include <cmath>
#include <filesystem>
#include <limits>

#include "tests/tools/AudioFiles.h"
#include "tools/AnalyzeError.h"
#include "tools/AudioInput.h"
#include "tools/TestSignal.h"

namespace lumetra {
namespace {

using test::TempDir;

std::string openError(const std::string& path) {
    try {
        openAudioFile(path);
    } catch (const UsageError& e) {
        return e.what();
    }
    return "(opened)";
}

TEST(AudioInput, ReadsEveryContainerAtItsOwnRate) {
    TempDir dir;
    const std::vector<float> tone = test::sine(440.0, 0.5, 44100.0, 4410);
    const struct {
        const char* name;
        int format;
        int rate;
        double tolerance;  // Vorbis is lossy
    } cases[] = {
        {"a.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 1.0 / 32768},
        {"a.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_24, 96000, 1.0 / 8388608},
        {"a.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_16, 22050, 1.0 / 32768},
        {"a.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS, 48000, 0.05},
        {"a-float.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 192000, 0.0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::writeAudio(dir.path(c.name), c.format, c.rate, 2, test::interleave(tone, 2));
        auto input = openAudioFile(dir.path(c.name));
        EXPECT_EQ(input->sampleRate, c.rate);
        EXPECT_EQ(input->channels, 2);
        EXPECT_EQ(input->frames, 4410);
        std::vector<float> left(5000), right(5000);
        ASSERT_EQ(input->read(left.data(), right.data(), 5000), 4410);
        for (size_t k = 1000; k < 1010; ++k) {
            EXPECT_NEAR(left[k], tone[k], c.tolerance);
            EXPECT_NEAR(right[k], tone[k], c.tolerance);
        }
        EXPECT_EQ(input->read(left.data(), right.data(), 5000), 0);
    }
}

TEST(AudioInput, MonoFeedsBothChannelsAndExtraChannelsAreDropped) {
    TempDir dir;
    test::writeAudio(dir.path("mono.wav"), SF_FORMAT_WAV | SF_FORMAT_FLOAT, 48000, 1, {0.25f, -0.5f, 0.75f});
    test::writeAudio(dir.path("quad.wav"), SF_FORMAT_WAV | SF_FORMAT_FLOAT, 48000, 4,
                     {0.1f, 0.2f, 0.3f, 0.4f, 0.5f, 0.6f, 0.7f, 0.8f});
    float left[4], right[4];
    auto mono = openAudioFile(dir.path("mono.wav"));
    ASSERT_EQ(mono->read(left, right, 4), 3);
    EXPECT_EQ(std::vector<float>(left, left + 3), (std::vector<float>{0.25f, -0.5f, 0.75f}));
    EXPECT_EQ(std::vector<float>(right, right + 3), (std::vector<float>{0.25f, -0.5f, 0.75f}));
    auto quad = openAudioFile(dir.path("quad.wav"));
    EXPECT_EQ(quad->channels, 4);
    ASSERT_EQ(quad->read(left, right, 4), 2);
    EXPECT_EQ(std::vector<float>(left, left + 2), (std::vector<float>{0.1f, 0.5f}));
    EXPECT_EQ(std::vector<float>(right, right + 2), (std::vector<float>{0.2f, 0.6f}));
}

TEST(AudioInput, BadFilesAreRefusedWithTheReason) {
    TempDir dir;
    test::writeBytes(dir.path("empty.wav"), "");
    test::writeBytes(dir.path("garbage.wav"), std::string(4000, 'x'));
    test::writeBytes(dir.path("text.flac"), "this is not audio at all, just some words\n");
    test::writeWavByHand(dir.path("rate0.wav"), 0, 2, 16, 4000, 4000);
    test::writeWavByHand(dir.path("rate999.wav"), 999, 2, 16, 4000, 4000);
    test::writeWavByHand(dir.path("rate1M.wav"), 1000000, 2, 16, 4000, 4000);
    test::writeWavByHand(dir.path("noframes.wav"), 48000, 2, 16, 0, 0);
    test::writeWavByHand(dir.path("zerochannels.wav"), 48000, 0, 16, 4000, 4000);
    test::writeWavByHand(dir.path("good.wav"), 48000, 2, 16, 4000, 4000);
    const std::string good = test::readFile(dir.path("good.wav"));
    test::writeBytes(dir.path("truncated.wav"), good.substr(0, 20));  // cut inside the fmt chunk
    ::mkdir(dir.path("folder.wav").c_str(), 0755);

    const struct {
        const char* name;
        const char* reason;
    } cases[] = {
        {"missing.wav", "No such file or directory"},
        {"folder.wav", "Is a directory"},
        {"empty.wav", "empty file (0 bytes)"},
        {"garbage.wav", "not a readable audio file ("},
        {"text.flac", "not a readable audio file ("},
        {"truncated.wav", "not a readable audio file ("},
        {"rate0.wav", "sample rate 0 Hz is out of range (1000 to 768000 Hz)"},
        {"rate999.wav", "sample rate 999 Hz is out of range (1000 to 768000 Hz)"},
        {"rate1M.wav", "sample rate 1000000 Hz is out of range (1000 to 768000 Hz)"},
        {"noframes.wav", "no audio frames"},
        {"zerochannels.wav", "no audio channels"},
    };
    const auto openDescriptors = [] {
        return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {});
    };
    const auto descriptorsBefore = openDescriptors();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string error = openError(dir.path(c.name));
        EXPECT_NE(error, "(opened)");
        EXPECT_NE(error.find(c.reason), std::string::npos) << error;
        EXPECT_EQ(error.find('\n'), std::string::npos) << error;  // one line
    }
    EXPECT_EQ(openError(dir.path("good.wav")), "(opened)");
    EXPECT_EQ(openDescriptors(), descriptorsBefore);  // a long batch of bad files leaks nothing
}

TEST(AudioInput, NonFiniteSamplesStopTheReadInsteadOfPoisoningTheLevels) {
    TempDir dir;
    std::vector<float> samples(2000, 0.1f);
    samples[1501] = std::numeric_limits<float>::quiet_NaN();
    test::writeAudio(dir.path("nan.wav"), SF_FORMAT_WAV | SF_FORMAT_FLOAT, 48000, 2, samples);
    auto input = openAudioFile(dir.path("nan.wav"));
    std::vector<float> left(512), right(512);
    EXPECT_EQ(input->read(left.data(), right.data(), 512), 512);
    try {
        input->read(left.data(), right.data(), 512);
        ADD_FAILURE() << "NaN accepted";
    } catch (const AnalysisError& e) {
        EXPECT_STREQ(e.what(), "sample 750 is not a finite number (NaN or infinity)");
    }
}

TEST(AudioInput, TestSignalIsTheSameOnEveryRunAndHasItsStatedLevels) {
    auto a = openTestSignal();
    auto b = openTestSignal();
    EXPECT_EQ(a->sampleRate, 48000);
    EXPECT_EQ(a->frames, 480000);
    std::vector<float> al(480000), ar(480000), bl(480000), br(480000);
    // Different block splits give the same samples.
    int64_t got = 0;
    while (const int64_t n = a->read(al.data() + got, ar.data() + got, 7777)) got += n;
    EXPECT_EQ(got, 480000);
    EXPECT_EQ(b->read(bl.data(), br.data(), 480000), 480000);
    EXPECT_EQ(al, bl);
    EXPECT_EQ(ar, br);
    EXPECT_NE(al, ar);  // independent noise in the two channels
    double sum = 0, peak = 0;
    for (float x : al) {
        sum += double(x) * x;
        peak = std::max(peak, double(std::fabs(x)));
    }
    const double tonesPower = (0.1 * 0.1 + 0.05 * 0.05 + 0.025 * 0.025) / 2;
    const double noisePower = TestSignal::kNoiseRms * TestSignal::kNoiseRms;
    EXPECT_NEAR(std::sqrt(sum / 480000.0), std::sqrt(tonesPower + noisePower), 0.01);
    EXPECT_LT(peak, 1.0);  // no clipping in a 16-bit export
}

}  // namespace
}  // namespace lumetra
