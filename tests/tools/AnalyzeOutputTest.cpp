#include <cairo.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <sstream>

#include "tests/tools/AudioFiles.h"
#include "tools/AnalyzeOptions.h"
#include "tools/AnalyzeReport.h"
#include "tools/BandChart.h"
#include "tools/LiveDisplay.h"

namespace lumetra {
namespace {

// Text written to a FILE*, as a string.
class MemoryFile {
public:
    MemoryFile() : file(open_memstream(&buffer, &size)) {}
    ~MemoryFile() {
        if (file) std::fclose(file);
        std::free(buffer);
    }
    FILE* get() const { return file; }
    std::string text() {
        std::fflush(file);
        return std::string(buffer, size);
    }

private:
    char* buffer = nullptr;
    size_t size = 0;
    FILE* file;
};

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

TEST(LedColumn, FollowsTheEditorMeterRuleInBothHalves) {
    const struct {
        float fraction;
        uint32_t lit;  // bit 0 = bottom segment
    } cases[] = {
        {0.0f, 0x0000},   {-1.0f, 0x0000}, {0.25f, 0x00ff}, {0.3f, 0x03ff},  // (1 - 0.6) * 16 + 0.5 = 6.9: 6 dark
        {0.48f, 0x7fff},  {0.5f, 0xffff},  {0.52f, 0xfffe}, {0.75f, 0xff00},
        {0.96875f, 0x8000}, {1.0f, 0x8000}, {2.0f, 0x8000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fraction);
        EXPECT_EQ(litSegments(c.fraction), c.lit);
    }
    for (float f = 0.5001f; f <= 1.0f; f += 0.001f) ASSERT_NE(litSegments(f), 0u) << f;  // never empty above half
}

TEST(LiveDisplay, DrawsLabelledColumnsAndRedrawsInPlace) {
    MemoryFile out;
    {
        LiveDisplay display(out.get(), 120);
        display.start("x.wav", 0.0);
        float fractions[kNumBands] = {};
        fractions[0] = 0.5f;   // full column
        fractions[31] = 1.0f;  // top segment only
        display.draw(fractions, 1.0, 2.0);
        display.draw(fractions, 2.0, 2.0);
        display.finish();
    }
    const std::string text = out.text();
    EXPECT_NE(text.find("\x1b[19A"), std::string::npos);  // the second picture overwrites the first
    EXPECT_NE(text.find("\x1b[?25h"), std::string::npos);  // cursor back on
    const std::vector<std::string> all = lines(text);
    size_t odd = all.size() - 1;  // the second label row
    while (odd > 0 && all[odd].find("31.5") == std::string::npos) --odd;
    ASSERT_GE(odd, 18u);
    EXPECT_NE(all[odd - 1].find("     16    25    40    63    100"), std::string::npos) << all[odd - 1];
    EXPECT_NE(all[odd].find("        20    31.5  50"), std::string::npos) << all[odd];
    EXPECT_NE(all[odd].find("12K5  20K"), std::string::npos);
    EXPECT_EQ(all[odd - 17].substr(0, 5), " -10 ");  // scale of the window's lower half, gain 0
    EXPECT_EQ(all[odd - 2].substr(0, 5), " -40 ");
    // Band 0 lit in every row, band 31 only in the top one.
    EXPECT_EQ(all[odd - 2].find("\x1b[1;31m"), 5u);
    EXPECT_NE(all[odd - 17].rfind("\x1b[1;31m"), all[odd - 17].find("\x1b[1;31m"));
    EXPECT_EQ(all[odd - 16].rfind("\x1b[1;31m"), all[odd - 16].find("\x1b[1;31m"));
}

FileResult someResult(const std::string& name) {
    FileResult r;
    r.name = name;
    r.format = "WAV";
    r.sampleRate = 48000;
    r.channels = 2;
    r.frames = 96000;
    r.analysed = true;
    for (int j = 0; j < kNumBands; ++j)
        r.bands[size_t(j)] = {float(std::pow(10.0, (j + 12) / 10.0)), -30.0f - j, -33.0f - j, -40.0f - j};
    return r;
}

TEST(BandStats, MaximumPowerAverageAndFinalLevel) {
    BandStats stats;
    float a[kNumBands] = {}, b[kNumBands] = {};
    a[3] = 0.5f;
    b[3] = 0.1f;
    stats.add(a, 100);
    stats.add(b, 300);  // weighted by block length
    FileResult r = someResult("x.wav");
    r.sampleRate = 32000;  // band 31 (19953 Hz) cannot be measured
    stats.finish(r);
    EXPECT_EQ(r.bands[3].maxDb, levelToDb(0.5f));
    EXPECT_EQ(r.bands[3].finalDb, levelToDb(0.1f));
    EXPECT_NEAR(r.bands[3].avgDb, 20 * std::log10(std::sqrt((0.25 * 100 + 0.01 * 300) / 400)), 1e-4);
    EXPECT_EQ(r.bands[0].maxDb, -400.0f);  // silence: the engine's floor
    EXPECT_EQ(r.bands[0].avgDb, -400.0f);
    EXPECT_FALSE(r.bands[30].aboveNyquist);
    EXPECT_TRUE(r.bands[31].aboveNyquist);
    EXPECT_TRUE(std::isnan(r.bands[31].maxDb));
    EXPECT_EQ(r.loudestBand(), 3);
}

TEST(AnalyzeReport, CsvHasTheDocumentedColumnsAndExactValues) {
    MemoryFile single, batch;
    float db[kNumBands];
    for (int j = 0; j < kNumBands; ++j) db[j] = levelToDb(0.001f * float(j + 1));
    db[5] = -400.0f;
    db[31] = std::nanf("");  // a band above half the sample rate
    {
        CsvWriter csv(single.get(), false);
        csv.row("a.wav", 0.0106666, db);
    }
    {
        CsvWriter csv(batch.get(), true);
        csv.row("we,ird \"name\".wav", 1.5, db);
    }
    const std::vector<std::string> s = lines(single.text());
    ASSERT_EQ(s.size(), 2u);
    EXPECT_EQ(s[0].substr(0, 24), "time_s,16,20,25,31.5,40,");
    EXPECT_EQ(s[0].substr(s[0].size() - 29), ",8000,10000,12500,16000,20000");
    std::vector<std::string> fields;
    std::istringstream row(s[1]);
    for (std::string f; std::getline(row, f, ',');) fields.push_back(f);
    ASSERT_EQ(fields.size(), 32u);  // getline drops the empty last field
    EXPECT_EQ(fields[0], "0.010667");
    EXPECT_EQ(fields[6], "-400");
    for (int j = 0; j < kNumBands - 1; ++j) EXPECT_EQ(std::strtof(fields[size_t(j + 1)].c_str(), nullptr), db[j]) << j;
    EXPECT_EQ(s[1].back(), ',');  // empty last field
    const std::vector<std::string> b = lines(batch.text());
    EXPECT_EQ(b[0].substr(0, 12), "file,time_s,");
    EXPECT_EQ(b[1].substr(0, 31), "\"we,ird \"\"name\"\".wav\",1.500000,");
}

TEST(AnalyzeReport, JsonHasOneEntryPerInputWithEscapedNames) {
    MemoryFile out;
    FileResult failed;
    failed.name = "bad\\\"\n.wav";
    failed.error = "empty file (0 bytes)";
    FileResult low = someResult("a.wav");
    low.bands[31].aboveNyquist = true;
    low.bands[31].maxDb = low.bands[31].avgDb = low.bands[31].finalDb = std::nanf("");
    writeJson(out.get(), {low, failed}, parseAnalyzeOptions({"--mode", "R", "--gain", "6"}));
    const std::string text = out.text();
    EXPECT_NE(text.find("{\"file\": \"a.wav\", \"format\": \"WAV\", \"sample_rate\": 48000, \"channels\": 2, "
                        "\"frames\": 96000, \"duration_s\": 2.000000, \"mode\": \"R\", \"resp\": 1, "
                        "\"delay_ms\": 0, \"gain_db\": 6, \"block\": 512"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("{\"band\": 3, \"nominal_hz\": 31.5, \"centre_hz\": 31.622776, \"max_db\": -33, "
                        "\"avg_db\": -36, \"final_db\": -43}"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("{\"file\": \"bad\\\\\\\"\\u000a.wav\", \"error\": \"empty file (0 bytes)\"}"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("\"max_db\": null, \"avg_db\": null, \"final_db\": null, \"above_nyquist\": true}"),
              std::string::npos);
    EXPECT_EQ(text.front(), '[');
    EXPECT_EQ(text.substr(text.size() - 3), "\n]\n");
}

TEST(AnalyzeReport, SummaryTableListsAll32Bands) {
    MemoryFile out;
    writeSummaryTable(out.get(), someResult("a.wav"), parseAnalyzeOptions({}));
    const std::vector<std::string> all = lines(out.text());
    ASSERT_EQ(all.size(), 2u + kNumBands);
    EXPECT_NE(all[0].find("a.wav: WAV, 48000 Hz, 2 channels, 2.000 s; mode M, resp 1, delay 0 ms, gain +0.0 dB"),
              std::string::npos)
        << all[0];
    EXPECT_EQ(all[2 + 18], "  18          1K    1000.00   -48.00   -51.00");
    EXPECT_EQ(out.text().find("n/a"), std::string::npos);

    MemoryFile low;
    FileResult r = someResult("low.wav");
    r.bands[31].aboveNyquist = true;
    r.bands[31].maxDb = r.bands[31].avgDb = std::nanf("");
    writeSummaryTable(low.get(), r, parseAnalyzeOptions({}));
    const std::vector<std::string> lowLines = lines(low.text());
    EXPECT_EQ(lowLines[2 + 31], "  31         20K   19952.62      n/a      n/a  (above half the sample rate)");
}

TEST(BandChart, OnePanelPerAnalysedInput) {
    test::TempDir dir;
    FileResult failed;
    failed.name = "bad.wav";
    const std::vector<std::vector<FileResult>> batches = {{someResult("a.wav")},
                                                          {someResult("a.wav"), failed, someResult("b.wav")}};
    for (size_t i = 0; i < batches.size(); ++i) {
        const std::string path = dir.path("chart" + std::to_string(i) + ".png");
        FILE* f = std::fopen(path.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        writeBandChart(f, batches[i], parseAnalyzeOptions({}));
        std::fclose(f);
        cairo_surface_t* png = cairo_image_surface_create_from_png(path.c_str());
        ASSERT_EQ(cairo_surface_status(png), CAIRO_STATUS_SUCCESS);
        EXPECT_EQ(cairo_image_surface_get_width(png), 1200);
        EXPECT_EQ(cairo_image_surface_get_height(png), 500 * int(i + 1));
        cairo_surface_destroy(png);
    }
    releaseFontCaches();  // nothing else in this program draws text
}

}  // namespace
}  // namespace lumetra
