#include "tools/Conformance.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <numbers>

#include "engine/BandBank.h"
#include "engine/FilteredDetector.h"
#include "engine/MeasurementBank.h"
#include "tools/AnalyzeError.h"

namespace lumetra {

namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();
constexpr double kOctaveRatio = 1.9952623149688795;  // G = 10^(3/10)
constexpr int kThirds = 3;                           // bands per octave

// The limits, given for octave bands at G^x, x below; one-third-octave breakpoints come from
// them by 1 + (G^(1/6) - 1) / (G^(1/2) - 1) x (G^x - 1).
struct Breakpoint {
    double x;
    double class1, class2;
};
// Pass band: the most attenuation allowed (the least is -0.4 dB in class 1, -0.6 dB in class 2).
constexpr Breakpoint kPassBand[] = {{0.0, 0.4, 0.6}, {0.125, 0.5, 0.7}, {0.25, 0.7, 0.9}, {0.375, 1.4, 1.7}, {0.5, 5.3, 5.8}};
constexpr double kPassBandLeast[2] = {-0.4, -0.6};
// Stop band: the least attenuation required (no most); beyond the last breakpoint it stays.
constexpr Breakpoint kStopBand[] = {{0.5, 1.2, 0.8}, {1.0, 16.6, 15.6}, {2.0, 40.5, 39.5}, {3.0, 60.0, 54.0}, {4.0, 70.0, 60.0}};

double thirdOctaveOmega(double x) {
    const double scale = (std::pow(kOctaveRatio, 1.0 / (2.0 * kThirds)) - 1.0) / (std::pow(kOctaveRatio, 0.5) - 1.0);
    return 1.0 + scale * (std::pow(kOctaveRatio, x) - 1.0);
}

// Linear in lg(omega) between neighbouring breakpoints.
template <size_t N>
double interpolate(const Breakpoint (&table)[N], int cls, double omega) {
    auto value = [&](const Breakpoint& b) { return cls == 0 ? b.class1 : b.class2; };
    if (omega <= thirdOctaveOmega(table[0].x)) return value(table[0]);
    for (size_t i = 1; i < N; ++i) {
        const double lo = thirdOctaveOmega(table[i - 1].x), hi = thirdOctaveOmega(table[i].x);
        if (omega <= hi) {
            const double t = std::log(omega / lo) / std::log(hi / lo);
            return value(table[i - 1]) + t * (value(table[i]) - value(table[i - 1]));
        }
    }
    return value(table[N - 1]);
}

// A band's filters as built, fed one block at a time; output samples at the band's own rate.
class BandUnderTest {
public:
    BandUnderTest(FilterBank bank, int band, double rateHz) : kind(bank), band(band) {
        if (kind == FilterBank::Standard) {
            standard = std::make_unique<MeasurementBank>(rateHz, Weighting::Z, 0.0);
            outputRate = standard->bandRateHz(band);
            centre = MeasurementBank::centreHz(band);
            bandwidth = centre * 0.2316;
        } else {
            // The plug-in's sections exactly as its bank designs them.
            detector.setup(1.0f, 1.0f, float(rateHz), bandCentreHz(band), 4);
            outputRate = rateHz;
            centre = bandCentreHz(band);
            bandwidth = centre / 2.35;  // about the sections' Q
        }
    }
    bool measurable() const { return outputRate > 0; }
    double centreHz() const { return centre; }

