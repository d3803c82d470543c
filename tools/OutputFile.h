// One output of `lumetra analyze`: a file created when the command starts (so that a path that
// cannot be written stops the command before any work), or standard output for the path "-".
#pragma once

#include <cstdio>
#include <string>

namespace lumetra {

class OutputFile {
public:
    OutputFile() = default;
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Throws UsageError ("PATH: reason"). An empty path opens nothing.
    void open(const std::string& path);
    // Flushes and closes; throws AnalysisError when anything written was lost (disk full ...).
    void close();

    FILE* get() const { return file; }
    explicit operator bool() const { return file != nullptr; }
    const std::string& path() const { return name; }

private:
    FILE* file = nullptr;
    std::string name;
    bool isStdout = false;
};

}  // namespace lumetra
