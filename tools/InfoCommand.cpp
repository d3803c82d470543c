// lumetra info MODULE: loads a VST 2.4 module the way a host does and prints what it sees.
#include <cstdio>
#include <string>

#include "host/VstHost.h"
#include "tools/ClapInfo.h"
#include "tools/Commands.h"

namespace {

const char* const kInfoUsage =
    "usage: lumetra info MODULE\n"
    "\n"
    "Loads the VST 2.4 module (for example build/Lumetra.so) through its entry point, as a host\n"
    "does, and prints its descriptor, identity strings, parameters and program names.\n"
    "An LV2 bundle (a folder, such as build/Lumetra.lv2) is read as LV2 hosts read it.\n"
    "A CLAP module (a file ending in .clap) is described by its entry, plug-ins, ports and params.\n"
    "Exit codes: 0 success, 2 usage error or a file that is not a usable module.\n";

std::string fourChars(VstInt32 id) {
    std::string s;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const char c = static_cast<char>((static_cast<uint32_t>(id) >> shift) & 0xff);
        s += (c >= 32 && c < 127) ? c : '.';
    }
    return s;
}

}  // namespace

int lumetra::runInfo(const std::vector<std::string>& args) {
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
        std::fputs(kInfoUsage, stdout);
        return 0;
    }
    if (args.size() != 1) {
        std::fputs(kInfoUsage, stderr);
        return 2;
    }
    if (isLv2Bundle(args[0])) return runInfoLv2(args[0]);
    if (args[0].ends_with(".clap")) return describeClapModule(args[0]);
    VstHost host;
    host.answers[audioMasterGetSampleRate] = 0;  // as a scanner does
    if (!host.load(args[0])) {
        std::fprintf(stderr, "lumetra info: %s\n", host.error().c_str());
        return 2;
    }
    const AEffect* e = host.effect();
    std::printf("module        %s\n", args[0].c_str());
    std::printf("magic         0x%08X (%s)\n", static_cast<unsigned>(e->magic), fourChars(e->magic).c_str());
    std::printf("unique ID     0x%08X (%s)\n", static_cast<unsigned>(e->uniqueID), fourChars(e->uniqueID).c_str());
    std::printf("version       %d\n", e->version);
    std::printf("programs      %d\n", e->numPrograms);
    std::printf("parameters    %d\n", e->numParams);
    std::printf("inputs        %d\n", e->numInputs);
    std::printf("outputs       %d\n", e->numOutputs);
    std::printf("flags         0x%X\n", static_cast<unsigned>(e->flags));
    std::printf("initialDelay  %d\n", e->initialDelay);
    std::printf("effect name   %s\n", host.text(effGetEffectName).c_str());
    std::printf("vendor        %s\n", host.text(effGetVendorString).c_str());
    std::printf("product       %s\n", host.text(effGetProductString).c_str());
    std::printf("vendor ver.   %ld\n", static_cast<long>(host.dispatch(effGetVendorVersion)));
    std::printf("category      %ld\n", static_cast<long>(host.dispatch(effGetPlugCategory)));
    std::printf("VST version   %ld\n", static_cast<long>(host.dispatch(effGetVstVersion)));
    std::printf("\nparameters:\n");
    for (VstInt32 i = 0; i < e->numParams; ++i)
        std::printf("  %2d  %-10s %-10s %-10s %g\n", i, host.text(effGetParamName, i).c_str(),
                    host.text(effGetParamDisplay, i).c_str(), host.text(effGetParamLabel, i).c_str(),
                    static_cast<double>(host.getParameter(i)));
    std::printf("\nprograms:\n");
    for (VstInt32 i = 0; i < e->numPrograms; ++i) {
        char name[256] = {0};
        const VstIntPtr ok = host.dispatch(effGetProgramNameIndexed, i, 0, name);
        std::printf("  %2d  %s\n", i, ok == 1 ? name : "(no name)");
    }
    return 0;
}
