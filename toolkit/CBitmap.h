// An image of the module's resource table, decoded once from its PNG bytes by the drawing back
// end. An image that cannot be found or decoded is 0 x 0 and draws nothing. UI thread.
#pragma once

#include <memory>

#include "toolkit/CBaseObject.h"
#include "toolkit/CPoint.h"
#include "toolkit/CResourceDescription.h"
#include "toolkit/IPlatformBitmap.h"

class CDrawContext;
struct CRect;

class CBitmap : public CBaseObject {
public:
    explicit CBitmap(const CResourceDescription& description);
    ~CBitmap() override;

    CCoord getWidth() const;   // pixels; 0 when not loaded
    CCoord getHeight() const;  // pixels; 0 when not loaded
    bool isLoaded() const { return platformBitmap != nullptr; }
    bool isOpaque() const { return platformBitmap && platformBitmap->isOpaque(); }  // false when not loaded
    const CResourceDescription& getResourceDescription() const { return description; }

    // Draws the part of the image from offset on into destination at the image's own scale.
    void draw(CDrawContext* context, const CRect& destination, const CPoint& offset = CPoint(0, 0),
              float alpha = 1.0f);

    IPlatformBitmap* getPlatformBitmap() const { return platformBitmap.get(); }  // null when not loaded

private:
    CResourceDescription description;
    std::unique_ptr<IPlatformBitmap> platformBitmap;
};
