// Draws the editor's six images (resource numbers 128 to 133) as PNG files.
//   lumetra_artwork OUTDIR            writes OUTDIR/128.png ... OUTDIR/133.png
//   lumetra_artwork --preview FILE    writes the panel with every control placed at its rectangle
// The output is the same bytes on every run: no clock, no random numbers, fixed font options.
// The editor's layout is computed from these image sizes, so keep them when changing the drawing.
#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <tuple>

namespace {

constexpr int kPanelWidth = 900;
constexpr int kPanelHeight = 277;
constexpr int kTrackWidth = 16, kTrackHeight = 70;
constexpr int kHandleWidth = 14, kHandleHeight = 12;
constexpr int kMeterWidth = 11, kMeterHeight = 152;
constexpr int kSwitchWidth = 24, kSwitchFrameHeight = 16, kSwitchFrames = 3;
constexpr int kLedCount = 16;

// Where the editor puts things (frame pixels).
constexpr int kWindowLeft = 70, kWindowTop = 51, kWindowRight = 830, kWindowBottom = 207;
constexpr int kMeterTop = 54;
constexpr int kModeSwitchLeft = 769, kRespSwitchLeft = 816, kSwitchTop = 13;
constexpr int kSliderLeft = 871, kDelaySliderTop = 60, kVolumeSliderTop = 160;
constexpr int kBands = 32;

// Meter rows crossed by the grid: the same rows in both meter images and, shifted by kMeterTop,
// in the display window of the panel. Inclusive ranges.
constexpr int kGridRows[][2] = {{41, 42}, {79, 81}, {118, 119}};

const char* const kBandLabels[kBands] = {
    "16",  "20",  "25",  "31.5", "40",  "50",  "63",   "80",  "100", "125", "160",
    "200", "250", "315", "400",  "500", "630", "800",  "1K",  "1K25", "1K6", "2K",
    "2K5", "3K15", "4K", "5K",   "6K3", "8K",  "10K",  "12K5", "16K", "20K"};

const char* const kFont = "Liberation Sans";

struct Rgb {
    double r, g, b;
};
constexpr Rgb rgb(int r, int g, int b) { return {r / 255.0, g / 255.0, b / 255.0}; }

constexpr Rgb kFace = rgb(226, 217, 210);
constexpr Rgb kWindowRed = rgb(58, 8, 8);      // display window and dark LEDs
constexpr Rgb kLedGap = rgb(40, 4, 4);         // between lit segments
constexpr Rgb kLedLit = rgb(255, 40, 30);
constexpr Rgb kLedLitEdge = rgb(200, 20, 15);
constexpr Rgb kGridLine = rgb(104, 44, 40);    // pale against the dark red
constexpr Rgb kInk = rgb(40, 36, 34);
constexpr Rgb kCaptionRed = rgb(190, 20, 20);

void setColour(cairo_t* cr, Rgb c) { cairo_set_source_rgb(cr, c.r, c.g, c.b); }

void fillRect(cairo_t* cr, double x, double y, double w, double h, Rgb c) {
    setColour(cr, c);
    cairo_rectangle(cr, x, y, w, h);
    cairo_fill(cr);
}

// Column i's left edge inside the display window: i x 24.15 in double, truncated.
int columnOffset(int band) { return static_cast<int>(band * 24.15); }

// Fixed font options, so the glyphs do not depend on the desktop's settings.
void useFont(cairo_t* cr, double size, bool bold) {
    cairo_select_font_face(cr, kFont, CAIRO_FONT_SLANT_NORMAL,
                           bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, size);
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
    cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
    cairo_set_font_options(cr, options);
    cairo_font_options_destroy(options);
}

enum class Align { kLeft, kCentre, kRight };

// Text with its baseline at y; x is the left edge, the centre or the right edge.
void text(cairo_t* cr, const char* s, double x, double y, Align align) {
    cairo_text_extents_t extents;
    cairo_text_extents(cr, s, &extents);
    double left = x;
    if (align == Align::kCentre) left = x - extents.x_advance / 2.0;
    if (align == Align::kRight) left = x - extents.x_advance;
    cairo_move_to(cr, left, y);
    cairo_show_text(cr, s);
}

void drawGrid(cairo_t* cr, double left, double width, int rowOffset) {
    for (const auto& rows : kGridRows)
        fillRect(cr, left, rows[0] + rowOffset, width, rows[1] - rows[0] + 1, kGridLine);
}

void drawScrew(cairo_t* cr, double cx, double cy) {
    cairo_pattern_t* head = cairo_pattern_create_radial(cx - 1.5, cy - 1.5, 0.5, cx, cy, 5.5);
    cairo_pattern_add_color_stop_rgb(head, 0.0, 0.96, 0.95, 0.93);
    cairo_pattern_add_color_stop_rgb(head, 1.0, 0.55, 0.53, 0.51);
    cairo_arc(cr, cx, cy, 5.5, 0, 2 * M_PI);
    cairo_set_source(cr, head);
    cairo_fill_preserve(cr);
    cairo_pattern_destroy(head);
    cairo_set_source_rgb(cr, 0.35, 0.33, 0.32);
    cairo_set_line_width(cr, 0.8);
    cairo_stroke(cr);
    // A cross slot turned a little, as screws are.
    cairo_set_line_width(cr, 1.4);
    cairo_set_source_rgb(cr, 0.30, 0.28, 0.27);
    const double a = 0.35, r = 3.8;
    for (int k = 0; k < 2; ++k) {
        const double angle = a + k * M_PI / 2;
        cairo_move_to(cr, cx - r * std::cos(angle), cy - r * std::sin(angle));
        cairo_line_to(cr, cx + r * std::cos(angle), cy + r * std::sin(angle));
    }
    cairo_stroke(cr);
}

void drawBackground(cairo_t* cr) {
    fillRect(cr, 0, 0, kPanelWidth, kPanelHeight, kFace);
    // A faint bevel round the panel's edge.
    cairo_set_line_width(cr, 1.0);
    cairo_set_source_rgb(cr, 0.97, 0.95, 0.93);
    cairo_move_to(cr, 0.5, kPanelHeight - 0.5);
    cairo_line_to(cr, 0.5, 0.5);
    cairo_line_to(cr, kPanelWidth - 0.5, 0.5);
    cairo_stroke(cr);
    cairo_set_source_rgb(cr, 0.62, 0.58, 0.55);
    cairo_move_to(cr, kPanelWidth - 0.5, 0.5);
    cairo_line_to(cr, kPanelWidth - 0.5, kPanelHeight - 0.5);
    cairo_line_to(cr, 0.5, kPanelHeight - 0.5);
    cairo_stroke(cr);

    for (double x : {11.0, kPanelWidth - 11.0})
        for (double y : {11.0, kPanelHeight - 11.0}) drawScrew(cr, x, y);

    // Title and caption.
    setColour(cr, kInk);
    useFont(cr, 22, true);
    text(cr, "Lumetra", 70, 36, Align::kLeft);
    cairo_text_extents_t title;
    cairo_text_extents(cr, "Lumetra", &title);
    setColour(cr, kCaptionRed);
    useFont(cr, 10, false);
    text(cr, "1/3 octave spectrum analyzer", 70 + title.x_advance + 10, 36, Align::kLeft);

    // Switch labels: the name over the slot, the three positions under its thirds.
    for (auto [left, name, positions] :
         {std::tuple{kModeSwitchLeft, "MODE", "LMR"}, std::tuple{kRespSwitchLeft, "RESP", "123"}}) {
        const double centre = left + kSwitchWidth / 2.0;
        setColour(cr, kInk);
        useFont(cr, 8, true);
        text(cr, name, centre, 10, Align::kCentre);
        useFont(cr, 7.5, false);
        for (int k = 0; k < 3; ++k) {
            const char position[2] = {positions[k], 0};
            text(cr, position, left + kSwitchWidth * (2 * k + 1) / 6.0, 38, Align::kCentre);
        }
        // A thin recess round the slot, outside the switch's own rectangle.
        cairo_set_line_width(cr, 1.0);
        cairo_set_source_rgb(cr, 0.55, 0.52, 0.50);
        cairo_rectangle(cr, left - 1.5, kSwitchTop - 1.5, kSwitchWidth + 3, kSwitchFrameHeight + 3);
        cairo_stroke(cr);
    }

    // Display window in its bezel.
    fillRect(cr, kWindowLeft - 4, kWindowTop - 4, kWindowRight - kWindowLeft + 8,
             kWindowBottom - kWindowTop + 8, rgb(12, 10, 10));
    cairo_set_line_width(cr, 1.0);
    cairo_set_source_rgb(cr, 0.55, 0.52, 0.50);
    cairo_rectangle(cr, kWindowLeft - 4.5, kWindowTop - 4.5, kWindowRight - kWindowLeft + 9,
                    kWindowBottom - kWindowTop + 9);
    cairo_stroke(cr);
    fillRect(cr, kWindowLeft, kWindowTop, kWindowRight - kWindowLeft, kWindowBottom - kWindowTop,
             kWindowRed);
    drawGrid(cr, kWindowLeft, kWindowRight - kWindowLeft, kMeterTop);

    // Level scale: -10 dB at the top of the meter columns, -40 dB at their bottom, linear between.
    setColour(cr, kInk);
    useFont(cr, 8, false);
    for (int level : {-10, -18, -26, -34, -40}) {
        const double y = kMeterTop + (-10.0 - level) / 30.0 * kMeterHeight;
        const std::string label = std::to_string(level);
        // Digits centred on their level; the extremes kept within the window's height.
        const double baseline = std::clamp(y + 3.0, kMeterTop + 6.0, kMeterTop + kMeterHeight + 0.0);
        text(cr, label.c_str(), kWindowLeft - 10, baseline, Align::kRight);
        cairo_set_line_width(cr, 1.0);
        cairo_move_to(cr, kWindowLeft - 8, std::round(y) + 0.5);
        cairo_line_to(cr, kWindowLeft - 5, std::round(y) + 0.5);
        cairo_stroke(cr);
    }
    cairo_save(cr);
    useFont(cr, 9, true);
    cairo_translate(cr, 30, (kWindowTop + kWindowBottom) / 2.0);
    cairo_rotate(cr, -M_PI / 2);
    text(cr, "LEVEL dB", 0, 0, Align::kCentre);
    cairo_restore(cr);

    // Band labels, alternately on two rows, centred under their columns.
    useFont(cr, 8, false);
    setColour(cr, kInk);
    for (int band = 0; band < kBands; ++band) {
        const double centre = kWindowLeft + columnOffset(band) + kMeterWidth / 2.0;
        text(cr, kBandLabels[band], centre, band % 2 == 0 ? 222 : 233, Align::kCentre);
    }
    useFont(cr, 7.5, true);
    text(cr, "Hz", kWindowLeft - 10, 228, Align::kRight);

    // Slider names under the slider places; the readouts above the sliders stay clear.
    const double sliderCentre = kSliderLeft + kTrackWidth / 2.0;
    useFont(cr, 8, true);
    text(cr, "DELAY", sliderCentre, kDelaySliderTop + kTrackHeight + 12, Align::kCentre);
    text(cr, "GAIN", sliderCentre, kVolumeSliderTop + kTrackHeight + 12, Align::kCentre);
}

void drawTrack(cairo_t* cr) {
    fillRect(cr, 0, 0, kTrackWidth, kTrackHeight, rgb(214, 206, 199));
    fillRect(cr, 0, 0, kTrackWidth, 1, rgb(240, 235, 230));
    fillRect(cr, 0, kTrackHeight - 1, kTrackWidth, 1, rgb(170, 163, 157));
    // Tick marks every tenth of the travel, either side of the groove.
    for (int k = 0; k <= 10; ++k) {
        const int y = 6 + (58 * k + 5) / 10;
        const Rgb tick = k == 5 ? rgb(110, 104, 100) : rgb(160, 152, 146);
        fillRect(cr, 2, y, 3, 1, tick);
        fillRect(cr, kTrackWidth - 5, y, 3, 1, tick);
    }
    fillRect(cr, 6, 4, 1, 61, rgb(120, 114, 110));  // groove shadow
    fillRect(cr, 7, 4, 1, 61, rgb(30, 28, 27));     // the groove
    fillRect(cr, 8, 4, 1, 61, rgb(235, 229, 224));  // groove highlight
}

void drawHandle(cairo_t* cr) {
    fillRect(cr, 0, 0, kHandleWidth, kHandleHeight, rgb(60, 56, 54));              // outline
    fillRect(cr, 1, 1, kHandleWidth - 2, kHandleHeight - 2, rgb(206, 200, 195));   // cap
    fillRect(cr, 1, 1, kHandleWidth - 2, 1, rgb(245, 242, 238));                   // lit top edge
    fillRect(cr, 1, kHandleHeight - 2, kHandleWidth - 2, 1, rgb(150, 144, 140));   // shaded bottom
    fillRect(cr, 2, 4, kHandleWidth - 4, 1, rgb(40, 37, 35));                      // cross lines
    fillRect(cr, 2, 7, kHandleWidth - 4, 1, rgb(40, 37, 35));
}

// Segment k's lit rows start where the meter cuts its images for k dark or lit segments
// (trunc(k x 9.5)), so a cut never splits a segment.
int segmentTop(int k) { return k * kMeterHeight / kLedCount; }
constexpr int kSegmentRows = 7;

void drawMeter(cairo_t* cr, bool lit) {
    fillRect(cr, 0, 0, kMeterWidth, kMeterHeight, lit ? kLedGap : kWindowRed);
    if (lit) {
        for (int k = 0; k < kLedCount; ++k) {
            const int top = segmentTop(k);
            fillRect(cr, 0, top, kMeterWidth, kSegmentRows, kLedLitEdge);
            fillRect(cr, 1, top + 1, kMeterWidth - 2, kSegmentRows - 2, kLedLit);
        }
    } else {
        // Unlit segments just show as slightly darker blocks in the red.
        for (int k = 0; k < kLedCount; ++k)
            fillRect(cr, 1, segmentTop(k) + 1, kMeterWidth - 2, kSegmentRows - 2, rgb(66, 10, 10));
    }
    // The background's grid, drawn over the segments so that the rows line up across the window.
    cairo_save(cr);
    if (lit) {
        for (const auto& rows : kGridRows) {
            cairo_set_source_rgba(cr, 1.0, 0.85, 0.8, 0.35);
            cairo_rectangle(cr, 0, rows[0], kMeterWidth, rows[1] - rows[0] + 1);
            cairo_fill(cr);
        }
    } else {
        drawGrid(cr, 0, kMeterWidth, 0);
    }
    cairo_restore(cr);
}

void drawSwitch(cairo_t* cr) {
    for (int frame = 0; frame < kSwitchFrames; ++frame) {
        const double top = frame * kSwitchFrameHeight;
        fillRect(cr, 0, top, kSwitchWidth, kSwitchFrameHeight, rgb(20, 18, 18));       // slot
        fillRect(cr, 1, top + 1, kSwitchWidth - 2, kSwitchFrameHeight - 2, rgb(48, 10, 10));
        const double left = 2 + frame * 7;                                         // 2, 9, 16
        fillRect(cr, left, top + 3, 6, kSwitchFrameHeight - 6, kLedLitEdge);
        fillRect(cr, left + 1, top + 4, 4, kSwitchFrameHeight - 8, kLedLit);
    }
}

struct Image {
    int number, width, height;
    void (*draw)(cairo_t*);
};

void drawMeterOff(cairo_t* cr) { drawMeter(cr, false); }
void drawMeterOn(cairo_t* cr) { drawMeter(cr, true); }

const Image kImages[] = {
    {128, kPanelWidth, kPanelHeight, drawBackground},
    {129, kTrackWidth, kTrackHeight, drawTrack},
    {130, kHandleWidth, kHandleHeight, drawHandle},
    {131, kMeterWidth, kMeterHeight, drawMeterOff},
    {132, kMeterWidth, kMeterHeight, drawMeterOn},
    {133, kSwitchWidth, kSwitchFrameHeight * kSwitchFrames, drawSwitch},
};

cairo_surface_t* render(const Image& image) {
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, image.width, image.height);
    cairo_t* cr = cairo_create(surface);
    image.draw(cr);
    cairo_destroy(cr);
    cairo_surface_flush(surface);
    return surface;
}

