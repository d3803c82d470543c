// The two failures of `lumetra analyze`, by exit code. The message names the reason; the caller
// adds the file name.
#pragma once

#include <stdexcept>

namespace lumetra {

// A bad command line, an input that cannot be analysed or an output that cannot be created: exit 2.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A failure during the work (a read or write error, samples that are not numbers): exit 1.
class AnalysisError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

}  // namespace lumetra
