// Audio files made by the tests themselves: good ones through libsndfile, broken ones by hand.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace lumetra::test {

// A fresh directory under the system's temporary folder, removed with its content at destruction.
class TempDir {
public:
    TempDir();
    ~TempDir();
    std::string path(const std::string& name) const { return dir + "/" + name; }

private:
    std::string dir;
};

// format: libsndfile major | minor format, e.g. SF_FORMAT_WAV | SF_FORMAT_PCM_16.
// samples: interleaved frames. Fails the calling test on an error.
void writeAudio(const std::string& path, int format, int rateHz, int channels, const std::vector<float>& samples);

std::vector<float> sine(double hz, double amplitude, double rateHz, int64_t frames);
std::vector<float> pinkNoise(double rms, int64_t frames, uint64_t seed);
// Repeats each mono sample in every channel.
std::vector<float> interleave(const std::vector<float>& mono, int channels);

// A canonical 44-byte PCM WAV header with the given fields, then dataBytes of zeros
// (dataBytes may be smaller than the header claims: a truncated file).
void writeWavByHand(const std::string& path, uint32_t rateHz, uint16_t channels, uint16_t bits,
                    uint32_t claimedDataBytes, uint32_t dataBytes);
void writeBytes(const std::string& path, const std::string& bytes);
std::string readFile(const std::string& path);

}  // namespace lumetra::test
