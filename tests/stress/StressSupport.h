// Shared by the stress programs: the module through the test host, hostile signals, and the
// heap in use, for the load/unload accounting.
#pragma once

#include <cstddef>
#include <cstdint>
#include <random>
#include <vector>

#include "host/VstHost.h"

namespace stress {

// Bytes of heap in use now (the sanitizers' allocator when one is in the build).
size_t heapInUse();

// A block of one of the hostile kinds: noise, silence, a burst of NaN and infinities, subnormals,
// or full-scale square waves.
enum class Signal { kNoise, kSilence, kNonFinite, kSubnormal, kFullScale, kCount };
void fill(std::vector<float>& block, Signal kind, std::mt19937& random);

// A value a host might send: inside 0..1 mostly, else NaN, infinities, huge, negative, subnormal.
float hostileValue(std::mt19937& random);

// Processes one stereo block through the effect; true when both outputs equal their inputs bit
// for bit (the plug-in passes audio through untouched, whatever it is).
bool passesThrough(lumetra::VstHost& host, const std::vector<float>& left, const std::vector<float>& right);

// The usual start of a host: effOpen, rate, block size, resume.
void start(lumetra::VstHost& host, float rateHz, VstIntPtr blockSize);

}  // namespace stress
