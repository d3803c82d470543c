#include "tests/editor/TestImages.h"

#include <array>
#include <map>

#include "platform/Resources.h"
#include "toolkit/IPlatformOffscreen.h"

namespace testimages {
namespace {

std::map<int, std::vector<unsigned char>>& table() {
    static std::map<int, std::vector<unsigned char>> resources;
    return resources;
}

uint32_t crc32(const unsigned char* data, size_t size, uint32_t crc = 0) {
    static const std::array<uint32_t, 256> crcTable = [] {
        std::array<uint32_t, 256> t{};
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    crc = ~crc;
    for (size_t i = 0; i < size; ++i) crc = crcTable[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

void putBigEndian(std::vector<unsigned char>& out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<unsigned char>(value >> shift));
}

void putChunk(std::vector<unsigned char>& out, const char type[4], const std::vector<unsigned char>& body) {
    putBigEndian(out, static_cast<uint32_t>(body.size()));
    const size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), body.begin(), body.end());
    putBigEndian(out, crc32(out.data() + start, out.size() - start));
}

}  // namespace

// An 8-bit RGB PNG whose image data is zlib's stored (uncompressed) form: no library needed, so
// the same bytes on every system.
std::vector<unsigned char> makePng(int width, int height, const std::function<uint32_t(int, int)>& colour) {
    std::vector<unsigned char> raw;  // per row: filter type 0, then R, G, B per pixel
    for (int y = 0; y < height; ++y) {
        raw.push_back(0);
        for (int x = 0; x < width; ++x) {
            const uint32_t c = colour(x, y);
            raw.insert(raw.end(), {static_cast<unsigned char>(c >> 16), static_cast<unsigned char>(c >> 8),
                                   static_cast<unsigned char>(c)});
        }
    }
    std::vector<unsigned char> zlib{0x78, 0x01};
    for (size_t at = 0; at == 0 || at < raw.size();) {
        const size_t length = std::min<size_t>(raw.size() - at, 65535);
        const bool last = at + length == raw.size();
        zlib.insert(zlib.end(), {static_cast<unsigned char>(last), static_cast<unsigned char>(length),
                                 static_cast<unsigned char>(length >> 8), static_cast<unsigned char>(~length),
                                 static_cast<unsigned char>(~length >> 8)});
        zlib.insert(zlib.end(), raw.begin() + static_cast<std::ptrdiff_t>(at),
                    raw.begin() + static_cast<std::ptrdiff_t>(at + length));
        at += length;
        if (last) break;
    }
    uint32_t a = 1, b = 0;  // Adler-32 of the raw data
    for (unsigned char byte : raw) {
        a = (a + byte) % 65521;
        b = (b + a) % 65521;
    }
    putBigEndian(zlib, (b << 16) | a);

    std::vector<unsigned char> png{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<unsigned char> header;
    putBigEndian(header, static_cast<uint32_t>(width));
    putBigEndian(header, static_cast<uint32_t>(height));
    header.insert(header.end(), {8, 2, 0, 0, 0});  // 8 bits, RGB, deflate, no filter choice, no interlace
    putChunk(png, "IHDR", header);
    putChunk(png, "IDAT", zlib);
    putChunk(png, "IEND", {});
    return png;
}

void registerResource(int number, std::vector<unsigned char> bytes) { table()[number] = std::move(bytes); }

void registerImage(int number, int width, int height, const std::function<uint32_t(int, int)>& colour) {
    registerResource(number, makePng(width, height, colour));
}

void clearResources() { table().clear(); }

uint32_t pixel(IPlatformOffscreen& offscreen, int x, int y) {
    int32_t stride = 0;
    const uint32_t* pixels = offscreen.getPixels(stride);
    return reinterpret_cast<const uint32_t*>(reinterpret_cast<const unsigned char*>(pixels) + y * stride)[x] &
           0xFFFFFFu;
}

void fill(IPlatformOffscreen& offscreen, uint32_t colour) {
    int32_t stride = 0;
    unsigned char* pixels = reinterpret_cast<unsigned char*>(offscreen.getPixels(stride));
    for (int y = 0; y < offscreen.getHeight(); ++y)
        for (int x = 0; x < offscreen.getWidth(); ++x) reinterpret_cast<uint32_t*>(pixels + y * stride)[x] = colour;
    offscreen.markDirty();
}

}  // namespace testimages

namespace lumetra {

Resource findResource(int number) noexcept {
    const auto& resources = testimages::table();
    const auto found = resources.find(number);
    if (found == resources.end()) return {};
    return {found->second.data(), found->second.size()};
}

}  // namespace lumetra
