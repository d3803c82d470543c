// The subcommands of the `lumetra` program. Each takes the arguments after its own name and
// returns the process exit code: 0 success, 1 analysis error, 2 usage or input error.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace lumetra {

int runInfo(const std::vector<std::string>& args);     // lumetra info MODULE
int runAnalyze(const std::vector<std::string>& args);  // lumetra analyze [FILE ...]
int runShow(const std::vector<std::string>& args);     // lumetra show MODULE [FILE]
int runSnapshot(const std::vector<std::string>& args); // lumetra snapshot MODULE [FILE] -o PNG
int runListen(const std::vector<std::string>& args);   // lumetra listen: a live input through JACK
int runConformance(const std::vector<std::string>& args);  // lumetra conformance [--filters ...]

// lumetra info BUNDLE.lv2 (InfoLv2.cpp; InfoLv2Unavailable.cpp where the tool has no lilv): what
// an LV2 host sees of the bundle. A bundle is a folder, or a name ending in .lv2.
int runInfoLv2(const std::string& bundle);
inline bool isLv2Bundle(const std::string& path) {
    std::error_code error;
    return std::filesystem::is_directory(path, error) || path.ends_with(".lv2") || path.ends_with(".lv2/");
}

}  // namespace lumetra
