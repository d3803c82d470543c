// A source of stereo float frames for `lumetra analyze`: an audio file read through libsndfile,
// or the built-in test signal. Mono feeds both channels; of more channels the first two are used.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "engine/BandBank.h"  // the sample rates the engine analyses

namespace lumetra {

class AudioInput {
public:
    virtual ~AudioInput() = default;

    // Reads up to n frames into left and right; returns the number read, 0 at the end.
    // Throws AnalysisError on a read error or on samples that are not finite numbers.
    virtual int64_t read(float* left, float* right, int64_t n) = 0;

    std::string name;       // the path as given, or a description of the test signal
    double sampleRate = 0;  // Hz
    int channels = 0;       // in the source; the analysis uses at most two
    int64_t frames = 0;     // total frames
    std::string format;     // e.g. "WAV 16-bit PCM"
};

// Throws UsageError with the reason (not found, not audio, empty, bad header, bad rate ...).
std::unique_ptr<AudioInput> openAudioFile(const std::string& path);
std::unique_ptr<AudioInput> openTestSignal();

}  // namespace lumetra
