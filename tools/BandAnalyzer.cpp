#include "tools/BandAnalyzer.h"

#include "plugin/ADelay.h"
#include "tools/AnalyzeOptions.h"

namespace lumetra {

// The effect with the editor's side of parameter 1: every packed meter value j + f / 2 is
// decoded into band j's slot, the way the editor splits it.
class BandAnalyzer::Tap : public ADelay {
public:
    explicit Tap(std::array<float, kNumBands>& slots) : ADelay(nullptr), slots(slots) {}

    void setParameter(VstInt32 index, float value) override {
        ADelay::setParameter(index, value);
        if (index != kFeedBack || !(value >= 0.0f && value < float(kNumBands))) return;
        const auto band = static_cast<unsigned>(value);
        slots[band] = (value - float(band)) * 2.0f;
    }

private:
    std::array<float, kNumBands>& slots;
};

BandAnalyzer::BandAnalyzer(double sampleRateHz, const AnalyzeOptions& options)
    : effect(std::make_unique<Tap>(fractions)) {
    effect->setSampleRate(float(sampleRateHz));
    effect->resume();  // builds the bank for the new rate
    effect->setParameter(kDelay, options.delayValue());
    effect->setParameter(kVolume, options.volumeValue());
    effect->setParameter(kMode, options.modeValue());
    effect->setParameter(kResp, options.respValue());
}

BandAnalyzer::~BandAnalyzer() = default;

void BandAnalyzer::process(float* left, float* right, int n) {
    if (outLeft.size() < size_t(n)) {
        outLeft.resize(size_t(n));
        outRight.resize(size_t(n));
    }
    float* inputs[2] = {left, right};
    float* outputs[2] = {outLeft.data(), outRight.data()};
    effect->processReplacing(inputs, outputs, n);
}

float BandAnalyzer::level(int band) const { return effect->bank[0][size_t(band)].level; }
float BandAnalyzer::levelDb(int band) const { return levelToDb(level(band)); }
float BandAnalyzer::centreHz(int band) const { return effect->bank[0][size_t(band)].centreFrequency; }

}  // namespace lumetra
