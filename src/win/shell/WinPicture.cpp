#include "win/shell/WinPicture.h"

#include <wincodec.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "core/shell/ActivityLog.h"
#include "core/shell/uConst.h"

namespace tarnel::win {

namespace {

template <typename T>
struct TCom {
    T* p = nullptr;
    ~TCom() {
        if (p) p->Release();
    }
    T** operator&() { return &p; }
    T* operator->() const { return p; }
};

std::string Reason(HRESULT hr) {
    wchar_t* text = nullptr;
    const DWORD n = ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                         FORMAT_MESSAGE_IGNORE_INSERTS,
                                     nullptr, DWORD(hr), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring said = n ? std::wstring(text, n) : std::wstring();
    if (text) ::LocalFree(text);
    while (!said.empty() && (said.back() == L'\n' || said.back() == L'\r' || said.back() == L' ')) said.pop_back();
    char code[32];
    std::snprintf(code, sizeof code, "error 0x%08lX", static_cast<unsigned long>(hr));
    return said.empty() ? std::string(code) : FromW(said) + " (" + code + ")";
}

}  // namespace

TPicture& TPicture::operator=(TPicture&& other) noexcept {
    if (this != &other) {
        Reset();
        bitmap_ = other.bitmap_;
        width_ = other.width_;
        height_ = other.height_;
        seeThrough_ = other.seeThrough_;
        other.bitmap_ = nullptr;
        other.width_ = other.height_ = 0;
    }
    return *this;
}

void TPicture::Reset() {
    if (bitmap_) ::DeleteObject(bitmap_);
    bitmap_ = nullptr;
    width_ = height_ = 0;
    seeThrough_ = false;
}

void TPicture::Adopt(HBITMAP bitmap, int width, int height, bool seeThrough) {
    Reset();
    bitmap_ = bitmap;
    width_ = width;
    height_ = height;
    seeThrough_ = seeThrough;
}

void TPicture::Draw(HDC dc, const RECT& area, bool stretch) const {
    if (!bitmap_) return;
    RECT to = area;
    if (!stretch) {
        const int left = area.left + ((area.right - area.left) - width_) / 2;
        const int top = area.top + ((area.bottom - area.top) - height_) / 2;
        to = RECT{left, top, left + width_, top + height_};
    }
    HDC source = ::CreateCompatibleDC(dc);
    HGDIOBJ old = ::SelectObject(source, bitmap_);
    if (seeThrough_) {
        BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
        ::AlphaBlend(dc, to.left, to.top, to.right - to.left, to.bottom - to.top, source, 0, 0, width_, height_, blend);
    } else {
        ::SetStretchBltMode(dc, HALFTONE);
        ::SetBrushOrgEx(dc, 0, 0, nullptr);
        ::StretchBlt(dc, to.left, to.top, to.right - to.left, to.bottom - to.top, source, 0, 0, width_, height_,
                     SRCCOPY);
    }
    ::SelectObject(source, old);
    ::DeleteDC(source);
}

void TPicture::KeyOutCornerColour() {
    if (!bitmap_) return;
    DIBSECTION dib{};
    if (::GetObjectW(bitmap_, sizeof dib, &dib) != sizeof dib || !dib.dsBm.bmBits) return;
    auto* pixels = static_cast<uint32_t*>(dib.dsBm.bmBits);
    // Rows run top down (the bitmap was made so): the corner is the last row's first pixel.
    const uint32_t key = pixels[size_t(height_ - 1) * size_t(width_)];
    auto channel = [](uint32_t p, int shift) { return int((p >> shift) & 0xFF); };
    for (size_t i = 0; i < size_t(width_) * size_t(height_); ++i) {
        const uint32_t p = pixels[i];
        const int distance = std::abs(channel(p, 16) - channel(key, 16)) + std::abs(channel(p, 8) - channel(key, 8)) +
                             std::abs(channel(p, 0) - channel(key, 0));
        // Premultiplied: a see-through pixel is all zero.
        pixels[i] = distance < 48 ? 0 : (p | 0xFF000000u);
    }
    seeThrough_ = true;
}

bool LoadPicture(const std::wstring& file, TPicture& picture, std::string* error) {
    picture.Reset();
    auto fail = [&](HRESULT hr) {
        if (error) *error = FromW(file) + ": " + Reason(hr);
        return false;
    };
    // The imaging component is a COM server; a thread that has not met COM
    // yet is set up here (a second set-up of the same kind is harmless).
    const HRESULT init = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    struct Uninit {
        bool on;
        ~Uninit() {
            if (on) ::CoUninitialize();
        }
    } uninit{SUCCEEDED(init)};

    TCom<IWICImagingFactory> factory;
    HRESULT hr = ::CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                    reinterpret_cast<void**>(&factory));
    if (FAILED(hr)) return fail(hr);
    TCom<IWICBitmapDecoder> decoder;
    hr = factory->CreateDecoderFromFilename(file.c_str(), nullptr, GENERIC_READ, WICDecodeMetadataCacheOnDemand,
                                            &decoder);
    if (FAILED(hr)) return fail(hr);
    TCom<IWICBitmapFrameDecode> frame;
    hr = decoder->GetFrame(0, &frame);
    if (FAILED(hr)) return fail(hr);
    TCom<IWICFormatConverter> converter;
    hr = factory->CreateFormatConverter(&converter);
    if (SUCCEEDED(hr))
        hr = converter->Initialize(frame.p, GUID_WICPixelFormat32bppBGRA, WICBitmapDitherTypeNone, nullptr, 0,
                                   WICBitmapPaletteTypeCustom);
    if (FAILED(hr)) return fail(hr);
    UINT width = 0, height = 0;
    hr = converter->GetSize(&width, &height);
    if (FAILED(hr)) return fail(hr);
    if (width == 0 || height == 0 || width > 16384 || height > 16384) return fail(WINCODEC_ERR_BADIMAGE);

    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = LONG(width);
    info.bmiHeader.biHeight = -LONG(height);  // top down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = ::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!bitmap) return fail(HRESULT_FROM_WIN32(::GetLastError()));
    hr = converter->CopyPixels(nullptr, width * 4, width * height * 4, static_cast<BYTE*>(bits));
    if (FAILED(hr)) {
        ::DeleteObject(bitmap);
        return fail(hr);
    }
    picture.Adopt(bitmap, int(width), int(height), false);
    return true;
}

TPicture LoadArtPicture(const std::string& name, TLog* log) {
    TPicture picture;
    std::string error;
    if (!LoadPicture(ArtFile(name), picture, &error) && log) log->WriteLog(cLogPictureNotLoaded + error);
    return picture;
}

}  // namespace tarnel::win
