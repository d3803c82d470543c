#include "tools/AnalyzeReport.h"

#include <charconv>
#include <cmath>

#include "tools/AnalyzeOptions.h"

namespace lumetra {

namespace {

std::string formatFixed(double value, int decimals) {
    char text[64];
    const auto end = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals).ptr;
    return std::string(text, end);
}

std::string csvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (const char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

// dB of a power average, with the engine's floor: 20 * log10(sqrt(power) + 1e-20).
float powerToDb(double power) { return levelToDb(float(std::sqrt(power))); }

}  // namespace

int FileResult::loudestBand() const {
    int loudest = 0;
    for (int j = 1; j < kNumBands; ++j)
        if (!bands[size_t(j)].aboveNyquist && bands[size_t(j)].maxDb > bands[size_t(loudest)].maxDb) loudest = j;
    return loudest;
}

void BandStats::add(const float* levels, int n) {
    for (size_t j = 0; j < kNumBands; ++j) {
        powerSum[j] += double(levels[j]) * double(levels[j]) * n;
        if (levels[j] > maxLevel[j]) maxLevel[j] = levels[j];
        lastLevel[j] = levels[j];
    }
    frames += n;
}

void BandStats::finish(FileResult& result) const {
    for (size_t j = 0; j < kNumBands; ++j) {
        BandSummary& band = result.bands[j];
        band.maxDb = levelToDb(maxLevel[j]);  // log is monotonic: the max of the block dB values
        band.avgDb = frames > 0 ? powerToDb(powerSum[j] / double(frames)) : levelToDb(0.0f);
        band.finalDb = levelToDb(lastLevel[j]);
        band.aboveNyquist = !measurable(band.centreHz, result.sampleRate);
        if (band.aboveNyquist) band.maxDb = band.avgDb = band.finalDb = std::nanf("");
    }
}

std::string formatFloat(float value) {
    if (!std::isfinite(value)) return "null";
    char text[32];
    return std::string(text, std::to_chars(text, text + sizeof text, value).ptr);
}

CsvWriter::CsvWriter(FILE* out, bool withFileColumn, const AnalyzeOptions* measured)
    : out(out), withFileColumn(withFileColumn), columns(measured && measured->standard() ? kLevelEntries : kNumBands) {
    line = withFileColumn ? "file,time_s" : "time_s";
    const std::string suffix = measured && measured->standard() ? " Hz " + levelName(*measured) + " " + levelUnit(*measured) : "";
    for (const double hz : kNominalHz) line += "," + formatFloat(float(hz)) + suffix;
    if (columns == kLevelEntries) line += ",total " + levelName(*measured) + " " + levelUnit(*measured);
    line += '\n';
    std::fputs(line.c_str(), out);
}

void CsvWriter::row(const std::string& file, double timeSec, const float* levelDb) {
    line.clear();
    if (withFileColumn) line += csvField(file) + ",";
    line += formatFixed(timeSec, 6);
    char text[32];
    for (int j = 0; j < columns; ++j) {
        text[0] = ',';
        const auto end = std::isfinite(levelDb[j]) ? std::to_chars(text + 1, text + sizeof text, levelDb[j]).ptr : text + 1;
        line.append(text, end);
    }
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), out);
}

std::string describeControls(const AnalyzeOptions& options) {
    return std::string("mode ") + options.mode + ", resp " + std::to_string(options.resp) + ", delay " +
           formatFixed(options.delayMs, options.delayMs == std::floor(options.delayMs) ? 0 : 1) + " ms, gain " +
           (options.gainDb >= 0 ? "+" : "") + formatFixed(options.gainDb, 1) + " dB";
}

std::string jsonString(const std::string& text) {
    std::string out = "\"";
    for (const unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += char(c);
        } else if (c < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", c);
            out += escape;
        } else {
            out += char(c);
        }
    }
    return out + "\"";
}

