#include "toolkit/CBitmap.h"

#include "platform/Resources.h"
#include "toolkit/CDrawContext.h"

CBitmap::CBitmap(const CResourceDescription& description) : description(description) {
    const lumetra::Resource resource = lumetra::findResource(description.id);
    if (resource.data == nullptr || resource.size == 0) return;
    platformBitmap = IPlatformBitmap::createFromPng(resource.data, resource.size);
}

CBitmap::~CBitmap() = default;

CCoord CBitmap::getWidth() const { return platformBitmap ? platformBitmap->getWidth() : 0; }

CCoord CBitmap::getHeight() const { return platformBitmap ? platformBitmap->getHeight() : 0; }

void CBitmap::draw(CDrawContext* context, const CRect& destination, const CPoint& offset, float alpha) {
    if (context) context->drawBitmap(this, destination, offset, alpha);
}
