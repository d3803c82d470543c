// clap.params: Delay, Gain (the effect's Volume), Mode and Resp with the effect's own ranges
// (0 to 1), defaults (a fresh program slot's) and display texts, the label after the text as a
// host shows a VST 2.4 parameter's, and text back to value.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "module/clap/ClapExtensions.h"
#include "plugin/ADelay.h"
#include "plugin/HostText.h"
#include "plugin/ProgramSlot.h"

namespace lumetra {
namespace {

// A fresh program slot's value: what a new instance holds.
double defaultOf(clap_id id) {
    const ProgramSlot fresh;
    switch (id) {
    case kDelay: return fresh.delay;
    case kVolume: return fresh.volume;
    case kMode: return fresh.mode;
    default: return fresh.resp;
    }
}

const char* nameOf(clap_id id) {
    switch (id) {
    case kDelay: return "Delay";
    case kVolume: return "Gain";
    case kMode: return "Mode";
    default: return "Resp";
    }
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

bool sameWord(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return (x >= 'A' && x <= 'Z' ? x + 32 : x) == (y >= 'A' && y <= 'Z' ? y + 32 : y);
           });
}

// A decimal number in the form the display texts use (no locale: a host's decimal comma does not
// change it), an optional leading plus, and what follows it as the unit. False for no number.
bool readNumber(std::string_view text, double& number, std::string_view& unit) {
    text = trimmed(text);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (error != std::errc() || !std::isfinite(number)) return false;
    unit = trimmed(text.substr(static_cast<size_t>(end - text.data())));
    return true;
}

uint32_t countEntry(const clap_plugin_t* p) noexcept {
    return ClapPlugin::from(p) ? static_cast<uint32_t>(ClapPlugin::kParamIds.size()) : 0;
}

bool infoEntry(const clap_plugin_t* p, uint32_t index, clap_param_info_t* info) noexcept {
    if (info == nullptr) return false;
    return guarded(p, false, [&](ClapPlugin& self) { return self.paramInfo(index, *info); });
}

bool valueEntry(const clap_plugin_t* p, clap_id id, double* value) noexcept {
    if (value == nullptr) return false;
    return guarded(p, false, [&](ClapPlugin& self) { return self.paramValue(id, *value); });
}

bool valueToTextEntry(const clap_plugin_t* p, clap_id id, double value, char* text, uint32_t capacity) noexcept {
    return guarded(p, false, [&](ClapPlugin& self) { return self.valueToText(id, value, text, capacity); });
}

bool textToValueEntry(const clap_plugin_t* p, clap_id id, const char* text, double* value) noexcept {
    if (value == nullptr) return false;
    return guarded(p, false, [&](ClapPlugin& self) { return self.textToValue(id, text, *value); });
}

void flushEntry(const clap_plugin_t* p, const clap_input_events_t* in, const clap_output_events_t* out) noexcept {
    guarded(p, 0, [&](ClapPlugin& self) { return self.flush(in, out), 0; });
}

}  // namespace

const clap_plugin_params_t kParamsExtension = {countEntry, infoEntry, valueEntry, valueToTextEntry,
                                                textToValueEntry, flushEntry};

bool ClapPlugin::paramInfo(uint32_t index, clap_param_info_t& info) const {
    if (index >= kParamIds.size()) return false;
    const clap_id id = kParamIds[index];
    info = {};
    info.id = id;
    info.flags = CLAP_PARAM_IS_AUTOMATABLE;
    copyText(info.name, nameOf(id), CLAP_NAME_SIZE - 1);
    info.min_value = 0.0;
    info.max_value = 1.0;
    info.default_value = defaultOf(id);
    return true;
}

bool ClapPlugin::paramValue(clap_id id, double& value) const {
    if (effect == nullptr || !isHostParam(id)) return false;
    value = effect->getParameter(static_cast<VstInt32>(id));
    return true;
}

