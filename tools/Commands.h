// The subcommands of the `lumetra` program. Each takes the arguments after its own name and
// returns the process exit code: 0 success, 1 analysis error, 2 usage or input error.
#pragma once

#include <string>
#include <vector>

namespace lumetra {

int runInfo(const std::vector<std::string>& args);     // lumetra info MODULE
int runAnalyze(const std::vector<std::string>& args);  // lumetra analyze [FILE ...]
int runShow(const std::vector<std::string>& args);     // lumetra show MODULE [FILE]
int runSnapshot(const std::vector<std::string>& args); // lumetra snapshot MODULE [FILE] -o PNG
int runListen(const std::vector<std::string>& args);   // lumetra listen: a live input through JACK
int runConformance(const std::vector<std::string>& args);  // lumetra conformance [--filters ...]

}  // namespace lumetra
