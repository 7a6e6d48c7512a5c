// The program's pictures (JPEG files beside the program), decoded with the
// imaging component Windows provides, into bitmaps a window can draw.
#pragma once

#include "win/shell/WinCommon.h"

namespace tarnel {
class TLog;
}

namespace tarnel::win {

// An owned 32-bit bitmap with its size.
class TPicture {
public:
    TPicture() = default;
    ~TPicture() { Reset(); }
    TPicture(const TPicture&) = delete;
    TPicture& operator=(const TPicture&) = delete;
    TPicture(TPicture&& other) noexcept { *this = std::move(other); }
    TPicture& operator=(TPicture&& other) noexcept;

    bool Empty() const { return bitmap_ == nullptr; }
    HBITMAP Bitmap() const { return bitmap_; }
    int Width() const { return width_; }
    int Height() const { return height_; }
    // Draws the picture into `area`: stretched to fill it, or at its own size
    // centred in it. Pixels made see-through (KeyOutCornerColour) let what
    // is beneath show.
    void Draw(HDC dc, const RECT& area, bool stretch) const;
    // Makes the pixels close to the bottom-left one see-through: the small
    // icon's background, drawn "transparent" the classic way (JPEG blurs
    // the colour a little).
    void KeyOutCornerColour();

    void Reset();
    void Adopt(HBITMAP bitmap, int width, int height, bool seeThrough);

private:
    HBITMAP bitmap_ = nullptr;
    int width_ = 0, height_ = 0;
    bool seeThrough_ = false;
};

// Decodes a picture file. False, with `*error` reading "<file>: <reason>",
// when the file cannot be read or decoded; the picture is then empty.
bool LoadPicture(const std::wstring& file, TPicture& picture, std::string* error);

// One of the program's own pictures (ArtFile(name)). A missing or broken
// picture leaves an empty picture (an empty picture area) and one line
// naming the file and the reason in `log` (when given), never an error.
TPicture LoadArtPicture(const std::string& name, TLog* log);

}  // namespace tarnel::win