// The effect's display text for the value and its label ("13230 samples", "-6.02059 dB",
// "0.500000"), cut to the host's buffer.
bool ClapPlugin::valueToText(clap_id id, double value, char* text, uint32_t capacity) const {
    if (effect == nullptr || !isHostParam(id) || text == nullptr || capacity == 0 || !std::isfinite(value))
        return false;
    const auto index = static_cast<VstInt32>(id);
    char display[kVstMaxParamStrLen + 1] = {};
    char label[kVstMaxParamStrLen + 1] = {};
    effect->getParameterDisplayAt(index, static_cast<float>(value), display);
    effect->getParameterLabel(index, label);
    std::snprintf(text, capacity, "%s%s%s", display, label[0] ? " " : "", label);
    return true;
}

// What valueToText writes, read back; also Delay in ms ("120 ms", the editor's readout) and Gain's
// "-oo". The value is clamped to 0..1 and given as the float the effect will hold. Delay's sample
// count maps to the lowest value that shows that count at the current rate.
bool ClapPlugin::textToValue(clap_id id, const char* text, double& value) const {
    if (effect == nullptr || !isHostParam(id) || text == nullptr) return false;
    const std::string_view whole = trimmed(text);
    double number = 0.0;
    std::string_view unit;
    float result = 0.0f;
    std::string_view level = whole;  // the text without a trailing "dB"
    if (level.size() >= 2 && sameWord(level.substr(level.size() - 2), "dB"))
        level = trimmed(level.substr(0, level.size() - 2));
    if (id == kVolume && (level == "-oo" || sameWord(level, "-inf"))) {
        result = 0.0f;
    } else {
        if (!readNumber(whole, number, unit)) return false;
        if (id == kDelay && sameWord(unit, "ms")) {
            result = static_cast<float>(std::clamp(number / 300.0, 0.0, 1.0));
        } else if (id == kDelay) {
            if (!unit.empty() && !sameWord(unit, "samples")) return false;
            result = delayShowing(number);
        } else if (id == kVolume) {
            if (!unit.empty() && !sameWord(unit, "dB")) return false;
            result = showing(id, static_cast<float>(std::clamp(std::pow(10.0, number / 20.0), 0.0, 1.0)), level);
        } else {
            if (!unit.empty()) return false;
            result = showing(id, static_cast<float>(std::clamp(number, 0.0, 1.0)), whole);
        }
    }
    value = result;
    return true;
}

// The display texts truncate their last digit, so the float nearest to a number read from one may
// show one less. The nearest float to value that shows the number as typed (a few steps either
// way); value itself when none does, as for a number typed in another form.
float ClapPlugin::showing(clap_id id, float value, std::string_view typed) const {
    const std::string_view number = typed.substr(0, typed.find_first_of(" \t"));
    char display[kVstMaxParamStrLen + 1] = {};
    float below = value, above = value;
    for (int step = 0; step < 64; ++step) {
        for (const float candidate : {above, below}) {
            effect->getParameterDisplayAt(static_cast<VstInt32>(id), candidate, display);
            if (number == display) return candidate;
        }
        above = std::min(std::nextafter(above, 2.0f), 1.0f);
        below = std::max(std::nextafter(below, -1.0f), 0.0f);
    }
    return value;
}

// The Delay sample count the effect shows for value (its display text read back).
int32_t ClapPlugin::delaySamplesShown(float delay) const {
    char display[kVstMaxParamStrLen + 1] = {};
    effect->getParameterDisplayAt(kDelay, delay, display);
    int32_t samples = 0;
    std::from_chars(display, display + std::strlen(display), samples);
    return samples;
}

// The lowest Delay value whose display shows samples (rounded, within what 0 to 1 can show): a
// first guess from the rate, then stepped float by float, since the display truncates.
float ClapPlugin::delayShowing(double samples) const {
    const int32_t most = delaySamplesShown(1.0f);
    const auto wanted = static_cast<int32_t>(std::clamp(std::round(samples), 0.0, static_cast<double>(most)));
    const double rate = effect->getSampleRate();
    float value = rate > 0.0 ? static_cast<float>(std::clamp(wanted / (rate * 0.3), 0.0, 1.0)) : 0.0f;
    for (int step = 0; step < 64 && value < 1.0f && delaySamplesShown(value) < wanted; ++step)
        value = std::nextafter(value, 2.0f);
    for (int step = 0; step < 64 && value > 0.0f && delaySamplesShown(std::nextafter(value, -1.0f)) >= wanted; ++step)
        value = std::nextafter(value, -1.0f);
    return std::min(value, 1.0f);
}

}  // namespace lumetra
