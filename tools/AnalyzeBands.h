// The 32 one-third-octave bands as people name them: the nominal frequencies printed under the
// editor's meter columns. The engine computes with the exact centres (10^((j + 12) / 10) Hz).
#pragma once

#include "engine/MeterValue.h"

namespace lumetra {

constexpr int kNumBands = 32;

// Nominal centre in Hz, band 0 (16 Hz) to band 31 (20 kHz).
constexpr double kNominalHz[kNumBands] = {
    16,   20,   25,   31.5, 40,   50,   63,   80,   100,  125,   160,   200,   250,   315,   400,   500,
    630,  800,  1000, 1250, 1600, 2000, 2500, 3150, 4000, 5000, 6300, 8000, 10000, 12500, 16000, 20000};

// Short labels as the editor artwork writes them.
constexpr const char* kNominalLabel[kNumBands] = {
    "16",  "20", "25",   "31.5", "40", "50", "63",  "80", "100", "125", "160",  "200", "250", "315", "400", "500",
    "630", "800", "1K", "1K25", "1K6", "2K", "2K5", "3K15", "4K", "5K", "6K3", "8K", "10K", "12K5", "16K", "20K"};

// A band level in dB re full scale exactly as the engine computes it for its meters, single
// precision with its floor: a level of 0 gives -400 dB.
inline float levelToDb(float level) { return meterDecibels(level); }

}  // namespace lumetra
