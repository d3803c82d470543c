// clap.gui with clap.timer-support and clap.posix-fd-support: the effect's editor embedded in the
// host's window (X11 on Linux, Win32 on Windows), fixed at the size of its panel. set_parent names
// the window; show opens the editor in it, hide and destroy close it. While it is open a host timer
// runs the editor's idle, and on X11 so does the host's watch on the editor's own connection to the
// X server, so that its events are handled as they arrive. Main thread; a call the host's thread
// check places elsewhere is refused.
#include <cstdint>
#include <cstring>

#include "editor/AEffGUIEditor.h"
#include "module/clap/ClapExtensions.h"
#include "plugin/ADelay.h"

namespace lumetra {
namespace {

#if defined(_WIN32)
constexpr const char* kWindowApi = CLAP_WINDOW_API_WIN32;
#else
constexpr const char* kWindowApi = CLAP_WINDOW_API_X11;
#endif

bool isOurApi(const char* api) { return api != nullptr && std::strcmp(api, kWindowApi) == 0; }

bool apiSupportedEntry(const clap_plugin_t* p, const char* api, bool floating) noexcept {
    return ClapPlugin::from(p) != nullptr && isOurApi(api) && !floating;
}

bool preferredApiEntry(const clap_plugin_t* p, const char** api, bool* floating) noexcept {
    if (ClapPlugin::from(p) == nullptr || api == nullptr || floating == nullptr) return false;
    *api = kWindowApi;
    *floating = false;
    return true;
}

bool createEntry(const clap_plugin_t* p, const char* api, bool floating) noexcept {
    return guarded(p, false, [&](ClapPlugin& self) { return self.guiCreate(api, floating); });
}

void destroyEntry(const clap_plugin_t* p) noexcept {
    guarded(p, 0, [](ClapPlugin& self) { return self.guiDestroy(), 0; });
}

bool setScaleEntry(const clap_plugin_t*, double) noexcept { return false; }  // drawn at its own pixels

bool sizeEntry(const clap_plugin_t* p, uint32_t* width, uint32_t* height) noexcept {
    if (width == nullptr || height == nullptr) return false;
    return guarded(p, false, [&](ClapPlugin& self) { return self.guiSize(*width, *height); });
}

bool canResizeEntry(const clap_plugin_t*) noexcept { return false; }

// Hints for a host that asks although the size is fixed: no resizing in either direction.
bool resizeHintsEntry(const clap_plugin_t* p, clap_gui_resize_hints_t* hints) noexcept {
    uint32_t width = 0, height = 0;
    if (hints == nullptr || !sizeEntry(p, &width, &height)) return false;
    *hints = {false, false, true, width, height};
    return true;
}

// The one size there is, whatever was asked.
bool adjustSizeEntry(const clap_plugin_t* p, uint32_t* width, uint32_t* height) noexcept {
    return sizeEntry(p, width, height);
}

bool setSizeEntry(const clap_plugin_t* p, uint32_t width, uint32_t height) noexcept {
    uint32_t ownWidth = 0, ownHeight = 0;
    return sizeEntry(p, &ownWidth, &ownHeight) && width == ownWidth && height == ownHeight;
}

bool setParentEntry(const clap_plugin_t* p, const clap_window_t* window) noexcept {
    if (window == nullptr) return false;
    return guarded(p, false, [&](ClapPlugin& self) { return self.guiSetParent(*window); });
}

bool setTransientEntry(const clap_plugin_t*, const clap_window_t*) noexcept { return false; }  // embedded only
void suggestTitleEntry(const clap_plugin_t*, const char*) noexcept {}

bool showEntry(const clap_plugin_t* p) noexcept {
    return guarded(p, false, [](ClapPlugin& self) { return self.guiShow(); });
}

bool hideEntry(const clap_plugin_t* p) noexcept {
    return guarded(p, false, [](ClapPlugin& self) { return self.guiHide(); });
}

void timerEntry(const clap_plugin_t* p, clap_id timer) noexcept {
    guarded(p, 0, [&](ClapPlugin& self) { return self.onTimer(timer), 0; });
}

void fdEntry(const clap_plugin_t* p, int fd, clap_posix_fd_flags_t) noexcept {
    guarded(p, 0, [&](ClapPlugin& self) { return self.onFd(fd), 0; });
}

}  // namespace

const clap_plugin_gui_t kGuiExtension = {
    apiSupportedEntry, preferredApiEntry, createEntry,  destroyEntry,      setScaleEntry,
    sizeEntry,         canResizeEntry,    resizeHintsEntry, adjustSizeEntry, setSizeEntry,
    setParentEntry,    setTransientEntry, suggestTitleEntry, showEntry,       hideEntry,
};
const clap_plugin_timer_support_t kTimerExtension = {timerEntry};
const clap_plugin_posix_fd_support_t kFdExtension = {fdEntry};

bool ClapPlugin::guiCreate(const char* api, bool floating) {
    if (effect == nullptr || effect->getEditor() == nullptr || !onMainThread() || !isOurApi(api) || floating)
        return false;
    guiCreated = true;
    return true;
}

void ClapPlugin::guiDestroy() {
    if (!onMainThread()) return;
    closeEditor();
    guiCreated = false;
    hasParent = false;
}

// The panel's size, known before any window opens.
bool ClapPlugin::guiSize(uint32_t& width, uint32_t& height) const {
    ERect* rect = nullptr;
    if (effect == nullptr || effect->dispatcher(effEditGetRect, 0, 0, &rect, 0.0f) == 0 || rect == nullptr)
        return false;
    width = static_cast<uint32_t>(rect->right - rect->left);
    height = static_cast<uint32_t>(rect->bottom - rect->top);
    return true;
}

// An open editor moves into the new parent.
bool ClapPlugin::guiSetParent(const clap_window_t& window) {
    if (!guiCreated || !onMainThread() || !isOurApi(window.api) || window.ptr == nullptr) return false;
    const bool wasOpen = editorOpen;
    closeEditor();
    parent = window;
    parent.api = kWindowApi;
    hasParent = true;
    if (wasOpen) openEditor();
    return !wasOpen || editorOpen;
}

bool ClapPlugin::guiShow() {
    if (!guiCreated || !hasParent || !onMainThread()) return false;
    if (!editorOpen) openEditor();
    return editorOpen;
}

bool ClapPlugin::guiHide() {
    if (!guiCreated || !onMainThread()) return false;
    closeEditor();
    return true;
}

void ClapPlugin::onTimer(clap_id id) {
    if (editorOpen && id == timer && onMainThread()) effect->dispatcher(effEditIdle, 0, 0, nullptr, 0.0f);
}

void ClapPlugin::onFd(int fd) {
    if (editorOpen && fd == watchedFd && onMainThread()) effect->dispatcher(effEditIdle, 0, 0, nullptr, 0.0f);
}

void* ClapPlugin::parentWindow() const {
#if defined(_WIN32)
    return parent.win32;
#else
    return reinterpret_cast<void*>(static_cast<uintptr_t>(parent.x11));  // a Window id, as effEditOpen takes it
#endif
}

void ClapPlugin::openEditor() {
    if (effect->dispatcher(effEditOpen, 0, 0, parentWindow(), 0.0f) == 0) return;  // no such window, no display
    editorOpen = true;
    clap_id id = CLAP_INVALID_ID;
    if (hostTimers && hostTimers->register_timer && hostTimers->register_timer(host, kIdlePeriodMs, &id)) timer = id;
    if (hostFds && hostFds->register_fd) {
        const auto* gui = dynamic_cast<AEffGUIEditor*>(effect->getEditor());
        const int fd = gui ? gui->eventFileDescriptor() : -1;
        if (fd >= 0 && hostFds->register_fd(host, fd, CLAP_POSIX_FD_READ)) watchedFd = fd;
    }
}

// The host stops watching the connection before the editor closes it, and the timer goes with it.
void ClapPlugin::closeEditor() {
    if (watchedFd >= 0 && hostFds && hostFds->unregister_fd) hostFds->unregister_fd(host, watchedFd);
    watchedFd = -1;
    if (timer != CLAP_INVALID_ID && hostTimers && hostTimers->unregister_timer)
        hostTimers->unregister_timer(host, timer);
    timer = CLAP_INVALID_ID;
    if (!editorOpen) return;
    editorOpen = false;
    effect->dispatcher(effEditClose, 0, 0, nullptr, 0.0f);
}

}  // namespace lumetra