std::string jsonBandList(const FileResult& r, const std::string& separator) {
    std::string text = "[";
    for (int j = 0; j < kNumBands; ++j) {
        const BandSummary& b = r.bands[size_t(j)];
        text += j ? separator : separator.substr(1);
        text += "{\"band\": " + std::to_string(j);
        text += ", \"nominal_hz\": " + formatFloat(float(kNominalHz[j]));
        text += ", \"centre_hz\": " + formatFloat(b.centreHz);
        text += ", \"max_db\": " + formatFloat(b.maxDb);
        text += ", \"avg_db\": " + formatFloat(b.avgDb);
        text += ", \"final_db\": " + formatFloat(b.finalDb);
        text += b.aboveNyquist ? ", \"above_nyquist\": true}" : "}";
    }
    return text + "]";
}

namespace {

std::string jsonStats(const BandSummary& b) {
    std::string text = "\"leq_db\": " + formatFloat(b.stats.leq);
    text += ", \"lmax_db\": " + formatFloat(b.stats.lmax);
    text += ", \"lmin_db\": " + formatFloat(b.stats.lmin);
    text += ", \"l10_db\": " + formatFloat(b.stats.l10);
    text += ", \"l50_db\": " + formatFloat(b.stats.l50);
    text += ", \"l90_db\": " + formatFloat(b.stats.l90);
    if (!std::isnan(b.referenceDb)) {
        text += ", \"reference_db\": " + formatFloat(b.referenceDb);
        text += ", \"diff_db\": " + formatFloat(b.stats.leq - b.referenceDb);
    }
    return text;
}

}  // namespace

std::string jsonMeasuredBands(const FileResult& r, const std::string& separator) {
    std::string text = "\"bands\": [";
    for (int j = 0; j < kNumBands; ++j) {
        const BandSummary& b = r.bands[size_t(j)];
        text += j ? separator : separator.substr(1);
        text += "{\"band\": " + std::to_string(j);
        text += ", \"nominal_hz\": " + formatFloat(float(kNominalHz[j]));
        text += ", \"centre_hz\": " + formatFloat(b.centreHz);
        text += ", " + jsonStats(b);
        text += b.aboveNyquist ? ", \"above_nyquist\": true}" : "}";
    }
    return text + "]," + separator.substr(1) + "\"total\": {" + jsonStats(r.total) + "}";
}

std::string jsonMeasurement(const AnalyzeOptions& o) {
    std::string text = "\"filters\": \"standard\", \"weighting\": \"";
    text += weightingName(o.weighting);
    text += "\", \"time\": \"";
    text += o.timeWeighting == 'F' ? "fast" : o.timeWeighting == 'S' ? "slow" : "leq";
    text += "\", \"level\": " + jsonString(levelName(o));
    text += ", \"unit\": " + jsonString(o.calibrated ? "dB SPL re 20 uPa" : "dB re full scale");
    if (o.calibrated) text += ", \"offset_db\": " + formatFixed(o.offsetDb, 3);
    return text;
}

std::string describeMeasurement(const AnalyzeOptions& o) {
    std::string text = "standard bank, " + levelName(o) + ", " +
                       (o.calibrated ? "dB SPL (re 20 uPa)" : "dB re full scale (dBFS)");
    if (o.calibrated) text += ", calibration offset " + std::string(o.offsetDb >= 0 ? "+" : "") + formatFixed(o.offsetDb, 2) + " dB";
    return text;
}

void writeJson(FILE* out, const std::vector<FileResult>& results, const AnalyzeOptions& options) {
    std::string text = "[";
    for (size_t i = 0; i < results.size(); ++i) {
        const FileResult& r = results[i];
        text += i ? ",\n {" : "\n {";
        text += "\"file\": " + jsonString(r.name);
        if (!r.analysed) {
            text += ", \"error\": " + jsonString(r.error) + "}";
            continue;
        }
        text += ", \"format\": " + jsonString(r.format);
        text += ", \"sample_rate\": " + formatFixed(r.sampleRate, 0);
        text += ", \"channels\": " + std::to_string(r.channels);
        text += ", \"frames\": " + std::to_string(r.frames);
        text += ", \"duration_s\": " + formatFixed(r.durationSec(), 6);
        text += std::string(", \"mode\": \"") + options.mode + "\"";
        text += ", \"resp\": " + std::to_string(options.resp);
        text += ", \"delay_ms\": " + formatFloat(float(options.delayMs));
        text += ", \"gain_db\": " + formatFloat(float(options.gainDb));
        text += ", \"block\": " + std::to_string(options.blockFrames);
        if (!r.error.empty()) text += ", \"error\": " + jsonString(r.error);
        if (r.measured)
            text += ", " + jsonMeasurement(options) + ",\n  " + jsonMeasuredBands(r, ",\n   ");
        else
            text += ",\n  \"bands\": " + jsonBandList(r, ",\n   ");
        text += "}";
    }
    text += "\n]\n";
    std::fwrite(text.data(), 1, text.size(), out);
}

