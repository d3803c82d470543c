#include "tools/ClapInfo.h"

#include <cstdio>
#include <string>

#include "host/ClapHost.h"

namespace lumetra {
namespace {

std::string orDash(const char* text) { return text && *text ? text : "-"; }

void describePorts(const ClapHost& host, bool input) {
    const auto* ports = host.extension<clap_plugin_audio_ports_t>(CLAP_EXT_AUDIO_PORTS);
    const uint32_t count = ports ? ports->count(host.plugin(), input) : 0;
    for (uint32_t i = 0; i < count; ++i) {
        clap_audio_port_info_t info{};
        if (!ports->get(host.plugin(), i, input, &info)) continue;
        info.name[sizeof info.name - 1] = '\0';
        std::printf("%-13s %u: %s, %u channels (%s)%s%s\n", input ? "audio in" : "audio out", i, info.name,
                    info.channel_count, orDash(info.port_type).c_str(),
                    (info.flags & CLAP_AUDIO_PORT_IS_MAIN) ? ", main" : "",
                    info.in_place_pair != CLAP_INVALID_ID ? ", in place" : "");
    }
    if (count == 0) std::printf("%-13s none\n", input ? "audio in" : "audio out");
}

void describeInstance(ClapHost& host) {
    describePorts(host, true);
    describePorts(host, false);
    const auto* latency = host.extension<clap_plugin_latency_t>(CLAP_EXT_LATENCY);
    std::printf("latency       %s\n", latency ? std::to_string(latency->get(host.plugin())).c_str() : "-");
    const auto* gui = host.extension<clap_plugin_gui_t>(CLAP_EXT_GUI);
    const char* api = nullptr;
    bool floating = false;
    uint32_t width = 0, height = 0;
    if (gui && gui->get_preferred_api(host.plugin(), &api, &floating) && api) {
        const bool sized = gui->get_size(host.plugin(), &width, &height);
        std::printf("editor        %s%s%s\n", api, floating ? " (floating)" : "",
                    sized ? (", " + std::to_string(width) + " x " + std::to_string(height)).c_str() : "");
    } else {
        std::printf("editor        none\n");
    }
    const auto state = host.saveState();
    std::printf("state         %s\n", state ? (std::to_string(state->size()) + " bytes").c_str() : "none");
    std::printf("\nparams:\n");
    for (const clap_param_info_t& info : host.params()) {
        clap_param_info_t p = info;
        p.name[sizeof p.name - 1] = '\0';
        const std::string text = host.valueText(p.id, host.value(p.id).value_or(p.default_value)).value_or("-");
        std::printf("  %2u  %-10s %g .. %g, default %g  %s\n", p.id, p.name, p.min_value, p.max_value,
                    p.default_value, text.c_str());
    }
}

}  // namespace

int describeClapModule(const std::string& path) {
    ClapHost host;
    if (!host.load(path)) {
        std::fprintf(stderr, "lumetra info: %s\n", host.error().c_str());
        return 2;
    }
    const clap_plugin_factory_t* factory = host.factory();
    const uint32_t count = factory->get_plugin_count(factory);
    const clap_version_t v = host.entry()->clap_version;
    std::printf("module        %s\n", path.c_str());
    std::printf("format        CLAP %u.%u.%u\n", v.major, v.minor, v.revision);
    std::printf("plug-ins      %u\n", count);
    for (uint32_t i = 0; i < count; ++i) {
        const clap_plugin_descriptor_t* d = factory->get_plugin_descriptor(factory, i);
        if (d == nullptr) continue;
        std::string features;
        for (const char* const* f = d->features; f && *f; ++f)
            features += (features.empty() ? "" : " ") + std::string(*f);
        std::printf("\nid            %s\n", orDash(d->id).c_str());
        std::printf("name          %s\n", orDash(d->name).c_str());
        std::printf("vendor        %s\n", orDash(d->vendor).c_str());
        std::printf("version       %s\n", orDash(d->version).c_str());
        std::printf("description   %s\n", orDash(d->description).c_str());
        std::printf("features      %s\n", features.empty() ? "-" : features.c_str());
        if (d->id && host.create(d->id)) {
            describeInstance(host);
            host.destroyPlugin();
        } else {
            std::printf("instance      none: %s\n", host.error().c_str());
        }
    }
    return 0;
}

}  // namespace lumetra
