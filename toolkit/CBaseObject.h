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

namespace lumetra {

// One reference held for a scope. Event handling keeps the frame and the view it works on alive
// with it: what a handler calls may reach the host, and the host may close the editor there,
// which releases the frame and its views. They go when the handling has returned.
class KeepAlive {
public:
    explicit KeepAlive(CBaseObject* object) : object(object) {
        if (object) object->remember();
    }
    ~KeepAlive() {
        if (object) object->forget();
    }
    KeepAlive(const KeepAlive&) = delete;
    KeepAlive& operator=(const KeepAlive&) = delete;

private:
    CBaseObject* object;
};

}  // namespace lumetra