    // The steady mean square of the band's output for a unit sine at hz: settled, then Hann-
    // weighted over many periods of the signal and of the band's own ringing.
    double meanSquare(double hz, double rateHz) {
        const double settleSec = 0.05 + 7.0 / bandwidth;
        const double measureSec = std::max({0.2, 12.0 / hz, 12.0 / bandwidth});
        const auto total = int64_t(std::ceil((settleSec + measureSec) * rateHz));
        const auto skip = int64_t(settleSec * outputRate);
        std::vector<float> block(4096), out;
        out.reserve(size_t(double(total) * outputRate / rateHz) + 16);
        if (standard) {
            standard = std::make_unique<MeasurementBank>(rateHz, Weighting::Z, 0.0);
            standard->reserve(int(block.size()));
            standard->capture(band, &out);
        } else {
            for (CFxRbjFilter& s : detector.sections) s.x1 = s.x2 = s.y1 = s.y2 = 0.0f;
        }
        // The sine by rotation, in double: a sine call per sample would cost as much as the bank.
        const double step = 2.0 * std::numbers::pi * hz / rateHz;
        const double c = std::cos(step), sn = std::sin(step);
        double re = 1.0, im = 0.0;  // e^(j step t)
        for (int64_t done = 0; done < total;) {
            const int n = int(std::min<int64_t>(int64_t(block.size()), total - done));
            for (int i = 0; i < n; ++i) {
                block[size_t(i)] = float(im);
                const double next = re * c - im * sn;
                im = re * sn + im * c;
                re = next;
            }
            if (standard) {
                standard->process(block.data(), n);
            } else {
                for (CFxRbjFilter& s : detector.sections) s.process(block.data(), n);
                out.insert(out.end(), block.begin(), block.begin() + n);
            }
            done += n;
        }
        const int64_t count = int64_t(out.size()) - skip;
        double weighted = 0, weights = 0;
        const double turn = 2.0 * std::numbers::pi / double(count);
        const double wc = std::cos(turn), ws = std::sin(turn);
        double cosine = std::cos(0.5 * turn), sine = std::sin(0.5 * turn);  // of (i + 1/2) turn, by rotation
        for (int64_t i = 0; i < count; ++i) {
            const double w = 0.5 - 0.5 * cosine;
            const double y = out[size_t(skip + i)];
            weighted += w * y * y;
            weights += w;
            const double next = cosine * wc - sine * ws;
            sine = cosine * ws + sine * wc;
            cosine = next;
        }
        return weights > 0 ? weighted / weights : 0.0;
    }

private:
    FilterBank kind;
    int band;
    std::unique_ptr<MeasurementBank> standard;
    FilteredDetector detector;
    double outputRate = 0, centre = 0, bandwidth = 1;
};

}  // namespace

const char* filterBankName(FilterBank bank) { return bank == FilterBank::Plugin ? "plugin" : "standard"; }

FilterBank parseFilterBank(const std::string& text) {
    if (text == "plugin") return FilterBank::Plugin;
    if (text == "standard") return FilterBank::Standard;
    throw UsageError("--filters: '" + text + "' is not one of plugin, standard");
}

AttenuationLimits attenuationLimits(double omega) {
    const double above = omega < 1.0 ? 1.0 / omega : omega;  // the limits are the same on both sides
    const double edge = thirdOctaveOmega(0.5);
    AttenuationLimits limits{};
    for (int cls = 0; cls < 2; ++cls) {
        const bool pass = above <= edge * (1 + 1e-12), stop = above >= edge * (1 - 1e-12);
        limits.least[size_t(cls)] = std::max(pass ? kPassBandLeast[cls] : -kInfinity, stop ? interpolate(kStopBand, cls, above) : -kInfinity);
        limits.most[size_t(cls)] = pass ? interpolate(kPassBand, cls, above) : kInfinity;
    }
    return limits;
}

std::vector<double> conformanceFrequencies() {
    std::vector<double> above;
    for (const Breakpoint& b : kPassBand) above.push_back(thirdOctaveOmega(b.x));
    for (const Breakpoint& b : kStopBand)
        if (b.x > 0.5) above.push_back(thirdOctaveOmega(b.x));
    const size_t breakpoints = above.size();
    for (size_t i = 1; i < breakpoints; ++i) above.push_back(std::sqrt(above[i - 1] * above[i]));
    std::sort(above.begin(), above.end());
    std::vector<double> all;
    for (auto it = above.rbegin(); it != above.rend(); ++it)
        if (*it > 1.0) all.push_back(1.0 / *it);
    all.insert(all.end(), above.begin(), above.end());
    return all;
}

