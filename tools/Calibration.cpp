#include "tools/Calibration.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <sstream>
#include <vector>

#include "engine/MeasurementBank.h"
#include "tools/AnalyzeError.h"
#include "tools/AnalyzeOptions.h"
#include "tools/AudioInput.h"

namespace lumetra {

namespace {

constexpr double kPieceSec = 0.1;     // the level is followed in pieces of this length
constexpr double kSettleSec = 0.5;    // left out at the start while the filters settle
constexpr double kSteadyDb = 0.5;     // a steady piece is this close to the median level
constexpr double kLeastSteadySec = 1.0;
constexpr double kLeastToneShare = 0.9;  // of the energy, in the tone's band
constexpr double kQuietestDbFs = -100.0;

std::string percent(double share) {
    char text[32];
    std::snprintf(text, sizeof text, "%.0f %%", 100.0 * share);
    return text;
}

}  // namespace

Calibration calibrate(const AnalyzeOptions& options) {
    const std::string& path = options.calibratePath;
    std::unique_ptr<AudioInput> input;
    try {
        input = openAudioFile(path);
    } catch (const UsageError& e) {
        throw UsageError(path + ": " + e.what());
    }
    MeasurementBank bank(input->sampleRate, Weighting::Z, 0.0);
    const auto pieceFrames = std::max<int64_t>(1, std::llround(kPieceSec * input->sampleRate));
    const auto settleFrames = std::llround(kSettleSec * input->sampleRate);
    bank.reserve(int(pieceFrames));
    const auto length = static_cast<size_t>(pieceFrames);
    std::vector<float> left(length), right(length), signal(length);
    struct Piece {
        double total;                              // mean square of the whole signal
        std::array<double, kNumBands> band;        // of each band
    };
    std::vector<Piece> pieces;
    int64_t frames = 0;
    for (;;) {
        int64_t n = 0;
        try {
            n = input->read(left.data(), right.data(), pieceFrames);
        } catch (const AnalysisError& e) {
            throw UsageError(path + ": " + e.what());
        }
        if (n <= 0) break;
        for (int64_t i = 0; i < n; ++i)
            signal[size_t(i)] = options.mode == 'L'   ? left[size_t(i)]
                                : options.mode == 'R' ? right[size_t(i)]
                                                      : right[size_t(i)] + left[size_t(i)];
        bank.clearEnergy();
        bank.process(signal.data(), int(n));
        frames += n;
        if (frames - n < settleFrames || n < pieceFrames) continue;
        Piece& p = pieces.emplace_back();
        p.total = bank.energy(MeasurementBank::kTotal) / double(bank.energyCount(MeasurementBank::kTotal));
        for (int j = 0; j < kNumBands; ++j)
            p.band[size_t(j)] = bank.energyCount(j) > 0 ? bank.energy(j) / double(bank.energyCount(j)) : 0.0;
    }
    auto db = [](double meanSquare) { return 10.0 * std::log10(meanSquare + 1e-40); };
    if (double(pieces.size()) * kPieceSec < kLeastSteadySec)
        throw UsageError(path + ": too short for a calibration (" + std::to_string(frames / int64_t(input->sampleRate)) +
                         " s; a steady calibrator tone of at least 1.5 s is needed)");
    std::vector<double> levels;
    for (const Piece& p : pieces) levels.push_back(db(p.total));
    std::vector<double> sorted = levels;
    std::nth_element(sorted.begin(), sorted.begin() + long(sorted.size() / 2), sorted.end());
    const double median = sorted[sorted.size() / 2];
    if (median < kQuietestDbFs) throw UsageError(path + ": no calibrator tone (the recording is silent)");
    Calibration c;
    double total = 0;
    std::array<double, kNumBands> bands{};
    size_t steady = 0;
    for (size_t i = 0; i < pieces.size(); ++i) {
        if (std::fabs(levels[i] - median) > kSteadyDb) continue;
        ++steady;
        total += pieces[i].total;
        for (int j = 0; j < kNumBands; ++j) bands[size_t(j)] += pieces[i].band[size_t(j)];
    }
    c.steadySec = double(steady) * kPieceSec;
    if (c.steadySec < kLeastSteadySec || steady * 2 < pieces.size())
        throw UsageError(path + ": not a steady calibrator tone (the level holds within " + std::to_string(int(kSteadyDb * 10)) +
                         "/10 dB for only " + percent(double(steady) / double(pieces.size())) + " of the recording)");
    const auto loudest = int(std::max_element(bands.begin(), bands.end()) - bands.begin());
    const double share = bands[size_t(loudest)] / total;
    if (share < kLeastToneShare)
        throw UsageError(path + ": not a calibrator tone (its loudest band, " + kNominalLabel[loudest] + " Hz, holds " +
                         percent(share) + " of the energy; a calibrator's tone holds nearly all of it)");
    c.toneHz = MeasurementBank::centreHz(loudest);
    c.levelDbFs = db(total / double(steady));
    c.offsetDb = options.calibratorLevelDb - c.levelDbFs;
    return c;
}

std::array<double, kNumBands> readReferenceCurve(const std::string& path) {
    std::ifstream in(path);
    if (!in) throw UsageError(path + ": cannot read the reference curve");
    std::string line;
    if (!std::getline(in, line)) throw UsageError(path + ": empty; a CSV of 'lumetra analyze --csv' is needed");
    auto fields = [](const std::string& text) {
        std::vector<std::string> out;
        std::stringstream stream(text);
        for (std::string field; std::getline(stream, field, ',');) out.push_back(field);
        if (!text.empty() && text.back() == ',') out.emplace_back();
        return out;
    };
    const std::vector<std::string> header = fields(line);
    if (header.empty() || header[0] != "time_s")
        throw UsageError(path + ": not a CSV of 'lumetra analyze --csv' of one input (its first column is not time_s)");
    std::vector<int> bandOf(header.size(), -1);
    int columns = 0;
    for (size_t i = 1; i < header.size(); ++i) {
        char* end = nullptr;
        const double hz = std::strtod(header[i].c_str(), &end);
        for (int j = 0; j < kNumBands; ++j)
            if (end != header[i].c_str() && hz == kNominalHz[j]) {
                bandOf[i] = j;
                ++columns;
            }
    }
    if (columns == 0) throw UsageError(path + ": no band columns (16 ... 20000) in its first line");
    std::array<double, kNumBands> power{}, weight{};
    double previous = 0;
    int rows = 0;
    while (std::getline(in, line)) {
        if (line.empty()) continue;
        const std::vector<std::string> row = fields(line);
        char* end = nullptr;
        const double time = std::strtod(row[0].c_str(), &end);
        if (end == row[0].c_str() || !std::isfinite(time))
            throw UsageError(path + ": row " + std::to_string(rows + 2) + " has no time");
        const double span = time - previous;
        previous = time;
        ++rows;
        for (size_t i = 1; i < row.size() && i < bandOf.size(); ++i) {
            if (bandOf[i] < 0 || row[i].empty()) continue;
            const double db = std::strtod(row[i].c_str(), &end);
            if (end == row[i].c_str() || !std::isfinite(db)) continue;
            power[size_t(bandOf[i])] += std::max(span, 0.0) * std::pow(10.0, db / 10.0);
            weight[size_t(bandOf[i])] += std::max(span, 0.0);
        }
    }
    if (rows == 0) throw UsageError(path + ": no rows of levels");
    std::array<double, kNumBands> curve;
    for (int j = 0; j < kNumBands; ++j)
        curve[size_t(j)] = weight[size_t(j)] > 0 ? 10.0 * std::log10(power[size_t(j)] / weight[size_t(j)])
                                                 : std::numeric_limits<double>::quiet_NaN();
    return curve;
}

}  // namespace lumetra