void writeSummaryTable(FILE* out, const FileResult& r, const AnalyzeOptions& options) {
    std::fprintf(out, "%s: %s, %.0f Hz, %d channel%s, %.3f s; %s\n", r.name.c_str(), r.format.c_str(),
                 r.sampleRate, r.channels, r.channels == 1 ? "" : "s", r.durationSec(),
                 describeControls(options).c_str());
    if (r.measured) {
        const std::string w = weightingName(options.weighting);
        const bool reference = !options.referencePath.empty();
        const char* time = options.timeWeighting == 'F'   ? "time weighting F (125 ms)"
                           : options.timeWeighting == 'S' ? "time weighting S (1 s)"
                                                          : "10 ms energy means";
        std::fprintf(out, "%s\n", describeMeasurement(options).c_str());
        std::fprintf(out, "L%seq over the input; Lmax, Lmin and Ln of the %s; all in %s\n", w.c_str(), time,
                     levelUnit(options).c_str());
        std::fprintf(out, "band  nominal Hz  centre Hz     L%seq     Lmax     Lmin      L10      L50      L90%s\n", w.c_str(),
                     reference ? "      ref     diff" : "");
        auto row = [&](const char* head, const BandSummary& b) {
            const LevelStatistics& st = b.stats;
            std::fprintf(out, "%s  %8.2f %8.2f %8.2f %8.2f %8.2f %8.2f", head, double(st.leq), double(st.lmax),
                         double(st.lmin), double(st.l10), double(st.l50), double(st.l90));
            if (reference && !std::isnan(b.referenceDb))
                std::fprintf(out, " %8.2f %+8.2f", double(b.referenceDb), double(st.leq - b.referenceDb));
            std::fputc('\n', out);
        };
        char head[64];
        for (int j = 0; j < kNumBands; ++j) {
            const BandSummary& b = r.bands[size_t(j)];
            std::snprintf(head, sizeof head, "%4d  %10s  %9.2f", j, kNominalLabel[j], double(b.centreHz));
            if (b.aboveNyquist)
                std::fprintf(out, "%s       n/a  (above 0.45 of the sample rate)\n", head);
            else
                row(head, b);
        }
        row("total (broadband)          ", r.total);
        return;
    }
    std::fprintf(out, "band  nominal Hz  centre Hz   max dB   avg dB\n");
    for (int j = 0; j < kNumBands; ++j) {
        const BandSummary& b = r.bands[size_t(j)];
        if (b.aboveNyquist)
            std::fprintf(out, "%4d  %10s  %9.2f      n/a      n/a  (above half the sample rate)\n", j,
                         kNominalLabel[j], double(b.centreHz));
        else
            std::fprintf(out, "%4d  %10s  %9.2f  %7.2f  %7.2f\n", j, kNominalLabel[j], double(b.centreHz),
                         double(b.maxDb), double(b.avgDb));
    }
}

void writeSummaryLine(FILE* out, const FileResult& r) {
    if (r.measured) {
        std::fprintf(out, "%s: %.0f Hz, %d ch, %.3f s, %s: total Leq %.2f, Lmax %.2f, L90 %.2f\n", r.name.c_str(),
                     r.sampleRate, r.channels, r.durationSec(), r.levelLabel.c_str(), double(r.total.stats.leq),
                     double(r.total.stats.lmax), double(r.total.stats.l90));
        return;
    }
    const int loudest = r.loudestBand();
    std::fprintf(out, "%s: %.0f Hz, %d ch, %.3f s, loudest band %s Hz: max %.2f dB, avg %.2f dB\n", r.name.c_str(),
                 r.sampleRate, r.channels, r.durationSec(), kNominalLabel[loudest],
                 double(r.bands[size_t(loudest)].maxDb), double(r.bands[size_t(loudest)].avgDb));
}

}  // namespace lumetra
