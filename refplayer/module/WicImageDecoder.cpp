#include "refplayer/module/WicImageDecoder.h"

#include <windows.h>
#include <wincodec.h>

#include "framework/ComPtr.h"

namespace {

// Largest picture decoded, in pixels: a movie cannot make the player allocate without end.
constexpr UINT MaxPixels = 8192u * 8192u;

}  // namespace

bool TWicImageDecoder::Decode(const uint8_t* data, size_t size, refplayer::SwfBitmap& bitmap) {
    if (!data || size == 0 || size > 0x7FFFFFFF) return false;
    TComPtr<IWICImagingFactory> factory;
    if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                factory.PutVoid())))
        return false;
    TComPtr<IWICStream> stream;
    if (FAILED(factory->CreateStream(stream.Put())) ||
        FAILED(stream->InitializeFromMemory(const_cast<BYTE*>(data), static_cast<DWORD>(size))))
        return false;
    TComPtr<IWICBitmapDecoder> decoder;
    if (FAILED(factory->CreateDecoderFromStream(stream.Get(), nullptr, WICDecodeMetadataCacheOnDemand, decoder.Put())))
        return false;
    TComPtr<IWICBitmapFrameDecode> frame;
    if (FAILED(decoder->GetFrame(0, frame.Put()))) return false;
    TComPtr<IWICFormatConverter> converter;
    if (FAILED(factory->CreateFormatConverter(converter.Put())) ||
        FAILED(converter->Initialize(frame.Get(), GUID_WICPixelFormat32bppPBGRA, WICBitmapDitherTypeNone, nullptr, 0,
                                     WICBitmapPaletteTypeCustom)))
        return false;
    UINT width = 0, height = 0;
    if (FAILED(converter->GetSize(&width, &height)) || width == 0 || height == 0 || width > MaxPixels / height)
        return false;
    bitmap.width = static_cast<int>(width);
    bitmap.height = static_cast<int>(height);
    bitmap.pixels.assign(size_t(width) * height, 0);
    // 32bpp PBGRA in memory is 0xAARRGGBB premultiplied, as the core keeps it.
    if (FAILED(converter->CopyPixels(nullptr, width * 4, width * height * 4,
                                     reinterpret_cast<BYTE*>(bitmap.pixels.data())))) {
        bitmap = refplayer::SwfBitmap();
        return false;
    }
    return true;
}
