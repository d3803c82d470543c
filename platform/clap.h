// The CLAP 1.x binary interface, as far as the project speaks it: the module entry and the plug-in
// factory, the plug-in and host objects, processing with its events, and the extensions the
// module offers (audio ports, params, state, latency, gui, timer and file-descriptor support) or
// asks its host for (thread check and the host halves of the same). Names, numbers and layouts
// are the published ones; the static_asserts at the end pin the layouts on x86_64. Every function
// pointer uses the platform's C calling convention; strings are UTF-8, terminated.
#pragma once

#include <cstddef>
#include <cstdint>

extern "C" {

struct clap_version {
    uint32_t major;
    uint32_t minor;
    uint32_t revision;
};
typedef clap_version clap_version_t;

// The interface version this module is built for. A host accepts any 1.x.
constexpr clap_version_t CLAP_VERSION = {1, 2, 0};
constexpr bool clap_version_is_compatible(clap_version_t v) { return v.major >= 1; }

typedef uint32_t clap_id;
constexpr clap_id CLAP_INVALID_ID = UINT32_MAX;

// Sizes of the fixed text fields, terminator included.
constexpr size_t CLAP_NAME_SIZE = 256;
constexpr size_t CLAP_PATH_SIZE = 1024;

struct clap_host;
struct clap_plugin;

// ---- Module entry: the exported data symbol "clap_entry".
struct clap_plugin_entry {
    clap_version_t clap_version;
    bool (*init)(const char* plugin_path);
    void (*deinit)(void);
    const void* (*get_factory)(const char* factory_id);
};
typedef clap_plugin_entry clap_plugin_entry_t;

constexpr const char* CLAP_PLUGIN_FACTORY_ID = "clap.plugin-factory";

struct clap_plugin_descriptor {
    clap_version_t clap_version;
    const char* id;
    const char* name;
    const char* vendor;
    const char* url;
    const char* manual_url;
    const char* support_url;
    const char* version;
    const char* description;
    const char* const* features;  // null-terminated list
};
typedef clap_plugin_descriptor clap_plugin_descriptor_t;

struct clap_plugin_factory {
    uint32_t (*get_plugin_count)(const clap_plugin_factory* factory);
    const clap_plugin_descriptor_t* (*get_plugin_descriptor)(const clap_plugin_factory* factory, uint32_t index);
    const clap_plugin* (*create_plugin)(const clap_plugin_factory* factory, const clap_host* host,
                                        const char* plugin_id);
};
typedef clap_plugin_factory clap_plugin_factory_t;

constexpr const char* CLAP_PLUGIN_FEATURE_AUDIO_EFFECT = "audio-effect";
constexpr const char* CLAP_PLUGIN_FEATURE_ANALYZER = "analyzer";
constexpr const char* CLAP_PLUGIN_FEATURE_STEREO = "stereo";

// ---- The host object, handed to the factory.
struct clap_host {
    clap_version_t clap_version;
    void* host_data;
    const char* name;
    const char* vendor;
    const char* url;
    const char* version;
    const void* (*get_extension)(const clap_host* host, const char* extension_id);
    void (*request_restart)(const clap_host* host);
    void (*request_process)(const clap_host* host);
    void (*request_callback)(const clap_host* host);
};
typedef clap_host clap_host_t;

// ---- Events.
struct clap_event_header {
    uint32_t size;  // of the whole event, header included
    uint32_t time;  // sample offset in the block
    uint16_t space_id;
    uint16_t type;
    uint32_t flags;
};
typedef clap_event_header clap_event_header_t;

constexpr uint16_t CLAP_CORE_EVENT_SPACE_ID = 0;
enum : uint32_t { CLAP_EVENT_IS_LIVE = 1u << 0, CLAP_EVENT_DONT_RECORD = 1u << 1 };
enum : uint16_t {
    CLAP_EVENT_NOTE_ON = 0,
    CLAP_EVENT_NOTE_OFF = 1,
    CLAP_EVENT_NOTE_CHOKE = 2,
    CLAP_EVENT_NOTE_END = 3,
    CLAP_EVENT_NOTE_EXPRESSION = 4,
    CLAP_EVENT_PARAM_VALUE = 5,
    CLAP_EVENT_PARAM_MOD = 6,
    CLAP_EVENT_PARAM_GESTURE_BEGIN = 7,
    CLAP_EVENT_PARAM_GESTURE_END = 8,
    CLAP_EVENT_TRANSPORT = 9,
    CLAP_EVENT_MIDI = 10,
    CLAP_EVENT_MIDI_SYSEX = 11,
    CLAP_EVENT_MIDI2 = 12,
};

struct clap_event_param_value {
    clap_event_header_t header;
    clap_id param_id;
    void* cookie;
    int32_t note_id;  // -1: any (and the three below likewise)
    int16_t port_index;
    int16_t channel;
    int16_t key;
    double value;
};
typedef clap_event_param_value clap_event_param_value_t;

struct clap_event_param_gesture {
    clap_event_header_t header;
    clap_id param_id;
};
typedef clap_event_param_gesture clap_event_param_gesture_t;

struct clap_input_events {
    void* ctx;
    uint32_t (*size)(const clap_input_events* list);
    const clap_event_header_t* (*get)(const clap_input_events* list, uint32_t index);
};
typedef clap_input_events clap_input_events_t;

struct clap_output_events {
    void* ctx;
    bool (*try_push)(const clap_output_events* list, const clap_event_header_t* event);
};
typedef clap_output_events clap_output_events_t;

// ---- Processing.
struct clap_event_transport;  // only passed through

struct clap_audio_buffer {
    float** data32;
    double** data64;
    uint32_t channel_count;
    uint32_t latency;
    uint64_t constant_mask;
};
typedef clap_audio_buffer clap_audio_buffer_t;

struct clap_process {
    int64_t steady_time;
    uint32_t frames_count;
    const clap_event_transport* transport;
    const clap_audio_buffer_t* audio_inputs;
    clap_audio_buffer_t* audio_outputs;
    uint32_t audio_inputs_count;
    uint32_t audio_outputs_count;
    const clap_input_events_t* in_events;
    const clap_output_events_t* out_events;
};
typedef clap_process clap_process_t;

typedef int32_t clap_process_status;
enum : int32_t {
    CLAP_PROCESS_ERROR = 0,
    CLAP_PROCESS_CONTINUE = 1,
    CLAP_PROCESS_CONTINUE_IF_NOT_QUIET = 2,
    CLAP_PROCESS_TAIL = 3,
    CLAP_PROCESS_SLEEP = 4,
};

// ---- The plug-in object.
struct clap_plugin {
    const clap_plugin_descriptor_t* desc;
    void* plugin_data;
    bool (*init)(const clap_plugin* plugin);
    void (*destroy)(const clap_plugin* plugin);
    bool (*activate)(const clap_plugin* plugin, double sample_rate, uint32_t min_frames_count,
                     uint32_t max_frames_count);
    void (*deactivate)(const clap_plugin* plugin);
    bool (*start_processing)(const clap_plugin* plugin);
    void (*stop_processing)(const clap_plugin* plugin);
    void (*reset)(const clap_plugin* plugin);
    clap_process_status (*process)(const clap_plugin* plugin, const clap_process_t* process);
    const void* (*get_extension)(const clap_plugin* plugin, const char* id);
    void (*on_main_thread)(const clap_plugin* plugin);
};
typedef clap_plugin clap_plugin_t;

// ---- Audio ports.
constexpr const char* CLAP_EXT_AUDIO_PORTS = "clap.audio-ports";
constexpr const char* CLAP_PORT_MONO = "mono";
constexpr const char* CLAP_PORT_STEREO = "stereo";
enum : uint32_t {
    CLAP_AUDIO_PORT_IS_MAIN = 1u << 0,
    CLAP_AUDIO_PORT_SUPPORTS_64BITS = 1u << 1,
    CLAP_AUDIO_PORT_PREFERS_64BITS = 1u << 2,
    CLAP_AUDIO_PORT_REQUIRES_COMMON_SAMPLE_SIZE = 1u << 3,
};

struct clap_audio_port_info {
    clap_id id;
    char name[CLAP_NAME_SIZE];
    uint32_t flags;
    uint32_t channel_count;
    const char* port_type;
    clap_id in_place_pair;  // the port of the other direction that may share buffers, or invalid
};
typedef clap_audio_port_info clap_audio_port_info_t;

struct clap_plugin_audio_ports {
    uint32_t (*count)(const clap_plugin_t* plugin, bool is_input);
    bool (*get)(const clap_plugin_t* plugin, uint32_t index, bool is_input, clap_audio_port_info_t* info);
};
typedef clap_plugin_audio_ports clap_plugin_audio_ports_t;

// ---- Params.
constexpr const char* CLAP_EXT_PARAMS = "clap.params";
typedef uint32_t clap_param_info_flags;
enum : uint32_t {
    CLAP_PARAM_IS_STEPPED = 1u << 0,
    CLAP_PARAM_IS_PERIODIC = 1u << 1,
    CLAP_PARAM_IS_HIDDEN = 1u << 2,
    CLAP_PARAM_IS_READONLY = 1u << 3,
    CLAP_PARAM_IS_BYPASS = 1u << 4,
    CLAP_PARAM_IS_AUTOMATABLE = 1u << 5,
    CLAP_PARAM_IS_MODULATABLE = 1u << 10,
    CLAP_PARAM_REQUIRES_PROCESS = 1u << 15,
};

struct clap_param_info {
    clap_id id;
    clap_param_info_flags flags;
    void* cookie;
    char name[CLAP_NAME_SIZE];
    char module[CLAP_PATH_SIZE];
    double min_value;
    double max_value;
    double default_value;
};
typedef clap_param_info clap_param_info_t;

struct clap_plugin_params {
    uint32_t (*count)(const clap_plugin_t* plugin);
    bool (*get_info)(const clap_plugin_t* plugin, uint32_t param_index, clap_param_info_t* param_info);
    bool (*get_value)(const clap_plugin_t* plugin, clap_id param_id, double* out_value);
    bool (*value_to_text)(const clap_plugin_t* plugin, clap_id param_id, double value, char* out_buffer,
                          uint32_t out_buffer_capacity);
    bool (*text_to_value)(const clap_plugin_t* plugin, clap_id param_id, const char* param_value_text,
                          double* out_value);
    void (*flush)(const clap_plugin_t* plugin, const clap_input_events_t* in, const clap_output_events_t* out);
};
typedef clap_plugin_params clap_plugin_params_t;

typedef uint32_t clap_param_rescan_flags;
enum : uint32_t {
    CLAP_PARAM_RESCAN_VALUES = 1u << 0,
    CLAP_PARAM_RESCAN_TEXT = 1u << 1,
    CLAP_PARAM_RESCAN_INFO = 1u << 2,
    CLAP_PARAM_RESCAN_ALL = 1u << 3,
};
typedef uint32_t clap_param_clear_flags;

struct clap_host_params {
    void (*rescan)(const clap_host_t* host, clap_param_rescan_flags flags);
    void (*clear)(const clap_host_t* host, clap_id param_id, clap_param_clear_flags flags);
    void (*request_flush)(const clap_host_t* host);
};
typedef clap_host_params clap_host_params_t;

// ---- State.
constexpr const char* CLAP_EXT_STATE = "clap.state";

// read: bytes read, 0 at the end of the stream, -1 on error. write: bytes written, -1 on error.
struct clap_istream {
    void* ctx;
    int64_t (*read)(const clap_istream* stream, void* buffer, uint64_t size);
};
typedef clap_istream clap_istream_t;

struct clap_ostream {
    void* ctx;
    int64_t (*write)(const clap_ostream* stream, const void* buffer, uint64_t size);
};
typedef clap_ostream clap_ostream_t;

struct clap_plugin_state {
    bool (*save)(const clap_plugin_t* plugin, const clap_ostream_t* stream);
    bool (*load)(const clap_plugin_t* plugin, const clap_istream_t* stream);
};
typedef clap_plugin_state clap_plugin_state_t;

struct clap_host_state {
    void (*mark_dirty)(const clap_host_t* host);
};
typedef clap_host_state clap_host_state_t;

// ---- Latency.
constexpr const char* CLAP_EXT_LATENCY = "clap.latency";

struct clap_plugin_latency {
    uint32_t (*get)(const clap_plugin_t* plugin);
};
typedef clap_plugin_latency clap_plugin_latency_t;

struct clap_host_latency {
    void (*changed)(const clap_host_t* host);
};
typedef clap_host_latency clap_host_latency_t;

// ---- GUI.
constexpr const char* CLAP_EXT_GUI = "clap.gui";
constexpr const char* CLAP_WINDOW_API_WIN32 = "win32";
constexpr const char* CLAP_WINDOW_API_COCOA = "cocoa";
constexpr const char* CLAP_WINDOW_API_X11 = "x11";
constexpr const char* CLAP_WINDOW_API_WAYLAND = "wayland";

typedef void* clap_hwnd;
typedef void* clap_nsview;
typedef unsigned long clap_xwnd;

struct clap_window {
    const char* api;
    union {
        clap_nsview cocoa;
        clap_xwnd x11;
        clap_hwnd win32;
        void* ptr;
    };
};
typedef clap_window clap_window_t;

struct clap_gui_resize_hints {
    bool can_resize_horizontally;
    bool can_resize_vertically;
    bool preserve_aspect_ratio;
    uint32_t aspect_ratio_width;
    uint32_t aspect_ratio_height;
};
typedef clap_gui_resize_hints clap_gui_resize_hints_t;

struct clap_plugin_gui {
    bool (*is_api_supported)(const clap_plugin_t* plugin, const char* api, bool is_floating);
    bool (*get_preferred_api)(const clap_plugin_t* plugin, const char** api, bool* is_floating);
    bool (*create)(const clap_plugin_t* plugin, const char* api, bool is_floating);
    void (*destroy)(const clap_plugin_t* plugin);
    bool (*set_scale)(const clap_plugin_t* plugin, double scale);
    bool (*get_size)(const clap_plugin_t* plugin, uint32_t* width, uint32_t* height);
    bool (*can_resize)(const clap_plugin_t* plugin);
    bool (*get_resize_hints)(const clap_plugin_t* plugin, clap_gui_resize_hints_t* hints);
    bool (*adjust_size)(const clap_plugin_t* plugin, uint32_t* width, uint32_t* height);
    bool (*set_size)(const clap_plugin_t* plugin, uint32_t width, uint32_t height);
    bool (*set_parent)(const clap_plugin_t* plugin, const clap_window_t* window);
    bool (*set_transient)(const clap_plugin_t* plugin, const clap_window_t* window);
    void (*suggest_title)(const clap_plugin_t* plugin, const char* title);
    bool (*show)(const clap_plugin_t* plugin);
    bool (*hide)(const clap_plugin_t* plugin);
};
typedef clap_plugin_gui clap_plugin_gui_t;

struct clap_host_gui {
    void (*resize_hints_changed)(const clap_host_t* host);
    bool (*request_resize)(const clap_host_t* host, uint32_t width, uint32_t height);
    bool (*request_show)(const clap_host_t* host);
    bool (*request_hide)(const clap_host_t* host);
    void (*closed)(const clap_host_t* host, bool was_destroyed);
};
typedef clap_host_gui clap_host_gui_t;

// ---- Timer support.
constexpr const char* CLAP_EXT_TIMER_SUPPORT = "clap.timer-support";

struct clap_plugin_timer_support {
    void (*on_timer)(const clap_plugin_t* plugin, clap_id timer_id);
};
typedef clap_plugin_timer_support clap_plugin_timer_support_t;

struct clap_host_timer_support {
    bool (*register_timer)(const clap_host_t* host, uint32_t period_ms, clap_id* timer_id);
    bool (*unregister_timer)(const clap_host_t* host, clap_id timer_id);
};
typedef clap_host_timer_support clap_host_timer_support_t;

// ---- File descriptors (POSIX hosts).
constexpr const char* CLAP_EXT_POSIX_FD_SUPPORT = "clap.posix-fd-support";
typedef uint32_t clap_posix_fd_flags_t;
enum : uint32_t { CLAP_POSIX_FD_READ = 1u << 0, CLAP_POSIX_FD_WRITE = 1u << 1, CLAP_POSIX_FD_ERROR = 1u << 2 };

struct clap_plugin_posix_fd_support {
    void (*on_fd)(const clap_plugin_t* plugin, int fd, clap_posix_fd_flags_t flags);
};
typedef clap_plugin_posix_fd_support clap_plugin_posix_fd_support_t;

struct clap_host_posix_fd_support {
    bool (*register_fd)(const clap_host_t* host, int fd, clap_posix_fd_flags_t flags);
    bool (*modify_fd)(const clap_host_t* host, int fd, clap_posix_fd_flags_t flags);
    bool (*unregister_fd)(const clap_host_t* host, int fd);
};
typedef clap_host_posix_fd_support clap_host_posix_fd_support_t;

// ---- Thread check (host).
constexpr const char* CLAP_EXT_THREAD_CHECK = "clap.thread-check";

struct clap_host_thread_check {
    bool (*is_main_thread)(const clap_host_t* host);
    bool (*is_audio_thread)(const clap_host_t* host);
};
typedef clap_host_thread_check clap_host_thread_check_t;

}  // extern "C"

