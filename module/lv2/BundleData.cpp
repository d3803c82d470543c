// lumetra_lv2_data DIR: writes the Turtle of the LV2 bundle into DIR at build time: manifest.ttl,
// Lumetra.ttl (the plug-in, its ports and its UI) and presets.ttl (one preset per program). The
// ports come from Lv2Ports.h, which the binaries use too; the control defaults and the presets
// from an effect made here, from its own program table, so neither can drift from the effect.
#include <charconv>
#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>

#include "module/EffectFactory.h"
#include "module/lv2/Lv2Ports.h"
#include "plugin/AudioEffect.h"

namespace {

using namespace lumetra::lv2;

const char* const kPrefixes =
    "@prefix doap: <http://usefulinc.com/ns/doap#> .\n"
    "@prefix foaf: <http://xmlns.com/foaf/0.1/> .\n"
    "@prefix lv2: <http://lv2plug.in/ns/lv2core#> .\n"
    "@prefix pg: <http://lv2plug.in/ns/ext/port-groups#> .\n"
    "@prefix pset: <http://lv2plug.in/ns/ext/presets#> .\n"
    "@prefix rdf: <http://www.w3.org/1999/02/22-rdf-syntax-ns#> .\n"
    "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .\n"
    "@prefix ui: <http://lv2plug.in/ns/extensions/ui#> .\n"
    "@prefix units: <http://lv2plug.in/ns/extensions/units#> .\n\n";

VstIntPtr effectHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) noexcept {
    return opcode == audioMasterVersion ? 2400 : 0;
}

// A Turtle decimal that reads back as the same float: shortest round trip, with a point.
std::string number(float value) {
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, value).ptr;
    std::string s(text, end);
    if (s.find_first_of(".e") == std::string::npos) s += ".0";
    return s;
}

std::string quoted(const std::string& text) {
    std::string s = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') s += '\\';
        if (static_cast<unsigned char>(c) < 0x20) continue;  // no control characters in a label
        s += c;
    }
    return s + "\"";
}

std::string uri(const std::string& u) { return "<" + u + ">"; }
std::string presetUri(int program) { return uri(kPresetUriPrefix + std::to_string(program + 1)); }

void writeFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
    if (!out.flush()) throw std::runtime_error("cannot write " + path);
}

std::string manifest() {
    std::ostringstream t;
    t << kPrefixes;
    t << uri(kPluginUri) << "\n    a lv2:Plugin ;\n    lv2:binary <" << kDspBinary
      << "> ;\n    rdfs:seeAlso <Lumetra.ttl> .\n\n";
    t << uri(kUiUri) << "\n    a ui:X11UI ;\n    lv2:binary <" << kUiBinary << "> ;\n    rdfs:seeAlso <Lumetra.ttl> .\n";
    for (int p = 0; p < lumetra::kNumPrograms; ++p)
        t << "\n" << presetUri(p) << "\n    a pset:Preset ;\n    lv2:appliesTo " << uri(kPluginUri)
          << " ;\n    rdfs:seeAlso <presets.ttl> .\n";
    return t.str();
}

