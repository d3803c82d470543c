// The LV2 plug-in's identity and ports as its DSP binary, its UI binary and the bundle's Turtle
// (written from this table at build time, module/lv2/BundleData.cpp) all number and convert them:
// what one says, the others cannot contradict. Pure data and functions; any thread.
#pragma once

#include <cmath>
#include <cstdint>

#include "plugin/Parameters.h"

namespace lumetra::lv2 {

constexpr const char* kPluginUri = "urn:lumetra:analyzer";
constexpr const char* kUiUri = "urn:lumetra:analyzer:ui";
constexpr const char* kPresetUriPrefix = "urn:lumetra:analyzer:preset:";  // + the program number, 1 to 16
constexpr const char* kDspBinary = "Lumetra.so";
constexpr const char* kUiBinary = "LumetraUI.so";

constexpr uint32_t kNumBands = 32;

enum PortIndex : uint32_t {
    kInLeft,
    kInRight,
    kOutLeft,
    kOutRight,
    kDelayPort,  // ms
    kGainPort,   // dB: the Volume parameter as the editor's readout shows it
    kModePort,   // 0 L, 1 M, 2 R
    kRespPort,   // 1, 2, 3
    kFirstLevelPort,  // band 0's level in dB; band j at kFirstLevelPort + j
    kNumPorts = kFirstLevelPort + kNumBands,
};

struct AudioPortInfo {
    PortIndex index;
    const char* symbol;
    const char* name;
    bool output;
    const char* channel;  // port-groups designation
};
constexpr AudioPortInfo kAudioPorts[] = {
    {kInLeft, "in_l", "In L", false, "left"},
    {kInRight, "in_r", "In R", false, "right"},
    {kOutLeft, "out_l", "Out L", true, "left"},
    {kOutRight, "out_r", "Out R", true, "right"},
};

// The controls a user sets: one port per parameter of the effect, in the parameter's units.
// Enumerations take whole numbers from minimum to maximum, labelled in scalePoints.
struct ControlPortInfo {
    PortIndex index;
    const char* symbol;
    const char* name;
    VstInt32 parameter;
    float minimum;
    float maximum;
    const char* unit;  // units: vocabulary name, or null
    const char* scalePoints[3];  // labels of minimum, minimum + 1, ...; null for a continuous control
};
constexpr ControlPortInfo kControlPorts[] = {
    {kDelayPort, "delay", "Delay", kDelay, 0.0f, 300.0f, "ms", {}},
    {kGainPort, "gain", "Gain", kVolume, -20.0f, 20.0f, "db", {}},
    {kModePort, "mode", "Mode", kMode, 0.0f, 2.0f, nullptr, {"L", "M", "R"}},
    {kRespPort, "resp", "Resp", kResp, 1.0f, 3.0f, nullptr, {"1", "2", "3"}},
};
constexpr uint32_t kNumControls = sizeof kControlPorts / sizeof kControlPorts[0];

// The control of a port index, or null.
constexpr const ControlPortInfo* controlPort(uint32_t index) {
    for (const ControlPortInfo& c : kControlPorts)
        if (c.index == index) return &c;
    return nullptr;
}
// The control of a parameter, or null (FeedBack, the meters' channel, is no port).
constexpr const ControlPortInfo* controlOfParameter(VstInt32 parameter) {
    for (const ControlPortInfo& c : kControlPorts)
        if (c.parameter == parameter) return &c;
    return nullptr;
}

// The band level outputs: names of the nominal one-third-octave centres, band 0 first.
constexpr const char* kBandNames[kNumBands] = {
    "16 Hz",    "20 Hz",   "25 Hz",    "31.5 Hz",  "40 Hz",   "50 Hz",   "63 Hz",   "80 Hz",
    "100 Hz",   "125 Hz",  "160 Hz",   "200 Hz",   "250 Hz",  "315 Hz",  "400 Hz",  "500 Hz",
    "630 Hz",   "800 Hz",  "1 kHz",    "1.25 kHz", "1.6 kHz", "2 kHz",   "2.5 kHz", "3.15 kHz",
    "4 kHz",    "5 kHz",   "6.3 kHz",  "8 kHz",    "10 kHz",  "12.5 kHz", "16 kHz", "20 kHz"};
// Their range as hosts show it; silence reads -400, below it.
constexpr float kLevelMinimumDb = -120.0f;
constexpr float kLevelMaximumDb = 40.0f;

// A port value as the host may send it (anything, NaN included) into the control's range; NaN
// stays NaN, which the callers take as "no value: keep the last one". Enumerations round to the
// nearest whole number.
inline float clampPortValue(const ControlPortInfo& control, float value) {
    if (std::isnan(value)) return value;
    if (control.scalePoints[0] != nullptr) value = std::nearbyint(value);
    return value < control.minimum ? control.minimum : value > control.maximum ? control.maximum : value;
}

// The effect's parameter value (0 to 1) for a port value; the arithmetic of `lumetra analyze`'s
// --delay and --gain, so that the two give the same parameter values. NaN for NaN.
inline float parameterValue(const ControlPortInfo& control, float portValue) {
    const float v = clampPortValue(control, portValue);
    switch (control.parameter) {
    case kDelay: return static_cast<float>(static_cast<double>(v) / 300.0);
    case kVolume: return static_cast<float>((static_cast<double>(v) + 20.0) / 40.0);
    default: return (v - control.minimum) * 0.5f;  // L M R and 1 2 3: 0, 0.5, 1
    }
}

// The port value for an effect's parameter value, as the editor's readout shows it and as the
// engine reads Mode and Resp (below 0.3, below 0.7, the rest): Delay 0.5 is 150 ms, Volume 0.75
// is +10 dB, Mode 0.5 is M (1), Resp 1.0 is 3.
inline float portValue(const ControlPortInfo& control, float parameterValue) {
    const double v = parameterValue;
    switch (control.parameter) {
    case kDelay: return clampPortValue(control, static_cast<float>(v * 300.0));
    case kVolume: return clampPortValue(control, static_cast<float>(v * 40.0 - 20.0));
    default:
        if (std::isnan(parameterValue)) return parameterValue;
        return control.minimum + (parameterValue < 0.3f ? 0.0f : parameterValue < 0.7f ? 1.0f : 2.0f);
    }
}

}  // namespace lumetra::lv2
