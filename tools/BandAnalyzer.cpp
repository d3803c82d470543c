#include "tools/BandAnalyzer.h"

#include "engine/AnalyzerEngine.h"
#include "engine/MeterValue.h"
#include "tools/AnalyzeOptions.h"

namespace lumetra {

BandAnalyzer::BandAnalyzer(double sampleRateHz, const AnalyzeOptions& options)
    : engine(std::make_unique<AnalyzerEngine>()) {
    const auto rate = float(sampleRateHz);
    engine->rebuildBank(rate);  // the order the effect keeps: bank, then the controls
    engine->prepare(rate, 0);
    engine->setDelay(options.delayValue(), rate);
    engine->setVolume(options.volumeValue());
    engine->setMode(options.modeValue());
    engine->setResp(options.respValue());
}

BandAnalyzer::~BandAnalyzer() = default;

void BandAnalyzer::process(float* left, float* right, int n) {
    const float* inputs[2] = {left, right};
    engine->process(inputs, 2, n > 0 ? static_cast<uint32_t>(n) : 0);
    // The fraction as the editor gets it back out of the packed value j + f / 2.
    for (int j = 0; j < kNumBands; ++j) {
        const float packed = packedMeterValue(j, engine->meterFraction(j));
        fractions[size_t(j)] = (packed - float(j)) * 2.0f;
    }
}

float BandAnalyzer::level(int band) const { return engine->level(band); }
float BandAnalyzer::levelDb(int band) const { return levelToDb(level(band)); }
float BandAnalyzer::centreHz(int band) const { return engine->centreHz(band); }

}  // namespace lumetra