std::string plugin(AudioEffect& effect) {
    char vendor[256] = {}, product[256] = {};
    effect.dispatcher(effGetVendorString, 0, 0, vendor, 0.0f);
    effect.dispatcher(effGetProductString, 0, 0, product, 0.0f);

    std::ostringstream t;
    t << kPrefixes;
    t << uri(kPluginUri) << "\n    a lv2:Plugin , lv2:AnalyserPlugin , doap:Project ;\n"
      << "    doap:name \"Lumetra\" ;\n"
      << "    rdfs:comment " << quoted(std::string(product) + ": passes stereo audio through untouched and "
                                       "measures 32 bands from 16 Hz to 20 kHz") << " ;\n"
      << "    doap:maintainer [ foaf:name " << quoted(vendor) << " ] ;\n"
      << "    lv2:minorVersion " << LUMETRA_VERSION_MINOR << " ;\n"
      << "    lv2:microVersion " << LUMETRA_VERSION_MICRO << " ;\n"
      << "    lv2:optionalFeature lv2:hardRTCapable ;\n"
      << "    ui:ui " << uri(kUiUri) << " ;\n"
      << "    lv2:port ";
    bool first = true;
    auto next = [&] {
        if (!first) t << " , ";
        first = false;
        t << "[\n";
    };
    for (const AudioPortInfo& a : kAudioPorts) {
        next();
        t << "        a lv2:AudioPort , " << (a.output ? "lv2:OutputPort" : "lv2:InputPort") << " ;\n"
          << "        lv2:index " << a.index << " ;\n        lv2:symbol " << quoted(a.symbol) << " ;\n"
          << "        lv2:name " << quoted(a.name) << " ;\n        lv2:designation pg:" << a.channel << "\n    ]";
    }
    for (const ControlPortInfo& c : kControlPorts) {
        next();
        t << "        a lv2:ControlPort , lv2:InputPort ;\n"
          << "        lv2:index " << c.index << " ;\n        lv2:symbol " << quoted(c.symbol) << " ;\n"
          << "        lv2:name " << quoted(c.name) << " ;\n"
          << "        lv2:default " << number(portValue(c, effect.getParameter(c.parameter))) << " ;\n"
          << "        lv2:minimum " << number(c.minimum) << " ;\n        lv2:maximum " << number(c.maximum);
        if (c.unit) t << " ;\n        units:unit units:" << c.unit;
        if (c.scalePoints[0]) {
            t << " ;\n        lv2:portProperty lv2:integer , lv2:enumeration ;\n        lv2:scalePoint ";
            for (int k = 0; k < 3 && c.scalePoints[k]; ++k)
                t << (k ? " , " : "") << "[\n            rdfs:label " << quoted(c.scalePoints[k])
                  << " ;\n            rdf:value " << number(c.minimum + static_cast<float>(k)) << "\n        ]";
        }
        t << "\n    ]";
    }
    for (uint32_t j = 0; j < kNumBands; ++j) {
        next();
        t << "        a lv2:ControlPort , lv2:OutputPort ;\n"
          << "        lv2:index " << kFirstLevelPort + j << " ;\n"
          << "        lv2:symbol \"level_" << j << "\" ;\n"
          << "        lv2:name " << quoted(std::string("Level ") + kBandNames[j]) << " ;\n"
          << "        rdfs:comment \"The band's level after its smoothing, in dB re full scale; -400 in silence\" ;\n"
          << "        lv2:minimum " << number(kLevelMinimumDb) << " ;\n        lv2:maximum "
          << number(kLevelMaximumDb) << " ;\n        units:unit units:db\n    ]";
    }
    t << " .\n\n";

    // The UI: the editor, fixed size, driven by the host's idle calls inside its parent window,
    // sent the level outputs (which hosts otherwise need not send a UI).
    t << uri(kUiUri) << "\n    a ui:X11UI ;\n"
      << "    lv2:requiredFeature ui:idleInterface , ui:parent ;\n"
      << "    lv2:optionalFeature ui:noUserResize , ui:touch , ui:resize ;\n"
      << "    lv2:extensionData ui:idleInterface ;\n"
      << "    ui:portNotification ";
    for (uint32_t j = 0; j < kNumBands; ++j)
        t << (j ? " , " : "") << "[\n        ui:plugin " << uri(kPluginUri) << " ;\n        lv2:symbol \"level_" << j
          << "\" ;\n        ui:protocol ui:floatProtocol\n    ]";
    t << " .\n";
    return t.str();
}

// Each program as the effect holds it: its name as a host lists the current program's ("Init 1"
// for a program never renamed), its controls in port units.
std::string presets(AudioEffect& effect) {
    std::ostringstream t;
    t << kPrefixes;
    for (int p = 0; p < lumetra::kNumPrograms; ++p) {
        effect.dispatcher(effSetProgram, 0, p, nullptr, 0.0f);
        char name[256] = {};
        effect.dispatcher(effGetProgramName, 0, 0, name, 0.0f);
        t << (p ? "\n" : "") << presetUri(p) << "\n    a pset:Preset ;\n    lv2:appliesTo " << uri(kPluginUri)
          << " ;\n    rdfs:label " << quoted(name) << " ;\n    lv2:port ";
        for (uint32_t i = 0; i < kNumControls; ++i) {
            const ControlPortInfo& c = kControlPorts[i];
            t << (i ? " , " : "") << "[\n        lv2:symbol " << quoted(c.symbol) << " ;\n        pset:value "
              << number(portValue(c, effect.getParameter(c.parameter))) << "\n    ]";
        }
        t << " .\n";
    }
    return t.str();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: lumetra_lv2_data DIR\n", stderr);
        return 2;
    }
    try {
        const std::unique_ptr<AudioEffect> effect(createProcessingObject(effectHost));
        if (!effect) throw std::runtime_error("cannot make the effect");
        const std::string dir = argv[1];
        writeFile(dir + "/manifest.ttl", manifest());
        writeFile(dir + "/Lumetra.ttl", plugin(*effect));  // the defaults: the freshly made effect's values
        writeFile(dir + "/presets.ttl", presets(*effect));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "lumetra_lv2_data: %s\n", e.what());
        return 1;
    }
    return 0;
}
