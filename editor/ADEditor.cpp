#include "editor/ADEditor.h"

#include <cmath>
#include <cstdio>
#include <new>

#include "editor/CExtendedVuMeter.h"
#include "plugin/Parameters.h"
#include "plugin/AudioEffectX.h"
#include "toolkit/CBitmap.h"
#include "toolkit/CColor.h"
#include "toolkit/CFontDesc.h"
#include "toolkit/CFrame.h"
#include "toolkit/CHorizontalSwitch.h"
#include "toolkit/CParamDisplay.h"
#include "toolkit/CVerticalSlider.h"

using lumetra::kDelay;
using lumetra::kFeedBack;
using lumetra::kMode;
using lumetra::kResp;
using lumetra::kVolume;

namespace {

// Image numbers in the module's resource table.
enum ImageId : int32_t {
    kBackgroundImage = 128,
    kSliderTrackImage = 129,
    kSliderHandleImage = 130,
    kMeterOffImage = 131,
    kMeterOnImage = 132,
    kSwitchImage = 133,
};

constexpr int32_t kMeterLeds = 16;
constexpr float kMeterDecreaseStep = 100.0f;  // more than the whole range: every drawing shows the newest value
constexpr CColor kReadoutBackColor(223, 219, 211, 0);  // transparent: only the text shows

// Pixels from the first meter column to column i: i x 24.15, truncated.
CCoord meterOffset(int32_t band) { return static_cast<CCoord>(static_cast<int32_t>(band * 24.15)); }

CCoord whole(CCoord size) { return static_cast<CCoord>(static_cast<int32_t>(size)); }

}  // namespace

ADEditor::ADEditor(AudioEffect* effect) : AEffGUIEditor(effect) {
    backgroundBitmap = new CBitmap(kBackgroundImage);
    // The image is built in: it fails to decode only for lack of memory, and an editor without
    // its size would be no editor at all.
    if (backgroundBitmap->getWidth() <= 0 || backgroundBitmap->getHeight() <= 0) {
        backgroundBitmap->forget();
        backgroundBitmap = nullptr;
        throw std::bad_alloc();
    }
    rect.top = 0;
    rect.left = 0;
    rect.bottom = static_cast<int16_t>(backgroundBitmap->getHeight());
    rect.right = static_cast<int16_t>(backgroundBitmap->getWidth());
}

ADEditor::~ADEditor() {
    if (backgroundBitmap) backgroundBitmap->forget();
    backgroundBitmap = nullptr;
}

bool ADEditor::open(void* ptr) {  // UI thread
    close();  // a second open replaces the first window
    AEffGUIEditor::open(ptr);

    const CCoord width = whole(backgroundBitmap->getWidth());
    const CCoord height = whole(backgroundBitmap->getHeight());
    auto* newFrame = new CFrame(CRect(0, 0, width, height), ptr, this);
    if (newFrame->getPlatformFrame() == nullptr) {  // no display, or no such parent window
        newFrame->forget();
        AEffGUIEditor::close();
        return false;
    }
    frame = newFrame;
    frame->setBackground(backgroundBitmap);

    auto* track = new CBitmap(kSliderTrackImage);
    auto* handle = new CBitmap(kSliderHandleImage);
    auto* meterOff = new CBitmap(kMeterOffImage);
    auto* meterOn = new CBitmap(kMeterOnImage);
    auto* switchImage = new CBitmap(kSwitchImage);

    // The controls start from the values the effect holds now. The serial is read first: a
    // change stored while the views are being built is applied again at the next idle.
    appliedSerial = parameterSerial.load(std::memory_order_acquire);
    for (auto& slot : meterSlots) slot.store(0.0f, std::memory_order_relaxed);

    const CCoord trackWidth = track->getWidth();
    const CCoord trackHeight = track->getHeight();
    const CCoord handleHeight = handle->getHeight();
    const CCoord sliderLeft = width - 63 + trackWidth + 18;

    auto makeSlider = [&](int32_t tag, CCoord top) {
        auto* slider = new CVerticalSlider(CRect(sliderLeft, top, sliderLeft + trackWidth, top + trackHeight), this,
                                           tag, static_cast<int32_t>(top),
                                           static_cast<int32_t>(top + trackHeight - handleHeight - 1), handle, track,
                                           CPoint(0, 0), kBottom);
        slider->setOffsetHandle(CPoint(1, 0));
        slider->setValue(effect->getParameter(tag));
        slider->setDefaultValue(0.5f);
        return slider;
    };
    auto makeReadout = [&](int32_t tag, CCoord sliderTop, CParamDisplayValueToStringProc toString) {
        auto* readout = new CParamDisplay(CRect(sliderLeft - 6, sliderTop - 13, sliderLeft - 6 + 27, sliderTop - 13 + 12));
        readout->setFont(kNormalFontSmaller);
        readout->setFontColor(kBlackCColor);
        readout->setBackColor(kReadoutBackColor);
        readout->setFrameColor(kReadoutBackColor);
        readout->setValue(effect->getParameter(tag));
        readout->setValueToStringProc(toString, nullptr);
        return readout;
    };
    auto makeSwitch = [&](int32_t tag, CCoord left) {
        const CCoord frameHeight = switchImage->getHeight() / 3;
        auto* control = new CHorizontalSwitch(CRect(left, 13, left + switchImage->getWidth(), 13 + frameHeight), this,
                                              tag, 3, frameHeight, 3, switchImage, CPoint(0, 0));
        control->setValue(effect->getParameter(tag));
        return control;
    };

    volumeSlider = makeSlider(kVolume, 160);
    frame->addView(volumeSlider);
    volumeReadout = makeReadout(kVolume, 160, volumeValueToString);
    frame->addView(volumeReadout);
    delaySlider = makeSlider(kDelay, 60);
    frame->addView(delaySlider);
    delayReadout = makeReadout(kDelay, 60, delayValueToString);
    frame->addView(delayReadout);
    modeSwitch = makeSwitch(kMode, 769);
    frame->addView(modeSwitch);
    respSwitch = makeSwitch(kResp, 816);
    frame->addView(respSwitch);

    bandMeters.resize(kNumBands);
    const CCoord meterBottom = 54 + meterOn->getHeight();
    for (int32_t band = 0; band < kNumBands; ++band) {
        const CCoord left = 70 + meterOffset(band);
        auto* meter = new CExtendedVuMeter(CRect(left, 54, left + 24, meterBottom), meterOn, meterOff, kMeterLeds,
                                           kVertical);
        bandMeters[static_cast<size_t>(band)] = meter;
        meter->setDecreaseStepValue(kMeterDecreaseStep);
        meter->setValue(0.0f);
        frame->addView(meter);
    }

    // Every view that uses an image holds its own reference.
    track->forget();
    handle->forget();
    meterOff->forget();
    meterOn->forget();
    switchImage->forget();

    windowOpen.store(true, std::memory_order_relaxed);
    return true;
}

