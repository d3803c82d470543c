// lumetra info BUNDLE.lv2 where the tool is built without lilv (Windows; Linux without
// liblilv-dev): it says so.
#include <cstdio>

#include "tools/Commands.h"

int lumetra::runInfoLv2(const std::string& bundle) {
    std::fprintf(stderr, "lumetra info: %s: this lumetra reads no LV2 bundles (built without lilv)\n", bundle.c_str());
    return 2;
}
