#include "tools/BandChart.h"

#include <cairo.h>
#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <numbers>
#include <string>

#include "tools/AnalyzeError.h"
#include "tools/AnalyzeOptions.h"

namespace lumetra {

namespace {

constexpr double kLeft = 70, kRight = 20, kTop = 64, kBottom = 56;  // plot margins, pixels
constexpr double kRangeDb = 80;                                   // height of the level axis

void text(cairo_t* cr, double x, double y, const std::string& s, double size, double align = 0.0) {
    cairo_set_font_size(cr, size);
    cairo_text_extents_t e;
    cairo_text_extents(cr, s.c_str(), &e);
    cairo_move_to(cr, x - align * e.x_advance, y);
    cairo_show_text(cr, s.c_str());
}

void drawPanel(cairo_t* cr, const FileResult& r, const AnalyzeOptions& options, double y0) {
    const double plotW = kPanelWidth - kLeft - kRight, plotH = kPanelHeight - kTop - kBottom;
    const double plotX = kLeft, plotY = y0 + kTop;
    float loudest = -400;
    for (const BandSummary& b : r.bands)
        if (!b.aboveNyquist) loudest = std::max(loudest, b.maxDb);
    const double topDb = std::clamp(std::ceil(double(loudest) / 10.0) * 10.0, -60.0, options.calibrated ? 200.0 : 40.0);
    const double bottomDb = topDb - kRangeDb;
    auto yOf = [&](double db) { return plotY + plotH * (topDb - std::clamp(db, bottomDb, topDb)) / kRangeDb; };

    cairo_set_source_rgb(cr, 0.1, 0.1, 0.1);
    char line[512];
    std::snprintf(line, sizeof line, "%s", r.name.c_str());
    text(cr, kLeft, y0 + 24, line, 16);
    std::snprintf(line, sizeof line, "%s, %.0f Hz, %d ch, %.3f s; %s", r.format.c_str(), r.sampleRate, r.channels,
                  r.durationSec(), describeControls(options).c_str());
    text(cr, kLeft, y0 + 44, line, 12);

    // Level grid every 10 dB.
    cairo_set_line_width(cr, 1.0);
    for (double db = bottomDb; db <= topDb + 0.5; db += 10) {
        const double y = std::round(yOf(db)) + 0.5;
        cairo_set_source_rgb(cr, 0.85, 0.85, 0.85);
        cairo_move_to(cr, plotX, y);
        cairo_line_to(cr, plotX + plotW, y);
        cairo_stroke(cr);
        cairo_set_source_rgb(cr, 0.2, 0.2, 0.2);
        std::snprintf(line, sizeof line, "%+.0f", db);
        text(cr, plotX - 8, y + 4, line, 11, 1.0);
    }
    cairo_save(cr);
    cairo_move_to(cr, 18, plotY + plotH / 2 + 30);
    cairo_rotate(cr, -std::numbers::pi / 2);
    cairo_set_font_size(cr, 12);
    const std::string axis = r.measured ? levelName(options) + ", " + levelUnit(options) : "level, dB re full scale";
    cairo_show_text(cr, axis.c_str());
    cairo_restore(cr);

    const double slot = plotW / kNumBands;
    for (int j = 0; j < kNumBands; ++j) {
        const BandSummary& b = r.bands[size_t(j)];
        const double x = plotX + j * slot;
        cairo_set_source_rgb(cr, 0.2, 0.2, 0.2);
        text(cr, x + slot / 2, plotY + plotH + 16 + (j % 2) * 14, kNominalLabel[j], 11, 0.5);
        if (b.aboveNyquist) {  // not measurable at this rate
            text(cr, x + slot / 2, plotY + plotH - 8, "n/a", 10, 0.5);
            continue;
        }
        cairo_set_source_rgb(cr, 0.96, 0.62, 0.58);  // maximum: pale, wide
        const double yMax = yOf(b.maxDb);
        cairo_rectangle(cr, x + slot * 0.12, yMax, slot * 0.76, plotY + plotH - yMax);
        cairo_fill(cr);
        cairo_set_source_rgb(cr, 0.70, 0.08, 0.08);  // average: dark, narrow
        const double yAvg = yOf(b.avgDb);
        cairo_rectangle(cr, x + slot * 0.27, yAvg, slot * 0.46, plotY + plotH - yAvg);
        cairo_fill(cr);
    }
    cairo_set_source_rgb(cr, 0.3, 0.3, 0.3);
    cairo_rectangle(cr, plotX + 0.5, plotY + 0.5, plotW - 1, plotH - 1);
    cairo_stroke(cr);
    text(cr, plotX + plotW / 2, y0 + kPanelHeight - 8, "one-third-octave band, Hz", 12, 0.5);

    // Legend, top right.
    const double lx = plotX + plotW - 190, ly = y0 + 16;
    cairo_set_source_rgb(cr, 0.96, 0.62, 0.58);
    cairo_rectangle(cr, lx, ly, 14, 14);
    cairo_fill(cr);
    cairo_set_source_rgb(cr, 0.70, 0.08, 0.08);
    cairo_rectangle(cr, lx + 90, ly, 14, 14);
    cairo_fill(cr);
    cairo_set_source_rgb(cr, 0.1, 0.1, 0.1);
    text(cr, lx + 20, ly + 12, r.measured ? "Lmax" : "maximum", 12);
    text(cr, lx + 110, ly + 12, r.measured ? "Leq" : "average", 12);
}

cairo_status_t writeToFile(void* closure, const unsigned char* data, unsigned int length) {
    return std::fwrite(data, 1, length, static_cast<FILE*>(closure)) == length ? CAIRO_STATUS_SUCCESS
                                                                                : CAIRO_STATUS_WRITE_ERROR;
}

}  // namespace

void writeBandChart(FILE* out, const std::vector<FileResult>& results, const AnalyzeOptions& options) {
    int panels = 0;
    for (const FileResult& r : results) panels += r.analysed;
    const int height = kPanelHeight * std::max(panels, 1);
    std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)> surface(
        cairo_image_surface_create(CAIRO_FORMAT_RGB24, kPanelWidth, height), cairo_surface_destroy);
    std::unique_ptr<cairo_t, decltype(&cairo_destroy)> cr(cairo_create(surface.get()), cairo_destroy);
    cairo_set_source_rgb(cr.get(), 1, 1, 1);
    cairo_paint(cr.get());
    cairo_select_font_face(cr.get(), "Liberation Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    int index = 0;
    for (const FileResult& r : results)
        if (r.analysed) drawPanel(cr.get(), r, options, double(kPanelHeight * index++));
    if (panels == 0) text(cr.get(), 40, 60, "no input could be analysed", 16);
    cairo_surface_flush(surface.get());
    if (cairo_status(cr.get()) != CAIRO_STATUS_SUCCESS ||
        cairo_surface_write_to_png_stream(surface.get(), writeToFile, out) != CAIRO_STATUS_SUCCESS)
        throw AnalysisError("cannot make the PNG picture");
}

void releaseFontCaches() {
    cairo_debug_reset_static_data();
    FcFini();
}

}  // namespace lumetra
