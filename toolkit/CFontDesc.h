// A font by family name, size in pixels and style. Fonts are immutable constants here, so a
// CFontRef is a plain pointer that nobody releases. The family resolves through fontconfig
// ("Arial" becomes Liberation Sans where Arial is not installed).
#pragma once

#include <cstdint>

enum CTxtFace : int32_t {
    kNormalFace = 0,
    kBoldFace = 1 << 1,
    kItalicFace = 1 << 2,
};

class CFontDesc {
public:
    constexpr CFontDesc(const char* name, double size, int32_t style = kNormalFace)
        : name(name), size(size), style(style) {}
    const char* getName() const { return name; }
    double getSize() const { return size; }
    int32_t getStyle() const { return style; }

private:
    const char* name;
    double size;
    int32_t style;
};

using CFontRef = const CFontDesc*;

inline constexpr CFontDesc kNormalFontSmallerDesc("Arial", 10, kNormalFace);
inline constexpr CFontDesc kNormalFontDesc("Arial", 12, kNormalFace);
inline constexpr CFontRef kNormalFontSmaller = &kNormalFontSmallerDesc;
inline constexpr CFontRef kNormalFont = &kNormalFontDesc;
