// The `lumetra` command-line program: dispatches to its subcommands.
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "tools/Commands.h"

namespace {

const char* const kUsage =
    "usage: lumetra COMMAND [ARGS]\n"
    "\n"
    "Commands:\n"
    "  analyze [FILE ...]   one-third-octave analysis of audio files (or a built-in test signal)\n"
    "  info MODULE          load a VST 2.4 or CLAP module and print what a host sees of it\n"
    "  show MODULE [FILE]   open the module's editor in a window and play FILE (or the test signal)\n"
    "                       through it\n"
    "  snapshot MODULE [FILE] -o PNG [--at SECONDS]\n"
    "                       the same on a virtual screen, saved as a picture\n"
    "  listen               the analyzer on a live input (sound card) through JACK or PipeWire\n"
    "  conformance          each band of a filter bank against the one-third-octave filter limits\n"
    "\n"
    "Run 'lumetra COMMAND --help' for the options of a command.\n";

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    const std::string command = argv[1];
    const std::vector<std::string> args(argv + 2, argv + argc);
    try {
        if (command == "--help" || command == "-h" || command == "help") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (command == "info") return lumetra::runInfo(args);
#if defined(_WIN32)
        if (command == "analyze" || command == "show" || command == "snapshot" || command == "listen" ||
            command == "conformance") {
            std::fprintf(stderr, "lumetra: '%s' is available in the Linux build only\n", command.c_str());
            return 2;
        }
#else
        if (command == "analyze") return lumetra::runAnalyze(args);
        if (command == "show") return lumetra::runShow(args);
        if (command == "snapshot") return lumetra::runSnapshot(args);
        if (command == "listen") return lumetra::runListen(args);
        if (command == "conformance") return lumetra::runConformance(args);
#endif
    } catch (const std::exception& e) {
        std::fprintf(stderr, "lumetra: %s\n", e.what());
        return 1;
    }
    std::fprintf(stderr, "lumetra: unknown command '%s'\n%s", command.c_str(), kUsage);
    return 2;
}