bool write(cairo_surface_t* surface, const std::string& path) {
    const bool ok = cairo_surface_write_to_png(surface, path.c_str()) == CAIRO_STATUS_SUCCESS;
    if (!ok) std::fprintf(stderr, "lumetra_artwork: cannot write %s\n", path.c_str());
    return ok;
}

// Paints part of source (rows from srcTop, height rows) at (x, y).
void place(cairo_t* cr, cairo_surface_t* source, double x, double y, double srcTop = 0,
           double height = -1) {
    const double h = height < 0 ? cairo_image_surface_get_height(source) : height;
    cairo_save(cr);
    cairo_rectangle(cr, x, y, cairo_image_surface_get_width(source), h);
    cairo_clip(cr);
    cairo_set_source_surface(cr, source, x, y - srcTop);
    cairo_paint(cr);
    cairo_restore(cr);
}

// The panel as the editor shows it: meters at varied levels (both halves of the meter's
// range), switches at different positions, sliders at different values, readout texts.
bool writePreview(const std::string& path) {
    cairo_surface_t* images[6];
    for (int k = 0; k < 6; ++k) images[k] = render(kImages[k]);
    cairo_surface_t* panel = images[0];
    cairo_t* cr = cairo_create(panel);
    for (int band = 0; band < kBands; ++band) {
        const int x = kWindowLeft + columnOffset(band);
        const int lit = (band * 7) % 17;  // 0 to 16 lit segments from the bottom
        const int p = segmentTop(kLedCount - lit);
        place(cr, images[3], x, kMeterTop, 0, p);
        place(cr, images[4], x, kMeterTop + p, p, kMeterHeight - p);
    }
    place(cr, images[5], kModeSwitchLeft, kSwitchTop, 1 * kSwitchFrameHeight, kSwitchFrameHeight);
    place(cr, images[5], kRespSwitchLeft, kSwitchTop, 2 * kSwitchFrameHeight, kSwitchFrameHeight);
    for (auto [top, value, readout] :
         {std::tuple{kDelaySliderTop, 0.5, "150"}, std::tuple{kVolumeSliderTop, 0.75, "+10.0"}}) {
        place(cr, images[1], kSliderLeft, top);
        const int travel = kTrackHeight - kHandleHeight - 1;
        place(cr, images[2], kSliderLeft + 1, top + static_cast<int>((1.0 - value) * travel));
        cairo_set_source_rgb(cr, 0, 0, 0);
        useFont(cr, 10, false);
        text(cr, readout, kSliderLeft - 6 + 13.5, top - 13 + 10, Align::kCentre);
    }
    cairo_destroy(cr);
    const bool ok = write(panel, path);
    for (cairo_surface_t* s : images) cairo_surface_destroy(s);
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--preview") return writePreview(argv[2]) ? 0 : 1;
    if (argc != 2) {
        std::fprintf(stderr, "usage: lumetra_artwork OUTDIR | lumetra_artwork --preview FILE\n");
        return 2;
    }
    bool ok = true;
    for (const Image& image : kImages) {
        cairo_surface_t* surface = render(image);
        ok = write(surface, std::string(argv[1]) + "/" + std::to_string(image.number) + ".png") && ok;
        cairo_surface_destroy(surface);
    }
    return ok ? 0 : 1;
}