std::vector<BandConformance> measureConformance(FilterBank bank, double rateHz) {
    const std::vector<double> omegas = conformanceFrequencies();
    std::vector<BandConformance> result;
    for (int j = 0; j < kNumBands; ++j) {
        BandUnderTest under(bank, j, rateHz);
        BandConformance& c = result.emplace_back();
        c.band = j;
        c.centreHz = under.centreHz();
        // The plug-in's bank runs every band; one whose centre is past 0.45 of the rate is not a
        // measurement either way.
        c.measurable = under.measurable() && c.centreHz <= 0.45 * rateHz;
        if (!c.measurable) continue;
        const double reference = under.meanSquare(c.centreHz, rateHz);
        c.marginDb = {kInfinity, kInfinity};
        for (const double omega : omegas) {
            const double hz = omega * c.centreHz;
            if (hz >= 0.5 * rateHz) continue;
            const double ms = under.meanSquare(hz, rateHz);
            const double attenuation = 10.0 * std::log10(reference / std::max(ms, 1e-30));
            c.response.push_back({omega, attenuation});
            const AttenuationLimits limits = attenuationLimits(omega);
            for (size_t cls = 0; cls < 2; ++cls) {
                const double margin = std::min(attenuation - limits.least[cls], limits.most[cls] - attenuation);
                if (margin < c.marginDb[cls]) {
                    c.marginDb[cls] = margin;
                    c.worstOmega[cls] = omega;
                }
            }
        }
    }
    return result;
}

namespace {

constexpr int kColumns = 8, kPanelW = 300, kPanelH = 220, kHeaderH = 60;
constexpr double kTopDb = 5, kBottomDb = -80;

void label(cairo_t* cr, double x, double y, const std::string& s, double size, double align = 0.0) {
    cairo_set_font_size(cr, size);
    cairo_text_extents_t e;
    cairo_text_extents(cr, s.c_str(), &e);
    cairo_move_to(cr, x - align * e.x_advance, y);
    cairo_show_text(cr, s.c_str());
}

cairo_status_t writeToFile(void* closure, const unsigned char* data, unsigned int length) {
    return std::fwrite(data, 1, length, static_cast<FILE*>(closure)) == length ? CAIRO_STATUS_SUCCESS
                                                                                : CAIRO_STATUS_WRITE_ERROR;
}

// One band: the class 2 mask (pale) and class 1 mask (darker) as the area the response may take,
// the measured response over it, in relative response (minus the relative attenuation).
void drawBand(cairo_t* cr, const BandConformance& c, double x0, double y0) {
    const double left = x0 + 34, top = y0 + 26, w = kPanelW - 44, h = kPanelH - 46;
    const double lo = std::log(1.0 / 6.5), hi = std::log(6.5);
    auto xOf = [&](double omega) { return left + w * (std::log(omega) - lo) / (hi - lo); };
    auto yOf = [&](double db) { return top + h * (kTopDb - std::clamp(db, kBottomDb, kTopDb)) / (kTopDb - kBottomDb); };
    for (int cls = 1; cls >= 0; --cls) {
        // Upper edge of the allowed area: minus the least attenuation; lower: minus the most.
        cls == 1 ? cairo_set_source_rgb(cr, 0.86, 0.93, 0.86) : cairo_set_source_rgb(cr, 0.70, 0.85, 0.70);
        constexpr int kSteps = 600;  // one thin strip per step, from the least to the most attenuation
        for (int i = 0; i < kSteps; ++i) {
            const double omega = std::exp(lo + (hi - lo) * (i + 0.5) / kSteps);
            const AttenuationLimits limits = attenuationLimits(omega);
            const double most = std::isfinite(limits.most[size_t(cls)]) ? limits.most[size_t(cls)] : -kBottomDb;
            const double x = left + w * i / kSteps, yTop = yOf(-limits.least[size_t(cls)]), yBottom = yOf(-most);
            cairo_rectangle(cr, x, yTop, w / kSteps + 0.5, yBottom - yTop);
        }
        cairo_fill(cr);
    }
    cairo_set_line_width(cr, 1.5);
    c.classMet() == 1 ? cairo_set_source_rgb(cr, 0.1, 0.2, 0.7) : cairo_set_source_rgb(cr, 0.8, 0.1, 0.1);
    for (size_t i = 0; i < c.response.size(); ++i) {
        const double x = xOf(c.response[i].omega), y = yOf(-c.response[i].attenuationDb);
        i == 0 ? cairo_move_to(cr, x, y) : cairo_line_to(cr, x, y);
    }
    cairo_stroke(cr);
    for (const ResponsePoint& p : c.response) {
        cairo_arc(cr, xOf(p.omega), yOf(-p.attenuationDb), 2.0, 0, 2 * std::numbers::pi);
        cairo_fill(cr);
    }
    cairo_set_source_rgb(cr, 0.3, 0.3, 0.3);
    cairo_set_line_width(cr, 1.0);
    cairo_rectangle(cr, left + 0.5, top + 0.5, w - 1, h - 1);
    cairo_stroke(cr);
    char text[128];
    std::snprintf(text, sizeof text, "%s Hz: %s (%+.2f / %+.2f dB)", kNominalLabel[c.band],
                  c.classMet() == 1 ? "class 1" : c.classMet() == 2 ? "class 2" : "fails", c.marginDb[0], c.marginDb[1]);
    cairo_set_source_rgb(cr, 0.1, 0.1, 0.1);
    label(cr, left, y0 + 18, text, 12);
    for (const double db : {0.0, -20.0, -40.0, -60.0, -80.0}) label(cr, left - 4, yOf(db) + 4, std::to_string(int(db)), 9, 1.0);
    label(cr, xOf(1.0), top + h + 12, "fm", 9, 0.5);
    label(cr, xOf(1 / 5.0), top + h + 12, "fm/5", 9, 0.5);
    label(cr, xOf(5.0), top + h + 12, "5 fm", 9, 0.5);
}

}  // namespace

