#include "tests/tools/JackSession.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include "tests/tools/AudioFiles.h"

extern char** environ;

namespace lumetra::test {

namespace {

// Waits for the child within seconds; its status, or -1 when it still runs.
int reap(pid_t& pid, double seconds) {
    int code = -1;
    if (pid <= 0) return code;
    waitUntil([&] {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) != pid) return false;
        code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        pid = -1;
        return true;
    }, seconds);
    return code;
}

void stop(pid_t& pid) {
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    if (reap(pid, 5) >= 0) return;
    kill(pid, SIGKILL);
    reap(pid, 5);
}

// stdin: /dev/null, or the given descriptor (the read end of a pipe).
pid_t spawn(const std::vector<std::string>& args, const std::vector<std::string>& extraEnvironment,
            const std::string& outPath, const std::string& errPath, int stdinFd = -1) {
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    if (stdinFd >= 0)
        posix_spawn_file_actions_adddup2(&files, stdinFd, 0);
    else
        posix_spawn_file_actions_addopen(&files, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&files, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&files, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<char*> argv, envp;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    for (char** e = environ; *e; ++e) {
        bool replaced = false;
        for (const std::string& extra : extraEnvironment)
            replaced |= std::strncmp(*e, extra.c_str(), extra.find('=') + 1) == 0;
        if (!replaced) envp.push_back(*e);
    }
    for (const std::string& e : extraEnvironment) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    pid_t pid = -1;
    const int failed = posix_spawnp(&pid, argv[0], &files, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&files);
    return failed ? -1 : pid;
}

jack_client_t* openClient(const std::string& server, const char* name) {
    jack_status_t status{};
    return jack_client_open(name, jack_options_t(JackNoStartServer | JackServerName | JackUseExactName), &status,
                            server.c_str());
}

}  // namespace