#if defined(__x86_64__)
static_assert(sizeof(clap_version_t) == 12);
static_assert(sizeof(clap_plugin_entry_t) == 40 && offsetof(clap_plugin_entry_t, init) == 16);
static_assert(sizeof(clap_plugin_descriptor_t) == 88 && offsetof(clap_plugin_descriptor_t, id) == 16 &&
              offsetof(clap_plugin_descriptor_t, features) == 80);
static_assert(sizeof(clap_host_t) == 88 && offsetof(clap_host_t, get_extension) == 56);
static_assert(sizeof(clap_plugin_t) == 96 && offsetof(clap_plugin_t, process) == 72);
static_assert(sizeof(clap_event_header_t) == 16 && offsetof(clap_event_header_t, type) == 10);
static_assert(sizeof(clap_event_param_value_t) == 56 && offsetof(clap_event_param_value_t, cookie) == 24 &&
              offsetof(clap_event_param_value_t, note_id) == 32 && offsetof(clap_event_param_value_t, key) == 40 &&
              offsetof(clap_event_param_value_t, value) == 48);
static_assert(sizeof(clap_event_param_gesture_t) == 20);
static_assert(sizeof(clap_audio_buffer_t) == 32 && offsetof(clap_audio_buffer_t, constant_mask) == 24);
static_assert(sizeof(clap_process_t) == 64 && offsetof(clap_process_t, frames_count) == 8 &&
              offsetof(clap_process_t, audio_inputs_count) == 40 && offsetof(clap_process_t, in_events) == 48);
static_assert(sizeof(clap_audio_port_info_t) == 288 && offsetof(clap_audio_port_info_t, flags) == 260 &&
              offsetof(clap_audio_port_info_t, port_type) == 272);
static_assert(sizeof(clap_param_info_t) == 1320 && offsetof(clap_param_info_t, name) == 16 &&
              offsetof(clap_param_info_t, module) == 272 && offsetof(clap_param_info_t, min_value) == 1296);
static_assert(sizeof(clap_window_t) == 16 && offsetof(clap_window_t, x11) == 8);
static_assert(sizeof(clap_gui_resize_hints_t) == 12);
static_assert(sizeof(clap_plugin_gui_t) == 15 * sizeof(void*));
#endif
