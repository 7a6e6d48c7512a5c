// The program's pictures are JPEG files decoded with the IJG library
// directly, so that showing them does not depend on which image plugins
// the GUI library happens to ship.
#pragma once

#include <QImage>
#include <QPixmap>
#include <QString>
#include <string>

namespace tarnel {

// Decodes a baseline or progressive JPEG (grayscale, RGB/YCbCr, CMYK/YCCK)
// into an RGB888 image. Any library error or warning (a truncated or corrupt
// file) rejects the picture: the result is then a null image and `*error`
// (when given) reads "<file>: <what went wrong>", in UTF-8.
QImage LoadJpegImage(const QString& file, std::string* error);

class TLog;

// One of the program's own pictures (ArtFile(name)). A missing or broken
// picture is not fatal: the result is a null pixmap, so the window shows an
// empty picture area, and one line naming the file and the reason goes to
// `log` (when given).
QPixmap LoadArtPicture(const QString& name, TLog* log);

}  // namespace tarnel
