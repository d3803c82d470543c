// clap.state: what a host saves with its project. Version 1 is 28 bytes, little-endian:
//   0  the characters "Lmtr"
//   4  uint32 version (1)
//   8  uint32 the current program, 0 to 15
//  12  float32 Delay, Volume, Mode, Resp, in that order, each 0 to 1
// Loading takes exactly that and nothing else: a short or longer stream, another tag or version,
// a program out of range or a value that is not a number from 0 to 1 is refused with false, and
// the effect is left as it was. Main thread.
#include <array>
#include <bit>
#include <cmath>
#include <cstring>

#include "module/clap/ClapExtensions.h"
#include "plugin/ADelay.h"

namespace lumetra {
namespace {

constexpr uint32_t kStateVersion = 1;
constexpr size_t kStateSize = 28;
constexpr char kStateTag[4] = {'L', 'm', 't', 'r'};

void putWord(uint8_t* at, uint32_t word) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(word >> (8 * i));
}

uint32_t getWord(const uint8_t* at) {
    uint32_t word = 0;
    for (int i = 0; i < 4; ++i) word |= static_cast<uint32_t>(at[i]) << (8 * i);
    return word;
}

bool saveEntry(const clap_plugin_t* p, const clap_ostream_t* stream) noexcept {
    if (stream == nullptr || stream->write == nullptr) return false;
    return guarded(p, false, [&](ClapPlugin& self) { return self.saveState(*stream); });
}

bool loadEntry(const clap_plugin_t* p, const clap_istream_t* stream) noexcept {
    if (stream == nullptr || stream->read == nullptr) return false;
    return guarded(p, false, [&](ClapPlugin& self) { return self.loadState(*stream); });
}

}  // namespace

const clap_plugin_state_t kStateExtension = {saveEntry, loadEntry};

bool ClapPlugin::saveState(const clap_ostream_t& stream) const {
    if (effect == nullptr || !onMainThread()) return false;
    std::array<uint8_t, kStateSize> bytes{};
    std::memcpy(bytes.data(), kStateTag, 4);
    putWord(&bytes[4], kStateVersion);
    putWord(&bytes[8], static_cast<uint32_t>(effect->getProgram()));
    for (size_t k = 0; k < kParamIds.size(); ++k)
        putWord(&bytes[12 + 4 * k], std::bit_cast<uint32_t>(effect->getParameter(static_cast<VstInt32>(kParamIds[k]))));
    // A stream may take fewer bytes than offered; the rest goes in further writes.
    for (size_t at = 0; at < bytes.size();) {
        const int64_t written = stream.write(&stream, bytes.data() + at, bytes.size() - at);
        if (written <= 0 || static_cast<uint64_t>(written) > bytes.size() - at) return false;
        at += static_cast<size_t>(written);
    }
    return true;
}

bool ClapPlugin::loadState(const clap_istream_t& stream) {
    if (effect == nullptr || !onMainThread()) return false;
    // One byte more than a state holds: a longer stream is not one of ours.
    std::array<uint8_t, kStateSize + 1> bytes{};
    size_t size = 0;
    while (size < bytes.size()) {
        const int64_t got = stream.read(&stream, bytes.data() + size, bytes.size() - size);
        if (got < 0 || static_cast<uint64_t>(got) > bytes.size() - size) return false;
        if (got == 0) break;
        size += static_cast<size_t>(got);
    }
    if (size != kStateSize || std::memcmp(bytes.data(), kStateTag, 4) != 0 || getWord(&bytes[4]) != kStateVersion)
        return false;
    const uint32_t program = getWord(&bytes[8]);
    if (program >= static_cast<uint32_t>(kNumPrograms)) return false;
    float values[kParamIds.size()];
    for (size_t k = 0; k < kParamIds.size(); ++k) {
        values[k] = std::bit_cast<float>(getWord(&bytes[12 + 4 * k]));
        if (!(values[k] >= 0.0f && values[k] <= 1.0f)) return false;  // NaN fails too
    }
    effect->dispatcher(effSetProgram, 0, static_cast<VstIntPtr>(program), nullptr, 0.0f);
    for (size_t k = 0; k < kParamIds.size(); ++k) effect->setParameter(static_cast<VstInt32>(kParamIds[k]), values[k]);
    if (hostParams && hostParams->rescan) hostParams->rescan(host, CLAP_PARAM_RESCAN_VALUES);
    return true;
}

}  // namespace lumetra