bool waitUntil(const std::function<bool()>& done, double seconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

std::vector<std::string> completeLines(const std::string& path) {
    std::string text = readFile(path);
    text.erase(text.find_last_of('\n') == std::string::npos ? 0 : text.find_last_of('\n') + 1);
    std::vector<std::string> lines;
    for (size_t at = 0; at < text.size();) {
        const size_t end = text.find('\n', at);
        lines.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    return lines;
}

JackServer::JackServer(int rateHzIn, int periodIn) : rateHz(rateHzIn), period(periodIn) {
    static int count = 0;
    serverName = "lumetra-test-" + std::to_string(getpid()) + "-" + std::to_string(++count);
    jack_set_error_function([](const char*) {});
    jack_set_info_function([](const char*) {});
    ready = start();
    if (!ready) ADD_FAILURE() << "jackd -n " << serverName << " -d dummy did not start";
}

bool JackServer::start() {
    const std::vector<std::string> args = {"jackd", "-n", serverName, "-d", "dummy", "-r", std::to_string(rateHz),
                                           "-p", std::to_string(period)};
    pid = fork();
    if (pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGTERM);  // a test that crashes leaves no server running
        const int quiet = open("/dev/null", O_RDWR);
        for (int fd = 0; fd < 3; ++fd) dup2(quiet, fd);
        std::vector<char*> argv;
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    return pid > 0 && waitUntil([&] {
        if (jack_client_t* probe = openClient(serverName, "probe")) {
            jack_client_close(probe);
            return true;
        }
        return false;
    }, 10);
}

JackServer::~JackServer() {
    // A killed server stays in JACK's registry of servers, which holds eight: one of the same name
    // takes its entry over and gives it back when it ends normally.
    if (killed && start()) killed = false;
    stop(pid);
}

void JackServer::killNow() {
    kill(pid, SIGKILL);
    reap(pid, 5);
    killed = true;
}

JackPlayer::JackPlayer(const std::string& server, std::vector<std::vector<float>> signalsIn)
    : signals(std::move(signalsIn)) {
    client = openClient(server, "player");
    if (client == nullptr) {
        ADD_FAILURE() << "the player cannot join the server " << server;
        return;
    }
    ports[0] = jack_port_register(client, "out_1", JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
    ports[1] = jack_port_register(client, "out_2", JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
    jack_set_process_callback(client, &JackPlayer::process, this);
    if (ports[0] == nullptr || ports[1] == nullptr || jack_activate(client) != 0) {
        ADD_FAILURE() << "the player cannot start";
        jack_client_close(client);
        client = nullptr;
    }
}

JackPlayer::~JackPlayer() {
    if (client) jack_client_close(client);
}

bool JackPlayer::connected(const std::string& port) const {
    jack_port_t* p = jack_port_by_name(client, port.c_str());
    return p != nullptr && jack_port_connected(p) > 0;
}

int JackPlayer::process(jack_nframes_t frames, void* arg) {
    auto* self = static_cast<JackPlayer*>(arg);
    const int wanted = self->playing.load();
    if (wanted != self->heard) {
        self->heard = wanted;
        self->position = 0;
    }
    const std::vector<float>& signal = self->signals[size_t(self->heard)];
    auto* left = static_cast<float*>(jack_port_get_buffer(self->ports[0], frames));
    auto* right = static_cast<float*>(jack_port_get_buffer(self->ports[1], frames));
    for (jack_nframes_t i = 0; i < frames; ++i) {
        left[i] = right[i] = signal[self->position];
        if (++self->position == signal.size()) self->position = 0;
    }
    return 0;
}

JackRecorder::JackRecorder(const std::string& server, size_t frames) : left(frames), right(frames) {
    client = openClient(server, "recorder");
    if (client == nullptr) {
        ADD_FAILURE() << "the recorder cannot join the server " << server;
        return;
    }
    ports[0] = jack_port_register(client, "in_1", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
    ports[1] = jack_port_register(client, "in_2", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
    jack_set_process_callback(client, &JackRecorder::process, this);
    if (ports[0] == nullptr || ports[1] == nullptr || jack_activate(client) != 0) {
        ADD_FAILURE() << "the recorder cannot start";
        jack_client_close(client);
        client = nullptr;
    }
}

JackRecorder::~JackRecorder() {
    if (client) jack_client_close(client);
}

bool JackRecorder::connect(const std::string& from, const std::string& to) {
    const int result = jack_connect(client, from.c_str(), to.c_str());
    return result == 0 || result == EEXIST;
}

bool JackRecorder::disconnect(const std::string& from, const std::string& to) {
    return jack_disconnect(client, from.c_str(), to.c_str()) == 0;
}

bool JackRecorder::exists(const std::string& port) const { return jack_port_by_name(client, port.c_str()) != nullptr; }

int JackRecorder::process(jack_nframes_t frames, void* arg) {
    auto* self = static_cast<JackRecorder*>(arg);
    if (!self->recording.load()) return 0;
    const auto* left = static_cast<const float*>(jack_port_get_buffer(self->ports[0], frames));
    const auto* right = static_cast<const float*>(jack_port_get_buffer(self->ports[1], frames));
    size_t at = self->kept.load();
    const size_t n = std::min<size_t>(frames, self->left.size() - at);
    std::copy(left, left + n, self->left.begin() + static_cast<std::ptrdiff_t>(at));
    std::copy(right, right + n, self->right.begin() + static_cast<std::ptrdiff_t>(at));
    self->kept.store(at + n);
    return 0;
}

ListenProcess::ListenProcess(const std::string& server, const std::vector<std::string>& args, const std::string& dirIn)
    : dir(dirIn) {
    std::vector<std::string> argv = {LUMETRA_TOOL_PATH, "listen"};
    argv.insert(argv.end(), args.begin(), args.end());
    pid = spawn(argv, {"JACK_DEFAULT_SERVER=" + server}, dir + "/listen.out", dir + "/listen.err");
    if (pid <= 0) ADD_FAILURE() << "cannot start " << LUMETRA_TOOL_PATH;
}

ListenProcess::~ListenProcess() {
    if (pid <= 0) return;
    kill(pid, SIGKILL);
    reap(pid, 5);
}

int ListenProcess::wait(double seconds) { return pid > 0 ? reap(pid, seconds) : -1; }

void ListenProcess::signal(int number) const {
    if (pid > 0) kill(pid, number);
}

std::string ListenProcess::err() const { return readFile(dir + "/listen.err"); }

JackProgram::JackProgram(const std::string& server, const std::vector<std::string>& argv,
                         const std::vector<std::string>& environment, const std::string& dirIn)
    : dir(dirIn) {
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) {
        ADD_FAILURE() << "no pipe for " << argv[0];
        return;
    }
    std::vector<std::string> env = environment;
    env.push_back("JACK_DEFAULT_SERVER=" + server);
    pid = spawn(argv, env, dir + "/program.out", dir + "/program.err", ends[0]);
    close(ends[0]);
    input = ends[1];
    if (pid <= 0) ADD_FAILURE() << "cannot start " << argv[0];
}

JackProgram::~JackProgram() {
    if (input >= 0) close(input);
    stop(pid);
}

bool JackProgram::running() { return pid > 0 && reap(pid, 0) < 0; }

void JackProgram::send(const std::string& text) {
    if (input >= 0 && write(input, text.data(), text.size()) != ssize_t(text.size())) ADD_FAILURE() << "cannot write";
}

std::string JackProgram::out() const { return readFile(dir + "/program.out"); }
std::string JackProgram::err() const { return readFile(dir + "/program.err"); }
ChildProcess::ChildProcess(const std::vector<std::string>& args, const std::vector<std::string>& environment,
                           const std::string& dir, const std::string& name)
    : prefix(dir + "/" + name) {
    pid = spawn(args, environment, prefix + ".out", prefix + ".err");
    if (pid <= 0) ADD_FAILURE() << "cannot start " << (args.empty() ? "nothing" : args[0]);
}

ChildProcess::~ChildProcess() { stop(pid); }

int ChildProcess::wait(double seconds) { return pid > 0 ? reap(pid, seconds) : -1; }

void ChildProcess::killNow() {
    if (pid <= 0) return;
    kill(pid, SIGKILL);
    reap(pid, 5);
}
std::string ChildProcess::out() const { return readFile(prefix + ".out"); }
std::string ChildProcess::err() const { return readFile(prefix + ".err"); }

}  // namespace lumetra::test
