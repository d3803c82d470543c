#include "tests/tools/ToolRun.h"

#include <sys/wait.h>

#include <cstdlib>
#include <cstring>
#include <limits>
#include <sstream>

#include "tests/tools/AudioFiles.h"

namespace lumetra::test {

namespace {

std::string quote(const std::string& arg) {
    std::string out = "'";
    for (const char c : arg) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// command with stdin from /dev/null, stdout and stderr captured in dir.
ToolRun runCommand(std::string command, const std::string& dir) {
    const std::string outPath = dir + "/tool.out", errPath = dir + "/tool.err";
    command += " </dev/null >" + quote(outPath) + " 2>" + quote(errPath);
    ToolRun run;
    const int raw = std::system(command.c_str());
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
    run.out = readFile(outPath);
    run.err = readFile(errPath);
    return run;
}

}  // namespace

ToolRun runTool(const std::vector<std::string>& args, const std::string& dir, const std::string& workDir) {
    std::string command = workDir.empty() ? std::string() : "cd " + quote(workDir) + " && ";
    command += quote(LUMETRA_TOOL_PATH);
    for (const std::string& arg : args) command += " " + quote(arg);
    return runCommand(command, dir);
}

ToolRun runProgram(const std::vector<std::string>& argv, const std::string& dir,
                   const std::vector<std::string>& environment) {
    std::string command = "env";
    for (const std::string& line : environment) command += " " + quote(line);
    for (const std::string& arg : argv) command += " " + quote(arg);
    return runCommand(command, dir);
}

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

std::vector<std::string> splitFields(const std::string& line, char separator) {
    std::vector<std::string> out;
    std::istringstream in(line);
    for (std::string field; std::getline(in, field, separator);) out.push_back(field);
    return out;
}

float jsonBand(const std::string& json, int band, const std::string& key, size_t from) {
    const size_t at = json.find("{\"band\": " + std::to_string(band) + ",", from);
    if (at == std::string::npos) return std::numeric_limits<float>::quiet_NaN();
    const char* value = json.c_str() + json.find("\"" + key + "\": ", at) + key.size() + 4;
    return std::strncmp(value, "null", 4) == 0 ? std::numeric_limits<float>::quiet_NaN() : std::strtof(value, nullptr);
}

}  // namespace lumetra::test
