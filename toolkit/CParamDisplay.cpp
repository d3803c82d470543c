#include "toolkit/CParamDisplay.h"

#include <cstdio>

CParamDisplay::CParamDisplay(const CRect& size, CBitmap* background, int32_t /*style*/)
    : CControl(size, nullptr, -1, background) {}

void CParamDisplay::setFont(CFontRef value) {
    font = value ? value : kNormalFont;
    setDirty(true);
}

void CParamDisplay::setFontColor(const CColor& color) {
    fontColor = color;
    setDirty(true);
}

void CParamDisplay::setBackColor(const CColor& color) {
    backColor = color;
    setDirty(true);
}

void CParamDisplay::setFrameColor(const CColor& color) {
    frameColor = color;
    setDirty(true);
}

void CParamDisplay::setHoriAlign(CHoriTxtAlign align) {
    horiAlign = align;
    setDirty(true);
}

void CParamDisplay::setValueToStringProc(CParamDisplayValueToStringProc proc, void* userData) {
    valueToString = proc;
    valueToStringUserData = userData;
    setDirty(true);
}

void CParamDisplay::getText(char utf8String[256]) const {
    utf8String[0] = '\0';
    if (valueToString) {
        if (!valueToString(value, utf8String, valueToStringUserData)) utf8String[0] = '\0';
        utf8String[255] = '\0';
    } else {
        std::snprintf(utf8String, 256, "%2.2f", static_cast<double>(value));
    }
}

void CParamDisplay::draw(CDrawContext* context) {
    if (background) {
        context->drawBitmap(background, size);
    } else {
        context->setFillColor(backColor);
        context->setFrameColor(frameColor);
        context->drawRect(size, kDrawFilledAndStroked);  // each part skipped when transparent
    }
    char text[256];
    getText(text);
    context->setFont(font);
    context->setFontColor(fontColor);
    context->drawString(text, size, horiAlign);
    setOldValue(value);
    setDirty(false);
}
