// A small VST 2.4 host: loads a module, creates its effect through the entry point with a
// scripted host callback that records every call and answers configurable values, and drives the
// effect through its AEffect entries. Used by the `lumetra` tool and the tests. One thread.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/vst24.h"

namespace lumetra {

struct HostCall {
    VstInt32 opcode;
    VstInt32 index;
    VstIntPtr value;
    void* ptr;
    float opt;
    std::string text;  // the string a canDo call asked about
};

// The outcome of loading a module: ok, or a one-line message that names the file and the reason.
struct LoadResult {
    bool ok = false;
    std::string message;
    explicit operator bool() const { return ok; }
};

// The system's module loader: dlopen, dlsym and dlclose; LoadLibrary, GetProcAddress and
// FreeLibrary on Windows. openModule gives null and the system's reason in why on failure.
void* openModule(const std::string& path, std::string& why);
void* findSymbol(void* module, const char* name);
void closeModule(void* module);
// Opens path as a host does (a bare file name is a file in the current folder); null, with a
// one-line message that names the file and the reason, when it is missing or not a module.
void* openModuleFile(const std::string& path, std::string& message);

class VstHost {
public:
    VstHost();
    ~VstHost();  // closes the effect and unloads the module
    VstHost(const VstHost&) = delete;
    VstHost& operator=(const VstHost&) = delete;

    // Answers: per opcode (default: 2400 for audioMasterVersion, 0 otherwise) and per canDo text.
    std::map<VstInt32, VstIntPtr> answers;
    std::map<std::string, VstIntPtr> canDoAnswers;
    std::vector<HostCall> calls;  // every call the plug-in made, in order (while recordCalls)
    bool recordCalls = true;
    // Called with each call the plug-in makes, after it was recorded and before it is answered:
    // what a host does from inside a callback (closing the editor at a begin-edit, say).
    std::function<void(const HostCall&)> onCall;

    // Loads the module (dlopen RTLD_NOW | RTLD_LOCAL; LoadLibrary on Windows), finds its entry (VSTPluginMain, then main)
    // and creates one effect. On failure nothing stays loaded; error() keeps the message.
    LoadResult load(const std::string& path);
    // Calls the entry once more (the module must be loaded); the new effect replaces nothing:
    // the caller closes it with closeEffect.
    AEffect* createAnother();
    // effClose; the module stays loaded. Closing effect() leaves the host without one.
    void closeEffect(AEffect* other);
    // effClose then dlclose (FreeLibrary); safe to call twice.
    void unload();

    AEffect* effect() const { return effectPtr; }
    const std::string& error() const { return errorText; }

    VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr, float opt = 0.0f);
    void setParameter(VstInt32 index, float value);
    float getParameter(VstInt32 index);
    void process(float* left, float* right, float* outLeft, float* outRight, VstInt32 frames);
    std::string text(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0);  // a string request
    size_t countCalls(VstInt32 opcode) const;

    static VstIntPtr callback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt);

private:
    VstIntPtr answer(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt);
    LoadResult fail(std::string message);

    void* module = nullptr;
    VstPluginMainProc entry = nullptr;
    AEffect* effectPtr = nullptr;
    std::string errorText;
};

}  // namespace lumetra
