#include <cstdio>

#include "tools/Commands.h"

int lumetra::runAnalyze(const std::vector<std::string>&) {
    std::fputs("lumetra analyze: not built yet\n", stderr);
    return 1;
}
