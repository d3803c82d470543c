// PNG bytes decoded by WIC into a premultiplied BGRA DIB section. COM is initialised for the
// decoding only and uninitialised when that initialisation counted, so that nothing of it
// outlives the call; every WIC object is released before.
#include <wincodec.h>
#include <windows.h>

#include <cstring>

#include "toolkit/win32/GdiOffscreen.h"

namespace {

// Releases a COM interface when it goes.
template <typename T>
struct ComRef {
    T* p = nullptr;
    ComRef() = default;
    ComRef(const ComRef&) = delete;
    ComRef& operator=(const ComRef&) = delete;
    ~ComRef() {
        if (p) p->Release();
    }
    T** out() { return &p; }
    T* operator->() const { return p; }
};

constexpr UINT kMaxSide = 16384;  // far above any artwork; keeps width x height x 4 in range

std::unique_ptr<IPlatformBitmap> decode(const unsigned char* data, size_t size) {
    ComRef<IWICImagingFactory> factory;
    if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                reinterpret_cast<void**>(factory.out()))))
        return nullptr;
    ComRef<IWICStream> stream;
    if (FAILED(factory->CreateStream(stream.out())) ||
        FAILED(stream->InitializeFromMemory(const_cast<BYTE*>(data), static_cast<DWORD>(size))))
        return nullptr;
    ComRef<IWICBitmapDecoder> decoder;
    if (FAILED(factory->CreateDecoderFromStream(stream.p, &GUID_ContainerFormatPng, WICDecodeMetadataCacheOnDemand,
                                                decoder.out())))
        return nullptr;
    ComRef<IWICBitmapFrameDecode> frame;
    if (FAILED(decoder->GetFrame(0, frame.out()))) return nullptr;
    ComRef<IWICFormatConverter> converter;
    if (FAILED(factory->CreateFormatConverter(converter.out())) ||
        FAILED(converter->Initialize(frame.p, GUID_WICPixelFormat32bppPBGRA, WICBitmapDitherTypeNone, nullptr, 0.0,
                                     WICBitmapPaletteTypeCustom)))
        return nullptr;
    UINT width = 0, height = 0;
    if (FAILED(converter->GetSize(&width, &height)) || width == 0 || height == 0 || width > kMaxSide ||
        height > kMaxSide)
        return nullptr;

    void* bits = nullptr;
    HBITMAP bitmap = createDibSection(static_cast<int32_t>(width), static_cast<int32_t>(height), &bits);
    if (bitmap == nullptr) return nullptr;
    const UINT stride = width * 4;
    if (FAILED(converter->CopyPixels(nullptr, stride, stride * height, static_cast<BYTE*>(bits)))) {
        DeleteObject(bitmap);
        return nullptr;
    }
    const auto* pixels = static_cast<const uint32_t*>(bits);
    bool opaque = true;
    for (size_t i = 0; opaque && i < static_cast<size_t>(width) * height; ++i) opaque = (pixels[i] >> 24) == 0xFF;
    try {
        return std::make_unique<GdiBitmap>(bitmap, pixels, static_cast<int32_t>(width), static_cast<int32_t>(height),
                                           opaque);
    } catch (...) {
        DeleteObject(bitmap);
        throw;
    }
}

}  // namespace

std::unique_ptr<IPlatformBitmap> IPlatformBitmap::createFromPng(const unsigned char* data, size_t size) {
    if (data == nullptr || size == 0 || size > 0x7FFFFFFF) return nullptr;
    // S_OK and S_FALSE (already initialised on this thread) both count and are paired; a thread
    // in the other apartment model (RPC_E_CHANGED_MODE) has COM already, and WIC works in both.
    struct ComForThisCall {
        HRESULT result = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        ~ComForThisCall() {
            if (SUCCEEDED(result)) CoUninitialize();
        }
    } com;
    return decode(data, size);
}
