// A small CLAP host: loads a .clap module, initialises its entry, creates a plug-in from its
// factory and drives it: activation, stereo blocks with input and output events, params, state,
// and the editor in a window of the caller's with the host's timers and (POSIX) watched file
// descriptors, run when the caller runs the host's loop (runTimers, runFds). It offers the host
// extensions params, state, gui, latency, timer-support, posix-fd-support and thread-check, and
// records what the plug-in asks of them. Used by the `lumetra` tool and the tests.
// Threads: the thread that made the host is its main thread; process() marks the calling thread
// as the audio thread while it runs.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "host/VstHost.h"
#include "platform/clap.h"

namespace lumetra {

// Events in the order added, as a host hands them to a plug-in (input()) or collects what the
// plug-in pushes (output()).
class ClapEventList {
public:
    ClapEventList();
    ClapEventList(const ClapEventList&) = delete;
    ClapEventList& operator=(const ClapEventList&) = delete;

    void add(const clap_event_header_t& event);  // a copy of event.size bytes
    void addValue(uint32_t time, clap_id param, double value);
    void addGesture(uint32_t time, clap_id param, bool begin);
    void clear() { events.clear(); }
    size_t size() const { return events.size(); }
    const clap_event_header_t& operator[](size_t i) const;

    const clap_input_events_t* input() const { return &inputList; }
    const clap_output_events_t* output() const { return &outputList; }
    // Output: how many more events try_push takes (a host's full list refuses the rest).
    size_t room = SIZE_MAX;

private:
    std::deque<std::vector<uint64_t>> events;  // each event's bytes, 8-byte aligned
    clap_input_events_t inputList{};
    clap_output_events_t outputList{};
};

class ClapHost {
public:
    ClapHost();
    ~ClapHost();  // destroys the plug-in, de-initialises the entry, unloads the module
    ClapHost(const ClapHost&) = delete;
    ClapHost& operator=(const ClapHost&) = delete;

    // Loads the module, finds clap_entry, checks its version and initialises it with the path,
    // then takes its plug-in factory. On failure nothing stays loaded; error() keeps the message.
    LoadResult load(const std::string& path);
    // Creates and initialises the plug-in with that id (the factory's first when empty); false
    // (with error()) when the factory or init refuses.
    bool create(const std::string& id = "");
    void destroyPlugin();
    void unload();  // safe to call twice

    const clap_plugin_entry_t* entry() const { return entryPtr; }
    const clap_plugin_factory_t* factory() const { return factoryPtr; }
    const clap_plugin_t* plugin() const { return pluginPtr; }
    const std::string& error() const { return errorText; }
    template <typename Extension>
    const Extension* extension(const char* id) const {
        return pluginPtr && pluginPtr->get_extension
                   ? static_cast<const Extension*>(pluginPtr->get_extension(pluginPtr, id))
                   : nullptr;
    }

    bool activate(double rateHz, uint32_t maxFrames);  // also starts processing
    void deactivate();                                  // stops processing first
    // One block through the stereo ports: in and out may be the same buffers; no input when
    // left is null. Events go in and come out through the lists given. Allocates nothing itself
    // (what the plug-in pushes into out excepted).
    clap_process_status process(float* left, float* right, float* outLeft, float* outRight, uint32_t frames,
                                const ClapEventList* in = nullptr, ClapEventList* out = nullptr);
    void flush(const ClapEventList* in, ClapEventList* out);  // params flush

    std::vector<clap_param_info_t> params() const;
    std::optional<double> value(clap_id id) const;
    std::optional<std::string> valueText(clap_id id, double value) const;
    std::optional<double> textValue(clap_id id, const std::string& text) const;

    // State through streams that move at most chunk bytes per call.
    std::optional<std::vector<uint8_t>> saveState(size_t chunk = SIZE_MAX) const;
    bool loadState(const std::vector<uint8_t>& bytes, size_t chunk = SIZE_MAX) const;

    // The host's loop: every registered timer fires once; the registered descriptors are waited
    // for up to timeoutMs and those readable reported (POSIX; 0 on Windows). Main thread.
    void runTimers();
    int runFds(int timeoutMs);

    // What the plug-in asked of the host.
    std::map<clap_id, uint32_t> timers;             // id -> period in ms
    std::map<int, clap_posix_fd_flags_t> fds;       // descriptor -> flags
    std::vector<clap_param_rescan_flags> rescans;
    int flushRequests = 0;
    int restartRequests = 0;
    int processRequests = 0;
    int callbackRequests = 0;
    int dirtyMarks = 0;
    // Called from inside request_flush, as a host's own work there.
    std::function<void()> onRequestFlush;
    // The thread check's main thread; tests may name another.
    std::thread::id mainThread;

    static thread_local bool inAudioThread;
    static ClapHost* of(const clap_host_t* host);  // the host behind its clap_host

private:
    LoadResult fail(std::string message);
    static const void* hostExtension(const clap_host_t* host, const char* id);

    clap_host_t hostObject{};
    void* module = nullptr;
    const clap_plugin_entry_t* entryPtr = nullptr;
    bool entryInitialised = false;
    const clap_plugin_factory_t* factoryPtr = nullptr;
    const clap_plugin_t* pluginPtr = nullptr;
    bool active = false;
    std::string errorText;
    // The lists process() and flush() hand over when the caller gives none: made once, so that a
    // block allocates nothing on the host's side.
    const ClapEventList noEvents;
    ClapEventList discarded;
};

}  // namespace lumetra
