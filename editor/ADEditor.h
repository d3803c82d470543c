// The plug-in's editor window: the 900 x 277 panel with the Delay and Volume sliders and their
// readouts, the Mode and Resp switches and the 32 band meters. The window's views exist only
// between open and close (UI thread). setParameter may come from any thread, the audio thread
// among them (32 packed meter values per block): it only stores into atomics the editor owns for
// its whole life, and idle, on the UI thread, moves the values into the views before the frame draws.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <vector>

#include "editor/AEffGUIEditor.h"
#include "toolkit/CControlListener.h"

class CBitmap;
class CExtendedVuMeter;
class CHorizontalSwitch;
class CParamDisplay;
class CVerticalSlider;

class ADEditor : public AEffGUIEditor, public CControlListener {
public:
    explicit ADEditor(AudioEffect* effect);
    ~ADEditor() override;

    // UI thread. open gives false (the host gets 0) when the frame has no window, for example
    // without a display or with a parent window that does not exist. A second open replaces
    // the first window.
    bool open(void* ptr) override;
    void close() override;
    void idle() override;
    // The window's own timer (Windows): the stored values into the views, as idle does.
    void beforeTimerIdle() override;

    // Any thread: stores the value the effect now holds into the slot of index; touches no view.
    void setParameter(VstInt32 index, float value) override;

    // UI thread: a slider or switch changed by the user.
    void valueChanged(CControl* control) override;

    // Readout texts; value in 0 to 1, text of 256 bytes; user data unused.
    static bool delayValueToString(float value, char text[256], void* userData);
    static bool volumeValueToString(float value, char text[256], void* userData);

    static constexpr int32_t kNumBands = 32;

protected:
    CVerticalSlider* delaySlider = nullptr;     // the frame owns the views; all valid only while
    CVerticalSlider* volumeSlider = nullptr;    // windowOpen
    CParamDisplay* delayReadout = nullptr;
    CParamDisplay* volumeReadout = nullptr;
    CHorizontalSwitch* modeSwitch = nullptr;
    CHorizontalSwitch* respSwitch = nullptr;
    std::vector<CExtendedVuMeter*> bandMeters;  // index = band, 0 = 16 Hz
    CBitmap* backgroundBitmap = nullptr;        // image 128; one reference for the editor's life

    // Written on the UI thread only; read by setParameter on any thread to skip work while closed.
    std::atomic<bool> windowOpen{false};

private:
    void applySlots();  // UI thread, window open

    // Raised after every change of parameter 0, 2, 3 or 4: idle moves the effect's values into
    // the views when it differs from the count it last applied.
    std::atomic<uint32_t> parameterSerial{0};
    uint32_t appliedSerial = 0;  // UI thread
    // Meter fraction per band, 0 to 1.
    std::array<std::atomic<float>, kNumBands> meterSlots{};
};