void writeConformanceChart(FILE* out, const std::vector<BandConformance>& bands, FilterBank bank, double rateHz) {
    int panels = 0;
    for (const BandConformance& c : bands) panels += c.measurable;
    const int rows = std::max(1, (panels + kColumns - 1) / kColumns);
    const int width = kColumns * kPanelW, height = kHeaderH + rows * kPanelH;
    std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)> surface(
        cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height), cairo_surface_destroy);
    std::unique_ptr<cairo_t, decltype(&cairo_destroy)> cr(cairo_create(surface.get()), cairo_destroy);
    cairo_set_source_rgb(cr.get(), 1, 1, 1);
    cairo_paint(cr.get());
    cairo_select_font_face(cr.get(), "Liberation Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    char title[256];
    std::snprintf(title, sizeof title,
                  "%s bank at %.0f Hz: relative response of each band (line) over the one-third-octave limits, "
                  "class 1 (dark) and class 2 (pale); worst margins class 1 / class 2",
                  bank == FilterBank::Plugin ? "Plug-in" : "Standard", rateHz);
    cairo_set_source_rgb(cr.get(), 0.1, 0.1, 0.1);
    label(cr.get(), 16, 36, title, 16);
    int index = 0;
    for (const BandConformance& c : bands) {
        if (!c.measurable) continue;
        drawBand(cr.get(), c, double(index % kColumns * kPanelW), double(kHeaderH + index / kColumns * kPanelH));
        ++index;
    }
    cairo_surface_flush(surface.get());
    if (cairo_status(cr.get()) != CAIRO_STATUS_SUCCESS ||
        cairo_surface_write_to_png_stream(surface.get(), writeToFile, out) != CAIRO_STATUS_SUCCESS)
        throw AnalysisError("cannot make the PNG picture");
}

}  // namespace lumetra
