// Stand-in for runAnalyze until the effect's engine links; replaced by AnalyzeCommand.cpp.
#include <cstdio>

#include "tools/Commands.h"

int lumetra::runAnalyze(const std::vector<std::string>&) {
    std::fputs("lumetra analyze: not built yet\n", stderr);
    return 1;
}
