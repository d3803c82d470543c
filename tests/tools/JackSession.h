// What the `lumetra listen` tests share: a private JACK server on the dummy driver, a client that
// plays known signals into it, and `lumetra listen` run against it as a child process.
#pragma once

#include <jack/jack.h>
#include <sys/types.h>

#include <atomic>
#include <functional>
#include <string>
#include <vector>

namespace lumetra::test {

// jackd -n NAME -d dummy, NAME unique to this process and object; stopped and reaped at the end.
class JackServer {
public:
    // Fails the calling test (ok() false) when the server does not take clients within 10 s.
    JackServer(int rateHz, int period);
    ~JackServer();
    JackServer(const JackServer&) = delete;
    JackServer& operator=(const JackServer&) = delete;

    bool ok() const { return ready; }
    const std::string& name() const { return serverName; }
    void killNow();  // SIGKILL, as a crash would end it (the destructor cleans up after it)

private:
    bool start();

    std::string serverName;
    int rateHz, period;
    pid_t pid = -1;
    bool ready = false;
    bool killed = false;
};

// A client "player" with ports out_1 and out_2 that loops one of its signals into both.
class JackPlayer {
public:
    JackPlayer(const std::string& server, std::vector<std::vector<float>> signals);
    ~JackPlayer();
    JackPlayer(const JackPlayer&) = delete;
    JackPlayer& operator=(const JackPlayer&) = delete;

    bool ok() const { return client != nullptr; }
    void play(int signal) { playing.store(signal); }  // from its start, at the next period
    bool setPeriod(int frames) { return jack_set_buffer_size(client, jack_nframes_t(frames)) == 0; }
    // True once the port exists and has a connection.
    bool connected(const std::string& port) const;
    // Connects two ports of the server (its own out_1 is "player:out_1").
    bool connect(const std::string& from, const std::string& to) {
        return jack_connect(client, from.c_str(), to.c_str()) == 0;
    }

private:
    static int process(jack_nframes_t frames, void* self);

    std::vector<std::vector<float>> signals;
    jack_client_t* client = nullptr;
    jack_port_t* ports[2] = {nullptr, nullptr};
    std::atomic<int> playing{0};
    int heard = 0;         // audio thread: the signal it plays
    size_t position = 0;   // audio thread: where in it
};

// A client "recorder" with ports in_1 and in_2 that keeps what arrives, once told to record,
// until it holds frames of each; it also joins and parts ports of any client of the server.
class JackRecorder {
public:
    JackRecorder(const std::string& server, size_t frames);
    ~JackRecorder();
    JackRecorder(const JackRecorder&) = delete;
    JackRecorder& operator=(const JackRecorder&) = delete;

    bool ok() const { return client != nullptr; }
    void record() { recording.store(true); }  // from the next period on
    bool full() const { return kept.load() == left.size(); }
    bool connect(const std::string& from, const std::string& to);
    bool disconnect(const std::string& from, const std::string& to);
    bool exists(const std::string& port) const;

    std::vector<float> left, right;  // read once full()

private:
    static int process(jack_nframes_t frames, void* self);

    jack_client_t* client = nullptr;
    jack_port_t* ports[2] = {nullptr, nullptr};
    std::atomic<bool> recording{false};
    std::atomic<size_t> kept{0};
};

// `lumetra listen ARGS` with JACK_DEFAULT_SERVER=server; stdout and stderr go to files in dir.
class ListenProcess {
public:
    ListenProcess(const std::string& server, const std::vector<std::string>& args, const std::string& dir);
    ~ListenProcess();  // kills it if it still runs
    ListenProcess(const ListenProcess&) = delete;
    ListenProcess& operator=(const ListenProcess&) = delete;

    // Its exit code once it ends within seconds (128 + signal when killed), or -1.
    int wait(double seconds);
    void signal(int number) const;
    std::string err() const;

private:
    pid_t pid = -1;
    std::string dir;
};

// Any JACK program (argv[0] found on PATH) with JACK_DEFAULT_SERVER=server and more environment
// lines; stdout and stderr go to files in dir, and stdin is a pipe held open until the object
// goes, since a program that reads commands (jalv) ends at the end of its input.
class JackProgram {
public:
    JackProgram(const std::string& server, const std::vector<std::string>& argv,
                const std::vector<std::string>& environment, const std::string& dir);
    ~JackProgram();  // closes its input and kills it if it still runs
    JackProgram(const JackProgram&) = delete;
    JackProgram& operator=(const JackProgram&) = delete;

    bool running();
    void send(const std::string& text);  // to its input
    std::string out() const;
    std::string err() const;

private:
    pid_t pid = -1;
    int input = -1;
    std::string dir;
};

// Any program, with extra environment entries NAME=value; its stdout and stderr go to
// dir/name.out and dir/name.err. Ended (SIGTERM, then SIGKILL) and reaped at destruction.
class ChildProcess {
public:
    ChildProcess(const std::vector<std::string>& args, const std::vector<std::string>& environment,
                 const std::string& dir, const std::string& name);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool started() const { return pid > 0; }
    int wait(double seconds);  // as ListenProcess::wait
    void killNow();            // SIGKILL, for a program that would ask questions before it ends
    std::string out() const;
    std::string err() const;

private:
    pid_t pid = -1;
    std::string prefix;  // dir/name
};

// Polls until done() or seconds pass; the last answer.
bool waitUntil(const std::function<bool()>& done, double seconds);
// The complete lines of a file growing under another process.
std::vector<std::string> completeLines(const std::string& path);

}  // namespace lumetra::test
