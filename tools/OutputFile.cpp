#include "tools/OutputFile.h"

#include <cerrno>
#include <cstring>

#include "tools/AnalyzeError.h"

namespace lumetra {

OutputFile::~OutputFile() {
    if (file && !isStdout) std::fclose(file);
}

void OutputFile::open(const std::string& path) {
    if (path.empty()) return;
    name = path;
    if (path == "-") {
        file = stdout;
        isStdout = true;
        return;
    }
    file = std::fopen(path.c_str(), "wb");
    if (!file) throw UsageError(path + ": cannot write: " + std::strerror(errno));
    static_cast<void>(std::setvbuf(file, nullptr, _IOFBF, 1 << 16));
}

void OutputFile::close() {
    if (!file) return;
    FILE* f = file;
    file = nullptr;
    const bool failed = std::ferror(f) != 0;
    const int flushed = isStdout ? std::fflush(f) : std::fclose(f);
    const int error = errno;
    if (failed || flushed != 0)
        throw AnalysisError(name + ": write failed" + (flushed != 0 ? std::string(": ") + std::strerror(error) : ""));
}

}  // namespace lumetra
