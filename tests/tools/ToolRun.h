// Runs the built `lumetra` program as a user would, with stdout and stderr captured.
#pragma once

#include <string>
#include <vector>

namespace lumetra::test {

struct ToolRun {
    int status = -1;  // exit code
    std::string out, err;
};

// args follow the program name; dir receives the captured streams. stdin is /dev/null. The
// program runs in workDir when one is given.
ToolRun runTool(const std::vector<std::string>& args, const std::string& dir, const std::string& workDir = {});
// The same for any program: argv[0] is the program (found on PATH), environment lines NAME=VALUE
// are added to the test's own.
ToolRun runProgram(const std::vector<std::string>& argv, const std::string& dir,
                   const std::vector<std::string>& environment = {});

std::vector<std::string> splitLines(const std::string& text);
std::vector<std::string> splitFields(const std::string& line, char separator = ',');

// A value of one band in the JSON of `lumetra analyze` or `lumetra listen`, searched from `from`
// (the start of a file's entry or of a line); NaN for null or a band not found.
float jsonBand(const std::string& json, int band, const std::string& key, size_t from = 0);

}  // namespace lumetra::test
