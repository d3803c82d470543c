#include "host/VstHost.h"

#include <sys/stat.h>

#include <cstring>
#include <mutex>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace {

// Under AddressSanitizer the module's code stays mapped after dlclose, so that a leak report
// at exit can still name the module's functions.
#if defined(__SANITIZE_ADDRESS__)
constexpr int kKeepMapped = RTLD_NODELETE;
#else
constexpr int kKeepMapped = 0;
#endif

#if defined(_WIN32)
constexpr const char* kSeparators = "/\\:";
#else
constexpr const char* kSeparators = "/";
#endif

}  // namespace

namespace lumetra {

#if defined(_WIN32)
void* openModule(const std::string& path, std::string& why) {
    // No "cannot load" dialog box from the system for a file that is not a module.
    const UINT oldMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    HMODULE module = LoadLibraryA(path.c_str());
    const DWORD error = GetLastError();
    SetErrorMode(oldMode);
    if (module == nullptr) {
        char text[512] = "";
        FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, text,
                       sizeof text, nullptr);
        why = text;
        if (why.empty()) why = "error " + std::to_string(error);
    }
    return reinterpret_cast<void*>(module);
}
void* findSymbol(void* module, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), name));
}
void closeModule(void* module) { FreeLibrary(static_cast<HMODULE>(module)); }
#else
void* openModule(const std::string& path, std::string& why) {
    void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | kKeepMapped);
    if (module == nullptr) {
        const char* raw = dlerror();
        why = raw ? raw : "";
    }
    return module;
}
void* findSymbol(void* module, const char* name) { return dlsym(module, name); }
void closeModule(void* module) { dlclose(module); }
#endif

void* openModuleFile(const std::string& path, std::string& message) {
    struct stat info{};
    if (stat(path.c_str(), &info) != 0) {
        message = path + ": no such file";
        return nullptr;
    }
    // A name without a slash is a file in the current folder, as people type it, not a library
    // for the loader to look for along its search path.
    const std::string file = path.find_first_of(kSeparators) == std::string::npos ? "./" + path : path;
    std::string why;
    void* module = openModule(file, why);
    if (module == nullptr) {
        // The system's message may repeat the path and span lines; keep its reason on ours.
        const size_t named = why.find(file + ": ");
        if (named != std::string::npos) why.erase(named, file.size() + 2);
        for (char& c : why)
            if (c == '\n' || c == '\r') c = ' ';
        while (!why.empty() && why.back() == ' ') why.pop_back();
        message = path + ": not a loadable module" + (why.empty() ? "" : " (" + why + ")");
    }
    return module;
}

namespace {

// The callback is a plain function: effects are mapped back to their host by AEffect; during the
// entry call (before the AEffect exists) the host being created answers.
std::mutex registryMutex;
std::map<AEffect*, VstHost*>& registry() {
    static std::map<AEffect*, VstHost*> hosts;
    return hosts;
}
thread_local VstHost* creatingHost = nullptr;

}  // namespace

VstHost::VstHost() { answers[audioMasterVersion] = 2400; }

VstHost::~VstHost() { unload(); }

VstIntPtr VstHost::callback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
    VstHost* host = nullptr;
    {
        std::lock_guard<std::mutex> lock(registryMutex);
        auto it = registry().find(effect);
        if (it != registry().end()) host = it->second;
    }
    if (host == nullptr) host = creatingHost;
    return host ? host->answer(opcode, index, value, ptr, opt) : 0;
}

VstIntPtr VstHost::answer(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
    HostCall call{opcode, index, value, ptr, opt, {}};
    if (opcode == audioMasterCanDo && ptr) call.text = static_cast<const char*>(ptr);
    if (recordCalls) calls.push_back(call);
    if (onCall) onCall(call);
    if (opcode == audioMasterCanDo) {
        auto it = canDoAnswers.find(call.text);
        return it == canDoAnswers.end() ? 0 : it->second;
    }
    auto it = answers.find(opcode);
    return it == answers.end() ? 0 : it->second;
}

LoadResult VstHost::fail(std::string message) {
    errorText = message;
    if (module) closeModule(module);
    module = nullptr;
    entry = nullptr;
    return {false, std::move(message)};
}

LoadResult VstHost::load(const std::string& path) {
    unload();
    errorText.clear();
    std::string message;
    module = openModuleFile(path, message);
    if (module == nullptr) return fail(message);
    void* symbol = findSymbol(module, "VSTPluginMain");
    if (symbol == nullptr) symbol = findSymbol(module, "main");
    if (symbol == nullptr) return fail(path + ": no VST 2.4 entry point (VSTPluginMain or main)");
    entry = reinterpret_cast<VstPluginMainProc>(symbol);
    effectPtr = createAnother();
    if (effectPtr == nullptr) return fail(path + ": the entry point created no effect");
    return {true, {}};
}

AEffect* VstHost::createAnother() {
    if (entry == nullptr) return nullptr;
    creatingHost = this;
    AEffect* created = entry(callback);
    creatingHost = nullptr;
    if (created && created->magic != kEffectMagic) return nullptr;
    if (created) {
        std::lock_guard<std::mutex> lock(registryMutex);
        registry()[created] = this;
    }
    return created;
}

void VstHost::closeEffect(AEffect* other) {
    if (other == nullptr) return;
    if (other == effectPtr) effectPtr = nullptr;
    other->dispatcher(other, effClose, 0, 0, nullptr, 0.0f);
    std::lock_guard<std::mutex> lock(registryMutex);
    registry().erase(other);
}

void VstHost::unload() {
    if (effectPtr) {
        closeEffect(effectPtr);
        effectPtr = nullptr;
    }
    if (module) {
        closeModule(module);
        module = nullptr;
    }
    entry = nullptr;
}

VstIntPtr VstHost::dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
    return effectPtr ? effectPtr->dispatcher(effectPtr, opcode, index, value, ptr, opt) : 0;
}

void VstHost::setParameter(VstInt32 index, float value) {
    if (effectPtr) effectPtr->setParameter(effectPtr, index, value);
}

float VstHost::getParameter(VstInt32 index) { return effectPtr ? effectPtr->getParameter(effectPtr, index) : 0.0f; }

void VstHost::process(float* left, float* right, float* outLeft, float* outRight, VstInt32 frames) {
    if (effectPtr == nullptr) return;
    float* inputs[2] = {left, right};
    float* outputs[2] = {outLeft, outRight};
    effectPtr->processReplacing(effectPtr, inputs, outputs, frames);
}

std::string VstHost::text(VstInt32 opcode, VstInt32 index, VstIntPtr value) {
    char buffer[512];
    std::memset(buffer, 0, sizeof buffer);
    dispatch(opcode, index, value, buffer);
    buffer[sizeof buffer - 1] = '\0';
    return buffer;
}

size_t VstHost::countCalls(VstInt32 opcode) const {
    size_t count = 0;
    for (const HostCall& call : calls) count += call.opcode == opcode;
    return count;
}

}  // namespace lumetra
