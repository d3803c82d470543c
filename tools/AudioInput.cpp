#include "tools/AudioInput.h"

#include <fcntl.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "tools/AnalyzeError.h"
#include "tools/TestSignal.h"

namespace lumetra {

namespace {

std::string describeFormat(const SF_INFO& info) {
    SF_FORMAT_INFO major{};
    major.format = info.format & SF_FORMAT_TYPEMASK;
    SF_FORMAT_INFO minor{};
    minor.format = info.format & SF_FORMAT_SUBMASK;
    std::string text;
    if (sf_command(nullptr, SFC_GET_FORMAT_INFO, &major, sizeof major) == 0 && major.name) text = major.name;
    if (sf_command(nullptr, SFC_GET_FORMAT_INFO, &minor, sizeof minor) == 0 && minor.name)
        text += (text.empty() ? "" : ", ") + std::string(minor.name);
    return text;
}

// libsndfile refuses a WAV header with an impossible rate or channel count with an internal
// message; this looks at the fmt chunk itself to name the field. Empty when nothing is found.
std::string wavHeaderProblem(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    char head[4096] = {};
    in.read(head, sizeof head);
    const size_t size = size_t(in.gcount());
    auto u32 = [&](size_t at) {
        uint32_t v = 0;
        for (int i = 3; i >= 0; --i) v = (v << 8) | uint8_t(head[at + size_t(i)]);
        return v;
    };
    if (size < 12 || std::memcmp(head, "RIFF", 4) != 0 || std::memcmp(head + 8, "WAVE", 4) != 0) return {};
    for (size_t at = 12; at + 8 + 16 <= size; at += 8 + ((u32(at + 4) + 1) & ~1u)) {
        if (std::memcmp(head + at, "fmt ", 4) != 0) continue;
        const unsigned channels = uint8_t(head[at + 10]) | uint8_t(head[at + 11]) << 8;
        const uint32_t rate = u32(at + 12);
        if (channels == 0) return "no audio channels (the header says 0)";
        if (!isUsableSampleRate(static_cast<float>(rate)))
            return "sample rate " + std::to_string(rate) + " Hz is out of range (1000 to 768000 Hz)";
        return {};
    }
    return {};
}

class SndfileInput : public AudioInput {
public:
    ~SndfileInput() override {
        if (file) sf_close(file);
    }

    int64_t read(float* left, float* right, int64_t n) override {
        interleaved.resize(size_t(n) * size_t(channels));
        const sf_count_t got = sf_readf_float(file, interleaved.data(), n);
        if (got < 0 || (got < n && sf_error(file) != SF_ERR_NO_ERROR))
            throw AnalysisError(std::string("read error after ") + std::to_string(done) + " frames: " +
                                sf_strerror(file));
        const float* p = interleaved.data();
        for (sf_count_t k = 0; k < got; ++k, p += channels) {
            left[k] = p[0];
            right[k] = channels > 1 ? p[1] : p[0];
        }
        if (floatingPoint)
            for (sf_count_t k = 0; k < got; ++k)
                if (!std::isfinite(left[k]) || !std::isfinite(right[k]))
                    throw AnalysisError("sample " + std::to_string(done + k) +
                                        " is not a finite number (NaN or infinity)");
        done += got;
        return got;
    }

    SNDFILE* file = nullptr;
    bool floatingPoint = false;  // only float and double samples can hold NaN or infinity

private:
    std::vector<float> interleaved;
    int64_t done = 0;
};

class TestSignalInput : public AudioInput {
public:
    int64_t read(float* left, float* right, int64_t n) override {
        n = std::min(n, frames - done);
        signal.generate(left, right, n);
        done += n;
        return n;
    }

private:
    TestSignal signal;
    int64_t done = 0;
};

}  // namespace

std::unique_ptr<AudioInput> openAudioFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw UsageError(std::strerror(errno));
    struct stat st {};
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        const int error = S_ISDIR(st.st_mode) ? EISDIR : errno;
        ::close(fd);
        throw UsageError(std::strerror(error));
    }
    if (S_ISREG(st.st_mode) && st.st_size == 0) {
        ::close(fd);
        throw UsageError("empty file (0 bytes)");
    }
    auto input = std::make_unique<SndfileInput>();
    SF_INFO info{};
    input->file = sf_open_fd(fd, SFM_READ, &info, SF_TRUE);  // closes fd, also on failure
    if (!input->file) {
        const std::string reason = sf_strerror(nullptr);
        const std::string header = wavHeaderProblem(path);
        throw UsageError(header.empty() ? "not a readable audio file (" + reason + ")" : header);
    }
    if (!isUsableSampleRate(static_cast<float>(info.samplerate)))
        throw UsageError("sample rate " + std::to_string(info.samplerate) + " Hz is out of range (1000 to 768000 Hz)");
    if (info.channels < 1) throw UsageError("no audio channels");
    if (info.frames <= 0) throw UsageError("no audio frames (zero length)");
    input->name = path;
    input->sampleRate = info.samplerate;
    input->channels = info.channels;
    input->frames = info.frames;
    input->format = describeFormat(info);
    const int subtype = info.format & SF_FORMAT_SUBMASK;
    input->floatingPoint = subtype == SF_FORMAT_FLOAT || subtype == SF_FORMAT_DOUBLE;
    return input;
}

std::unique_ptr<AudioInput> openTestSignal() {
    auto input = std::make_unique<TestSignalInput>();
    input->name = "built-in test signal";
    input->sampleRate = TestSignal::kRateHz;
    input->channels = 2;
    input->frames = TestSignal::kFrames;
    input->format = "pink noise + 63 Hz, 1 kHz, 8 kHz tones";
    return input;
}

}  // namespace lumetra
