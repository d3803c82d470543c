// cairo and fontconfig keep process-wide caches (fonts, patterns) for the life of the process;
// every editor test program empties them at its end so that LeakSanitizer reports only real leaks.
#include <cairo.h>
#include <fontconfig/fontconfig.h>
#include <gtest/gtest.h>

namespace {

class ReleaseLibraryCaches : public ::testing::Environment {
public:
    void TearDown() override {
        cairo_debug_reset_static_data();
        FcFini();
    }
};
[[maybe_unused]] ::testing::Environment* const releaseCaches =
    ::testing::AddGlobalTestEnvironment(new ReleaseLibraryCaches);

}  // namespace
