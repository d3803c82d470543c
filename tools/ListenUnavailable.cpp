// lumetra listen in a build made without libjack: it says why it is missing.
#include <cstdio>

#include "tools/Commands.h"

int lumetra::runListen(const std::vector<std::string>&) {
    std::fputs("lumetra listen: this lumetra was built without JACK: the JACK development files "
               "(Debian: libjack-jackd2-dev) were not found when it was configured; install them "
               "and build again\n",
               stderr);
    return 2;
}
