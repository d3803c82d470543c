// A stand-in for the ALSA sequencer, loaded (LD_PRELOAD) into a host that will not start its
// audio engine without one, where the system has no sequencer device (/dev/snd/seq: containers
// and build machines without sound hardware). Opening it succeeds; it has one client (the host
// itself), no other client or port to find, accepts every event and delivers none. The functions
// that only fill or read the library's own records stay the library's. Test use only.
#include <poll.h>
#include <unistd.h>

#include <cerrno>

namespace {

int client = 0;             // stands for the sequencer handle: only its address is used
int quiet[2] = {-1, -1};    // a pipe nothing writes to: the host's poll on it never wakes
int ports = 0;

}  // namespace

extern "C" {

struct snd_seq_t;

__attribute__((visibility("default"))) int snd_seq_open(snd_seq_t** handle, const char*, int, int) {
    if (handle == nullptr) return -EINVAL;
    if (quiet[0] < 0 && pipe(quiet) != 0) return -errno;
    *handle = reinterpret_cast<snd_seq_t*>(&client);
    return 0;
}

#define LUMETRA_STUB(name, answer, ...) \
    __attribute__((visibility("default"))) int name(__VA_ARGS__) { return answer; }

LUMETRA_STUB(snd_seq_close, 0, snd_seq_t*)
LUMETRA_STUB(snd_seq_client_id, 128, snd_seq_t*)
LUMETRA_STUB(snd_seq_set_client_name, 0, snd_seq_t*, const char*)
LUMETRA_STUB(snd_seq_create_simple_port, ports++, snd_seq_t*, const char*, unsigned, unsigned)
LUMETRA_STUB(snd_seq_delete_simple_port, 0, snd_seq_t*, int)
LUMETRA_STUB(snd_seq_alloc_queue, 0, snd_seq_t*)
LUMETRA_STUB(snd_seq_free_queue, 0, snd_seq_t*, int)
LUMETRA_STUB(snd_seq_control_queue, 0, snd_seq_t*, int, int, int, void*)
LUMETRA_STUB(snd_seq_drain_output, 0, snd_seq_t*)
LUMETRA_STUB(snd_seq_drop_input, 0, snd_seq_t*)
LUMETRA_STUB(snd_seq_drop_output, 0, snd_seq_t*)
LUMETRA_STUB(snd_seq_event_input, -EAGAIN, snd_seq_t*, void**)
LUMETRA_STUB(snd_seq_event_input_pending, 0, snd_seq_t*, int)
LUMETRA_STUB(snd_seq_event_output, 0, snd_seq_t*, void*)
LUMETRA_STUB(snd_seq_event_output_direct, 0, snd_seq_t*, void*)
LUMETRA_STUB(snd_seq_get_any_client_info, -ENOENT, snd_seq_t*, int, void*)
LUMETRA_STUB(snd_seq_get_any_port_info, -ENOENT, snd_seq_t*, int, int, void*)
LUMETRA_STUB(snd_seq_get_port_info, 0, snd_seq_t*, int, void*)
LUMETRA_STUB(snd_seq_set_port_info, 0, snd_seq_t*, int, void*)
LUMETRA_STUB(snd_seq_get_queue_status, 0, snd_seq_t*, int, void*)
LUMETRA_STUB(snd_seq_get_queue_tempo, 0, snd_seq_t*, int, void*)
LUMETRA_STUB(snd_seq_set_queue_tempo, 0, snd_seq_t*, int, void*)
LUMETRA_STUB(snd_seq_set_queue_timer, 0, snd_seq_t*, int, void*)
LUMETRA_STUB(snd_seq_poll_descriptors_count, 1, snd_seq_t*, short)
LUMETRA_STUB(snd_seq_query_next_client, -ENOENT, snd_seq_t*, void*)
LUMETRA_STUB(snd_seq_query_next_port, -ENOENT, snd_seq_t*, void*)
LUMETRA_STUB(snd_seq_query_port_subscribers, -ENOENT, snd_seq_t*, void*)
LUMETRA_STUB(snd_seq_remove_events, 0, snd_seq_t*, void*)
LUMETRA_STUB(snd_seq_subscribe_port, 0, snd_seq_t*, void*)
LUMETRA_STUB(snd_seq_unsubscribe_port, 0, snd_seq_t*, void*)

__attribute__((visibility("default"))) int snd_seq_poll_descriptors(snd_seq_t*, pollfd* fds, unsigned space, short) {
    if (fds == nullptr || space < 1) return 0;
    fds[0] = {quiet[0], POLLIN, 0};
    return 1;
}

}  // extern "C"
