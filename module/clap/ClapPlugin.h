// One plug-in instance as a CLAP host sees it: the clap_plugin object the host holds, the core
// effect (an ADelayEdit with its ADEditor) that it creates in init and drives through the effect's
// members, and the host's extensions it found. The core talks back through audioMaster(): the
// editor's gestures and automation become output events (EditQueue), everything else gets the
// answers of a host that offers nothing.
// Threads, as CLAP assigns them: lifecycle, params texts, state and gui on the host's main thread
// (the calls that would touch a window or the engine's buffers are refused when the host's thread
// check says otherwise); process, reset and flush while processing on its audio thread.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "module/clap/EditQueue.h"
#include "platform/Relaxed.h"
#include "platform/clap.h"
#include "platform/vst24.h"
#include "plugin/Parameters.h"

class ADelay;

namespace lumetra {

class ClapPlugin {
public:
    // The parameters a host sees, by CLAP id (the effect's parameter number). Parameter 1 carries
    // meter values inside the core and is not among them.
    static constexpr std::array<clap_id, 4> kParamIds = {kDelay, kVolume, kMode, kResp};
    static bool isHostParam(clap_id id) { return id == kDelay || id == kVolume || id == kMode || id == kResp; }
    // The editor's idle runs on a host timer of this period (and, on X11, whenever its connection
    // has events): about the toolkit's 33 ms view idle.
    static constexpr uint32_t kIdlePeriodMs = 30;

    static const clap_plugin_descriptor_t descriptor;

    explicit ClapPlugin(const clap_host_t* host);  // no core yet: init() makes it
    ~ClapPlugin();
    ClapPlugin(const ClapPlugin&) = delete;
    ClapPlugin& operator=(const ClapPlugin&) = delete;

    const clap_plugin_t* object() const { return &plugin; }
    // The instance behind a clap_plugin the host passes; null for null or a stranger's object.
    static ClapPlugin* from(const clap_plugin_t* plugin);

    // clap_plugin.
    bool init();
    bool activate(double rateHz, uint32_t minFrames, uint32_t maxFrames);
    void deactivate();
    void reset();  // audio thread
    clap_process_status process(const clap_process_t& process);  // audio thread
    const void* extension(const char* id) const;

    // clap.params; flush: audio thread while processing, else main thread.
    bool paramInfo(uint32_t index, clap_param_info_t& info) const;
    bool paramValue(clap_id id, double& value) const;
    bool valueToText(clap_id id, double value, char* text, uint32_t capacity) const;
    bool textToValue(clap_id id, const char* text, double& value) const;
    void flush(const clap_input_events_t* in, const clap_output_events_t* out);

    // clap.state: the controls and the current program (ClapState.cpp).
    bool saveState(const clap_ostream_t& stream) const;
    bool loadState(const clap_istream_t& stream);

    // clap.gui with the timer and file-descriptor callbacks (ClapGui.cpp). Main thread.
    bool guiCreate(const char* api, bool floating);
    void guiDestroy();
    bool guiSize(uint32_t& width, uint32_t& height) const;
    bool guiSetParent(const clap_window_t& window);
    bool guiShow();
    bool guiHide();
    void onTimer(clap_id timer);
    void onFd(int fd);

    // The core's host callback: version, the editor's gestures and automation. The effect's
    // AEffect::user names the instance; while it is null (during creation) the answers are the
    // fixed ones.
    static VstIntPtr audioMaster(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                 float opt);

    bool onMainThread() const;  // as the host's thread check says; true without one

private:
    // Events and audio (ClapPlugin.cpp).
    void applyEvent(const clap_event_header_t& event);  // audio thread, or main thread in a flush
    void runFrames(float* const* in, float* const* out, uint32_t from, uint32_t count);
    void sendEdits(const clap_output_events_t* out);
    bool sendGesture(const clap_output_events_t& out, uint16_t type, uint32_t param);
    bool sendValue(const clap_output_events_t& out, uint32_t param, float value);
    void editorEdit(const ParamEdit& edit);  // UI thread

    // Delay's sample count as the effect shows it, and back (ClapParams.cpp).
    int32_t delaySamplesShown(float delay) const;
    float delayShowing(double samples) const;
    float showing(clap_id id, float value, std::string_view typed) const;

    // The editor window (ClapGui.cpp).
    void openEditor();
    void closeEditor();
    void* parentWindow() const;

    clap_plugin_t plugin;
    const clap_host_t* host;
    // Found in init(); each may be null.
    const clap_host_params_t* hostParams = nullptr;
    const clap_host_timer_support_t* hostTimers = nullptr;
    const clap_host_posix_fd_support_t* hostFds = nullptr;
    const clap_host_thread_check_t* hostThreads = nullptr;

    ADelay* effect = nullptr;  // owned; closed and deleted by the destructor
    Relaxed<bool> active = false;

    // Editor edits to the host. editorGesture: what the editor has begun and not ended (UI
    // thread writes); hostGesture: what the host has been told (reader only).
    EditQueue edits;
    Relaxed<bool> editsLost = false;
    Relaxed<bool> flushRequested = false;
    std::array<Relaxed<bool>, kNumParams> editorGesture{};
    std::array<bool, kNumParams> hostGesture{};

    // GUI, main thread.
    bool guiCreated = false;
    bool editorOpen = false;
    clap_window_t parent{};
    bool hasParent = false;
    clap_id timer = CLAP_INVALID_ID;
    int watchedFd = -1;
};

}  // namespace lumetra
