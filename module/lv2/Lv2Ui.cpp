// The LV2 plug-in's UI binary (Lumetra.lv2/LumetraUI.so): an X11 UI whose widget is the effect's
// own editor window, made inside the host's parent window. Each UI holds an effect of its own that
// processes nothing: the host's control port values become that effect's parameter values, and
// the band level outputs its meter values, so the editor draws what the VST 2.4 module's editor
// draws, whether the host runs the DSP binary in this process or in another. The editor's edits
// come back through the effect's host callback as port writes, its gestures as the host's touch.
// Every function: the host's UI thread.
#include <lv2/ui/ui.h>

#include <cstring>
#include <memory>

#include "module/EffectFactory.h"
#include "module/lv2/Lv2Ports.h"
#include "plugin/ADelay.h"
#include "plugin/AEffEditor.h"

namespace {

using namespace lumetra::lv2;

class Ui {
public:
    Ui(LV2UI_Write_Function writeIn, LV2UI_Controller controllerIn, const LV2UI_Touch* touchIn)
        : write(writeIn), controller(controllerIn), touch(touchIn) {}
    ~Ui() {
        // Closes the editor first: a gesture still under way ends with its touch release.
        if (effect) effect->dispatcher(effClose, 0, 0, nullptr, 0.0f);
    }

    bool open(AudioEffect* created, void* parent);
    void portEvent(uint32_t port, float value);
    int idle() {
        effect->dispatcher(effEditIdle, 0, 0, nullptr, 0.0f);
        return 0;
    }
    // The effect's host callback, with this UI in AEffect::user.
    VstIntPtr fromEffect(VstInt32 opcode, VstInt32 index, float value);

    std::unique_ptr<AudioEffect> effect;

private:
    LV2UI_Write_Function write;
    LV2UI_Controller controller;
    const LV2UI_Touch* touch;  // null when the host offers none
    ADelay* shown = nullptr;   // the effect, for its meters
};

VstIntPtr effectHost(AEffect* e, VstInt32 opcode, VstInt32 index, VstIntPtr, void*, float opt) noexcept {
    if (opcode == audioMasterVersion) return 2400;  // also while the effect is made (e is null then)
    auto* ui = e ? static_cast<Ui*>(e->user) : nullptr;
    if (ui == nullptr) return 0;
    try {
        return ui->fromEffect(opcode, index, opt);
    } catch (...) {
        return 0;
    }
}

bool Ui::open(AudioEffect* created, void* parent) {
    effect.reset(created);
    shown = dynamic_cast<ADelay*>(created);
    if (shown == nullptr || effect->getEditor() == nullptr) return false;
    effect->getAeffect()->user = this;
    return effect->dispatcher(effEditOpen, 0, 0, parent, 0.0f) == 1;
}

// The editor's edit of a parameter (audioMasterAutomate) becomes the port's new value; its
// gesture (begin and end edit) the host's touch of that port.
VstIntPtr Ui::fromEffect(VstInt32 opcode, VstInt32 index, float value) {
    const ControlPortInfo* control = controlOfParameter(index);
    if (control == nullptr) return 0;
    switch (opcode) {
    case audioMasterAutomate: {
        const float port = portValue(*control, value);
        if (!std::isnan(port)) write(controller, control->index, sizeof port, 0, &port);
        return 1;
    }
    case audioMasterBeginEdit:
    case audioMasterEndEdit:
        if (touch == nullptr || touch->touch == nullptr) return 0;
        touch->touch(touch->handle, control->index, opcode == audioMasterBeginEdit);
        return 1;
    default: return 0;
    }
}

// A control's value is given to the effect unless the effect already holds a value that shows
// as this port value (the host echoing the editor's own edit, which would otherwise move a slider
// by the rounding of the conversion); a level becomes the band's meter value.
void Ui::portEvent(uint32_t port, float value) {
    if (const ControlPortInfo* control = controlPort(port)) {
        const float clamped = clampPortValue(*control, value);
        if (std::isnan(clamped) || clamped == portValue(*control, effect->getParameter(control->parameter))) return;
        effect->setParameter(control->parameter, parameterValue(*control, clamped));
    } else if (port >= kFirstLevelPort && port < kNumPorts) {
        shown->showBandLevel(static_cast<int32_t>(port - kFirstLevelPort), value);
    }
}

Ui* uiOf(LV2UI_Handle handle) { return static_cast<Ui*>(handle); }

// Needs the host's parent window (ui:parent); takes its touch (ui:touch) and tells it the fixed
// size (ui:resize) where it offers them.
LV2UI_Handle instantiate(const LV2UI_Descriptor*, const char* pluginUri, const char*, LV2UI_Write_Function write,
                         LV2UI_Controller controller, LV2UI_Widget* widget,
                         const LV2_Feature* const* features) noexcept {
    if (write == nullptr || widget == nullptr || pluginUri == nullptr || std::strcmp(pluginUri, kPluginUri) != 0)
        return nullptr;
    void* parent = nullptr;
    const LV2UI_Touch* touch = nullptr;
    const LV2UI_Resize* resize = nullptr;
    for (const LV2_Feature* const* f = features; f && *f; ++f) {
        if ((*f)->URI == nullptr) continue;
        if (std::strcmp((*f)->URI, LV2_UI__parent) == 0) parent = (*f)->data;
        if (std::strcmp((*f)->URI, LV2_UI__touch) == 0) touch = static_cast<const LV2UI_Touch*>((*f)->data);
        if (std::strcmp((*f)->URI, LV2_UI__resize) == 0) resize = static_cast<const LV2UI_Resize*>((*f)->data);
    }
    if (parent == nullptr) return nullptr;
    try {
        auto ui = std::make_unique<Ui>(write, controller, touch);
        if (!ui->open(createEffectObject(effectHost), parent)) return nullptr;
        AEffEditor* editor = ui->effect->getEditor();
        *widget = editor->getFrameWindow();
        ERect* size = nullptr;
        if (resize && resize->ui_resize && editor->getRect(&size) && size)
            resize->ui_resize(resize->handle, size->right - size->left, size->bottom - size->top);
        return ui.release();
    } catch (...) {
        return nullptr;
    }
}

void cleanup(LV2UI_Handle handle) noexcept {
    try {
        delete uiOf(handle);
    } catch (...) {
    }
}

// Only the float protocol (format 0) of one float; anything else is not for this UI.
void portEvent(LV2UI_Handle handle, uint32_t port, uint32_t size, uint32_t format, const void* buffer) noexcept {
    if (handle == nullptr || format != 0 || size != sizeof(float) || buffer == nullptr) return;
    float value;
    std::memcpy(&value, buffer, sizeof value);
    try {
        uiOf(handle)->portEvent(port, value);
    } catch (...) {
    }
}

// The editor's events, the views' 33 ms idle and the redraw of what changed.
int idle(LV2UI_Handle handle) noexcept {
    if (handle == nullptr) return 1;
    try {
        return uiOf(handle)->idle();
    } catch (...) {
        return 0;
    }
}

const LV2UI_Idle_Interface kIdleInterface = {idle};

const void* extensionData(const char* uri) noexcept {
    if (uri && std::strcmp(uri, LV2_UI__idleInterface) == 0) return &kIdleInterface;
    return nullptr;
}

const LV2UI_Descriptor kDescriptor = {kUiUri, instantiate, cleanup, portEvent, extensionData};

}  // namespace

extern "C" __attribute__((visibility("default"))) const LV2UI_Descriptor* lv2ui_descriptor(uint32_t index) noexcept {
    return index == 0 ? &kDescriptor : nullptr;
}
