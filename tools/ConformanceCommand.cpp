// lumetra conformance: each band of a filter bank measured against the acceptance limits of
// relative attenuation of one-third-octave filters, classes 1 and 2.
#include <cstdio>
#include <string>
#include <vector>

#include "engine/BandBank.h"
#include "tools/AnalyzeError.h"
#include "tools/AnalyzeOptions.h"
#include "tools/BandChart.h"
#include "tools/Commands.h"
#include "tools/Conformance.h"
#include "tools/OutputFile.h"

namespace lumetra {

namespace {

const char* const kConformanceUsage =
    "usage: lumetra conformance [--filters plugin|standard] [--rate HZ] [--png PATH]\n"
    "\n"
    "Measures each one-third-octave band of a filter bank as it is built and run, with steady\n"
    "sines through its own filters, against the acceptance limits of relative attenuation of\n"
    "one-third-octave band filters (IEC 61260-1:2014), classes 1 and 2. The sines sit at the\n"
    "limits' breakpoints on both sides of each band (from fm / 5.39 to 5.39 fm, fm the band's\n"
    "mid-band frequency) and halfway between them; those at or above half the rate are left\n"
    "out. Each band's level at a frequency is compared with its level at fm.\n"
    "\n"
    "  --filters plugin|standard   the plug-in's own bank (default), or the standard bank of\n"
    "                    'lumetra analyze --filters standard'\n"
    "  --rate HZ         sample rate, 1000 to 768000 (default 48000)\n"
    "  --png PATH        each band's measured response over the class 1 and class 2 limits\n"
    "  -h, --help        this text\n"
    "\n"
    "Per band it prints the worst margin to the class 1 and class 2 limits in dB (negative: the\n"
    "limit is missed by that much) and the normalised frequency f / fm where it occurs, then the\n"
    "class the band meets. Bands whose mid-band frequency is above 0.45 of the rate are not\n"
    "measurable (n/a). A report that shows misses is still a success: exit status 0, or 2 for a\n"
    "usage error or an output that cannot be created, 1 for a failure while writing.\n";

struct ConformanceOptions {
    FilterBank bank = FilterBank::Plugin;
    double rateHz = 48000;
    std::string pngPath;
    bool help = false;
};

ConformanceOptions parseConformanceOptions(const std::vector<std::string>& args) {
    ConformanceOptions o;
    for (size_t i = 0; i < args.size(); ++i) {
        OptionArgument option(args, i);
        const std::string arg = option.name();
        if (arg == "-h" || arg == "--help") {
            option.flag(o.help);
        } else if (arg == "--filters") {
            o.bank = parseFilterBank(option.value());
        } else if (arg == "--rate") {
            const std::string v = option.value();
            o.rateHz = parseNumber(arg, v, 1000.0, 768000.0);
        } else if (arg == "--png") {
            o.pngPath = option.value();
            if (o.pngPath.empty()) throw UsageError("--png: empty path");
        } else {
            throw UsageError(arg.rfind('-', 0) == 0 ? "unknown option '" + arg + "'" : "takes no file ('" + arg + "')");
        }
    }
    return o;
}

}  // namespace

void writeConformanceReport(FILE* out, const std::vector<BandConformance>& bands, FilterBank bank, double rateHz) {
    std::fprintf(out,
                 "%s bank at %.0f Hz against the one-third-octave limits of relative attenuation\n"
                 "(worst margin over the measured frequencies, dB; negative: the limit is missed)\n",
                 filterBankName(bank), rateHz);
    std::fprintf(out, "band  nominal Hz  mid-band Hz  class 1 dB  at f/fm  class 2 dB  at f/fm  meets\n");
    int measurable = 0, met[3] = {0, 0, 0};
    for (const BandConformance& c : bands) {
        if (!c.measurable) {
            std::fprintf(out, "%4d  %10s  %11.2f         n/a               n/a           (above 0.45 of the rate)\n",
                         c.band, kNominalLabel[c.band], c.centreHz);
            continue;
        }
        ++measurable;
        ++met[c.classMet()];
        std::fprintf(out, "%4d  %10s  %11.2f  %+10.2f  %7.4f  %+10.2f  %7.4f  %s\n", c.band, kNominalLabel[c.band],
                     c.centreHz, c.marginDb[0], c.worstOmega[0], c.marginDb[1], c.worstOmega[1],
                     c.classMet() == 1 ? "class 1" : c.classMet() == 2 ? "class 2" : "neither");
    }
    if (met[1] == measurable)
        std::fprintf(out, "%s bank at %.0f Hz: class 1 in all %d measurable bands\n", filterBankName(bank), rateHz,
                     measurable);
    else
        std::fprintf(out, "%s bank at %.0f Hz: of %d measurable bands, %d meet class 1, %d class 2 only, %d neither\n",
                     filterBankName(bank), rateHz, measurable, met[1], met[2], met[0]);
}

int runConformance(const std::vector<std::string>& args) {
    ConformanceOptions options;
    try {
        options = parseConformanceOptions(args);
    } catch (const UsageError& e) {
        std::fprintf(stderr, "lumetra conformance: %s (see 'lumetra conformance --help')\n", e.what());
        return 2;
    }
    if (options.help) {
        std::fputs(kConformanceUsage, stdout);
        return 0;
    }
    OutputFile png;
    try {
        png.open(options.pngPath);
    } catch (const UsageError& e) {
        std::fprintf(stderr, "lumetra conformance: %s\n", e.what());
        return 2;
    }
    const std::vector<BandConformance> bands = measureConformance(options.bank, options.rateHz);
    writeConformanceReport(stdout, bands, options.bank, options.rateHz);
    if (png) {
        try {
            writeConformanceChart(png.get(), bands, options.bank, options.rateHz);
            png.close();
        } catch (const AnalysisError& e) {
            std::fprintf(stderr, "lumetra conformance: %s: %s\n", options.pngPath.c_str(), e.what());
            return 1;
        }
        releaseFontCaches();
    }
    return 0;
}

}  // namespace lumetra
