// The tables of the extensions a ClapPlugin offers, each defined next to the members it calls,
// and the guard every entry goes through.
#pragma once

#include "module/clap/ClapPlugin.h"
#include "platform/clap.h"

namespace lumetra {

extern const clap_plugin_audio_ports_t kAudioPortsExtension;  // ClapPlugin.cpp
extern const clap_plugin_latency_t kLatencyExtension;         // ClapPlugin.cpp
extern const clap_plugin_params_t kParamsExtension;           // ClapParams.cpp
extern const clap_plugin_state_t kStateExtension;             // ClapState.cpp
extern const clap_plugin_gui_t kGuiExtension;                 // ClapGui.cpp
extern const clap_plugin_timer_support_t kTimerExtension;     // ClapGui.cpp
extern const clap_plugin_posix_fd_support_t kFdExtension;     // ClapGui.cpp

// Finds the instance and calls it; fallback for an object that is not one of ours and when the
// call throws: no exception reaches the host.
template <typename Result, typename Call>
Result guarded(const clap_plugin_t* object, Result fallback, Call&& call) noexcept {
    ClapPlugin* self = ClapPlugin::from(object);
    if (self == nullptr) return fallback;
    try {
        return call(*self);
    } catch (...) {
        return fallback;
    }
}

}  // namespace lumetra
