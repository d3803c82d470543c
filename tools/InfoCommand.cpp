#include <cstdio>

#include "tools/Commands.h"

int lumetra::runInfo(const std::vector<std::string>&) {
    std::fputs("lumetra info: not built yet\n", stderr);
    return 1;
}
