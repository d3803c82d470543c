// Reference counting of images, views and the frame: a new object carries one reference,
// remember() adds one, forget() drops one and deletes the object at zero. UI thread.
#pragma once

#include <cstdint>

class CBaseObject {
public:
    CBaseObject() = default;
    virtual ~CBaseObject() = default;
    CBaseObject(const CBaseObject&) = delete;
    CBaseObject& operator=(const CBaseObject&) = delete;

    virtual void remember() { ++nbReference; }
    virtual void forget() {
        if (--nbReference == 0) delete this;
    }
    int32_t getNbReference() const { return nbReference; }

private:
    int32_t nbReference = 1;
};
