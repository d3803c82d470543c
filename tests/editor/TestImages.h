// Stand-in for the module's resource table in editor tests: images drawn by the test, stored as
// PNG bytes under a resource number, found by lumetra::findResource like the real ones; and the
// pixels of the toolkit's off-screen images. The same on every system.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

class IPlatformOffscreen;

namespace testimages {

// A width x height RGB image whose pixel (x, y) is colour(x, y) as 0xRRGGBB.
std::vector<unsigned char> makePng(int width, int height, const std::function<uint32_t(int x, int y)>& colour);

// Registers bytes under number (replacing what was there); findResource answers with them.
void registerResource(int number, std::vector<unsigned char> bytes);
void registerImage(int number, int width, int height, const std::function<uint32_t(int x, int y)>& colour);
void clearResources();

// The pixel of an off-screen image as 0xRRGGBB; every pixel set to colour.
uint32_t pixel(IPlatformOffscreen& offscreen, int x, int y);
void fill(IPlatformOffscreen& offscreen, uint32_t colour);

}  // namespace testimages