// Also from inside a callback of the window's own event handling (a host closing the editor at
// a gesture's begin-edit): the views then go once that handling has returned.
void ADEditor::close() {  // UI thread
    windowOpen.store(false, std::memory_order_relaxed);
    releaseFrame();  // releases the views and their images; the references below dangle
    AEffGUIEditor::close();
}

void ADEditor::beforeTimerIdle() {  // UI thread
    if (windowOpen.load(std::memory_order_relaxed)) applySlots();
}

void ADEditor::idle() {  // UI thread
    if (inIdleFeedback) return;  // the host's masterIdle calling back: the views are mid-update
    if (windowOpen.load(std::memory_order_relaxed)) applySlots();
    AEffGUIEditor::idle();
}

void ADEditor::applySlots() {
    const uint32_t serial = parameterSerial.load(std::memory_order_acquire);
    if (serial != appliedSerial) {
        appliedSerial = serial;
        // The views show what the effect holds now, whichever of them changed.
        const float delay = effect->getParameter(kDelay);
        const float volume = effect->getParameter(kVolume);
        delaySlider->setValue(delay);
        delayReadout->setValue(delay);
        volumeSlider->setValue(volume);
        volumeReadout->setValue(volume);
        modeSwitch->setValue(effect->getParameter(kMode));
        respSwitch->setValue(effect->getParameter(kResp));
    }
    // A meter repaints only when the value differs from what it shows.
    for (size_t band = 0; band < bandMeters.size(); ++band)
        bandMeters[band]->setValue(meterSlots[band].load(std::memory_order_relaxed));
}

// Any thread; the audio thread 32 times per block for kFeedBack. Allocates nothing, locks nothing.
// Parameter changes are counted even while the window is closed, so that a change racing with
// open is not lost; meter values are dropped while closed (open starts the meters from 0).
void ADEditor::setParameter(VstInt32 index, float /*value*/) {
    switch (index) {
        case kFeedBack: {
            if (!windowOpen.load(std::memory_order_relaxed)) return;
            // A packed meter value: band + fraction / 2. Only 0 <= x < 32 names a band; a host may
            // set parameter 1 to anything (32 or more, negative, NaN), which touches nothing.
            const float x = effect->getParameter(kFeedBack);
            if (!(x >= 0.0f && x < static_cast<float>(kNumBands))) return;
            const auto band = static_cast<uint32_t>(x);
            float fraction = (x - static_cast<float>(band)) * 2.0f;
            if (fraction > 1.0f) fraction = 1.0f;
            meterSlots[band].store(fraction, std::memory_order_relaxed);
            return;
        }
        case kDelay:
        case kVolume:
        case kMode:
        case kResp:
            // The effect has stored the value already; idle reads it back on the UI thread.
            parameterSerial.fetch_add(1, std::memory_order_release);
            return;
        default: return;
    }
}

void ADEditor::valueChanged(CControl* control) {  // UI thread
    const int32_t tag = control->getTag();
    if (tag >= kDelay && tag <= kResp) effect->setParameterAutomated(tag, control->getValue());
}

bool ADEditor::delayValueToString(float value, char text[256], void* /*userData*/) {
    std::snprintf(text, 256, "%d", static_cast<int>(value * 300.0f));  // milliseconds, truncated
    return true;
}

bool ADEditor::volumeValueToString(float value, char text[256], void* /*userData*/) {
    const float gainDb = value * 40.0f - 20.0f;
    std::snprintf(text, 256, "%+1.1f", static_cast<double>(gainDb));
    return true;
}
