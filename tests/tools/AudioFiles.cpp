#include "tests/tools/AudioFiles.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <sstream>

namespace lumetra::test {

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "lumetra-tools-XXXXXX").string();
    if (char* made = ::mkdtemp(pattern.data())) dir = made;
    EXPECT_FALSE(dir.empty()) << "mkdtemp failed";
}

TempDir::~TempDir() {
    std::error_code ignored;
    if (!dir.empty()) std::filesystem::remove_all(dir, ignored);
}

void writeAudio(const std::string& path, int format, int rateHz, int channels, const std::vector<float>& samples) {
    SF_INFO info{};
    info.samplerate = rateHz;
    info.channels = channels;
    info.format = format;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(file, nullptr) << path << ": " << sf_strerror(nullptr);
    const sf_count_t frames = sf_count_t(samples.size()) / channels;
    EXPECT_EQ(sf_writef_float(file, samples.data(), frames), frames);
    EXPECT_EQ(sf_close(file), 0);
}

std::vector<float> sine(double hz, double amplitude, double rateHz, int64_t frames) {
    std::vector<float> out(static_cast<size_t>(frames));
    for (int64_t k = 0; k < frames; ++k)
        out[size_t(k)] = float(amplitude * std::sin(2.0 * std::numbers::pi * hz * double(k) / rateHz));
    return out;
}

std::vector<float> pinkNoise(double rms, int64_t frames, uint64_t seed) {
    // Gaussian-ish white noise (sum of four uniforms) through a -3 dB/octave filter, then scaled
    // to the requested RMS.
    std::vector<double> pink(static_cast<size_t>(frames));
    double b[7] = {};
    uint64_t s = seed | 1;
    auto uniform = [&s] {
        s ^= s >> 12;
        s ^= s << 25;
        s ^= s >> 27;
        return double((s * 0x2545F4914F6CDD1Dull) >> 11) / 9007199254740992.0 - 0.5;
    };
    double sum = 0;
    for (auto& p : pink) {
        const double white = uniform() + uniform() + uniform() + uniform();
        b[0] = 0.99886 * b[0] + white * 0.0555179;
        b[1] = 0.99332 * b[1] + white * 0.0750759;
        b[2] = 0.96900 * b[2] + white * 0.1538520;
        b[3] = 0.86650 * b[3] + white * 0.3104856;
        b[4] = 0.55000 * b[4] + white * 0.5329522;
        b[5] = -0.7616 * b[5] - white * 0.0168980;
        p = b[0] + b[1] + b[2] + b[3] + b[4] + b[5] + b[6] + white * 0.5362;
        b[6] = white * 0.115926;
        sum += p * p;
    }
    const double gain = rms / std::sqrt(sum / double(frames));
    std::vector<float> out(static_cast<size_t>(frames));
    for (size_t k = 0; k < out.size(); ++k) out[k] = float(pink[k] * gain);
    return out;
}

std::vector<float> interleave(const std::vector<float>& mono, int channels) {
    std::vector<float> out;
    out.reserve(mono.size() * size_t(channels));
    for (const float x : mono)
        for (int c = 0; c < channels; ++c) out.push_back(x);
    return out;
}

void writeWavByHand(const std::string& path, uint32_t rateHz, uint16_t channels, uint16_t bits,
                    uint32_t claimedDataBytes, uint32_t dataBytes) {
    std::string h;
    auto u32 = [&h](uint32_t v) {
        for (int i = 0; i < 4; ++i) h += char((v >> (8 * i)) & 0xff);
    };
    auto u16 = [&h](uint16_t v) {
        h += char(v & 0xff);
        h += char(v >> 8);
    };
    const uint16_t blockAlign = uint16_t(channels * bits / 8);
    h += "RIFF";
    u32(36 + claimedDataBytes);
    h += "WAVEfmt ";
    u32(16);
    u16(1);  // PCM
    u16(channels);
    u32(rateHz);
    u32(rateHz * blockAlign);
    u16(blockAlign);
    u16(bits);
    h += "data";
    u32(claimedDataBytes);
    writeBytes(path, h + std::string(dataBytes, '\0'));
}

void writeBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream all;
    all << in.rdbuf();
    return all.str();
}

}  // namespace lumetra::test
