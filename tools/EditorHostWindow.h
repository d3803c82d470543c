// What `lumetra show`, `lumetra snapshot` and `lumetra listen --window` share: a module loaded
// through the test host, its editor opened in a top-level X window of the tool's own, and the audio
// fed to it (a file or the built-in test signal, looped; or a live input). UI thread: everything
// but feed() and process(), which the audio side calls.
#pragma once

#include <X11/Xlib.h>

#include <memory>
#include <string>
#include <vector>

#include "host/VstHost.h"
#include "tools/AudioInput.h"

namespace lumetra {

class EditorHostWindow {
public:
    static constexpr int kBlock = 512;

    EditorHostWindow() = default;
    ~EditorHostWindow();
    EditorHostWindow(const EditorHostWindow&) = delete;
    EditorHostWindow& operator=(const EditorHostWindow&) = delete;

    // Loads the module and opens the audio source (file, or the test signal when empty); throws
    // UsageError naming the reason.
    void load(const std::string& modulePath, const std::string& audioPath);
    // Loads the module for a live input at sampleRate, in blocks of at most maxBlock frames; throws
    // UsageError naming the reason.
    void loadLive(const std::string& modulePath, double sampleRate, int maxBlock);
    // For a new sample rate of the live input: suspend, new rate, resume. Not while process() runs.
    void changeSampleRate(double sampleRate);
    // Makes the window on display (the tool's own connection) and opens the editor into it;
    // throws AnalysisError when the editor does not open.
    void open(Display* display, const std::string& title);
    void close();  // effEditClose and the window

    // One block of the source through processReplacing (the source loops at its end).
    void feed();
    // One block of a live input, n <= maxBlock frames: processReplacing and nothing else.
    void process(float* left, float* right, int n) noexcept;
    void idle() { host.dispatch(effEditIdle); }
    float parameter(VstInt32 index) { return host.getParameter(index); }
    void setParameter(VstInt32 index, float value) { host.setParameter(index, value); }

    double sampleRate() const { return rateHz; }
    Window window() const { return windowId; }
    int width() const { return widthPx; }
    int height() const { return heightPx; }
    Atom deleteAtom() const { return wmDelete; }

private:
    void reopenSource();
    void loadModule(const std::string& modulePath, int maxBlock);

    VstHost host;
    std::string audio;
    std::unique_ptr<AudioInput> source;
    std::vector<float> left, right, outLeft, outRight;
    double rateHz = 0;
    Display* display = nullptr;
    Window windowId = 0;
    Atom wmDelete = 0;
    int widthPx = 0;
    int heightPx = 0;
    bool editorOpen = false;
};

// An X server of the tool's own (Xvfb on a free display number), so that a picture never depends
// on the user's screen. The server is stopped and reaped when the object goes.
class PrivateXServer {
public:
    PrivateXServer() = default;
    ~PrivateXServer();
    PrivateXServer(const PrivateXServer&) = delete;
    PrivateXServer& operator=(const PrivateXServer&) = delete;

    // Starts it and returns its display name (":N"); throws AnalysisError when it cannot.
    std::string start();

private:
    int pid = -1;
};

}  // namespace lumetra
