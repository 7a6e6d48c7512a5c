#include "gui/shell/GuiJpeg.h"

#include <QFile>

#include "core/shell/ActivityLog.h"
#include "gui/shell/GuiCommon.h"
#include "core/shell/uConst.h"

#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

namespace tarnel {

namespace {

// The library's default error handler ends the process; this one jumps
// back to the decoder with the library's own wording of the problem.
struct TJpegError {
    jpeg_error_mgr mgr;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

[[noreturn]] void JpegErrorExit(j_common_ptr cinfo) {
    auto* err = reinterpret_cast<TJpegError*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, err->message);
    std::longjmp(err->jump, 1);
}

// Warnings (level -1) are how the library reports a truncated file or
// damaged entropy data while still producing an image; a half-grey
// picture is worse than none, so they reject it as errors do. Trace
// messages (level >= 0) are ignored.
void JpegEmitMessage(j_common_ptr cinfo, int level) {
    if (level < 0) JpegErrorExit(cinfo);
}

// Expands one decoded scanline of `components` samples per pixel into
// 32-bit pixels. CMYK JPEG files in practice store the ink inverted
// (0 = full ink), the convention that goes with the Adobe marker their
// writers add; all are read that way.
void ToRgb32(const JSAMPLE* in, uchar* out, JDIMENSION width, int components) {
    auto* pixel = reinterpret_cast<QRgb*>(out);
    for (JDIMENSION x = 0; x < width; ++x) {
        if (components == 1) {
            pixel[x] = qRgb(in[x], in[x], in[x]);
        } else {
            const JSAMPLE* p = in + x * 4;
            const int k = p[3];
            pixel[x] = qRgb(p[0] * k / 255, p[1] * k / 255, p[2] * k / 255);
        }
    }
}

// The part that may be left by longjmp: it holds no object with a
// destructor; the image it fills belongs to the caller.
bool Decode(const JOCTET* data, unsigned long size, QImage* image, char* message) {
    jpeg_decompress_struct cinfo;
    TJpegError err;
    cinfo.err = jpeg_std_error(&err.mgr);
    err.mgr.error_exit = JpegErrorExit;
    err.mgr.emit_message = JpegEmitMessage;
    err.message[0] = '\0';
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&cinfo);
        std::snprintf(message, JMSG_LENGTH_MAX, "%s", err.message);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, data, size);
    jpeg_read_header(&cinfo, TRUE);

    // Colour pictures are decoded straight into the pixel layout windows
    // draw from, so that showing one converts nothing; the others have
    // `components` samples per pixel to expand.
    int components = 0;
    switch (cinfo.jpeg_color_space) {
    case JCS_GRAYSCALE:
        cinfo.out_color_space = JCS_GRAYSCALE;
        components = 1;
        break;
    case JCS_CMYK:
    case JCS_YCCK:
        cinfo.out_color_space = JCS_CMYK;
        components = 4;
        break;
    default:
        cinfo.out_color_space = Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? JCS_EXT_BGRA : JCS_EXT_ARGB;
        break;
    }
    jpeg_start_decompress(&cinfo);

    *image = QImage(static_cast<int>(cinfo.output_width), static_cast<int>(cinfo.output_height),
                    QImage::Format_RGB32);
    if (image->isNull()) {
        std::snprintf(message, JMSG_LENGTH_MAX, "picture of %ux%u pixels is too large",
                      cinfo.output_width, cinfo.output_height);
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    // Grayscale and CMYK rows need converting; the pool goes with cinfo.
    JSAMPARRAY row = nullptr;
    if (components != 0)
        row = (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE,
                                         cinfo.output_width * components, 1);
    while (cinfo.output_scanline < cinfo.output_height) {
        uchar* line = image->scanLine(static_cast<int>(cinfo.output_scanline));
        if (components == 0) {
            JSAMPROW direct = line;
            jpeg_read_scanlines(&cinfo, &direct, 1);
        } else {
            jpeg_read_scanlines(&cinfo, row, 1);
            ToRgb32(row[0], line, cinfo.output_width, components);
        }
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return true;
}

}  // namespace

QImage LoadJpegImage(const QString& file, std::string* error) {
    auto fail = [&](const std::string& problem) {
        if (error) *error = file.toStdString() + ": " + problem;
        return QImage();
    };
    QFile in(file);
    if (!in.open(QIODevice::ReadOnly)) return fail(in.errorString().toStdString());
    const QByteArray bytes = in.readAll();
    if (in.error() != QFileDevice::NoError) return fail(in.errorString().toStdString());
    if (bytes.isEmpty()) return fail("the file is empty");

    QImage image;
    char message[JMSG_LENGTH_MAX];
    if (!Decode(reinterpret_cast<const JOCTET*>(bytes.constData()), static_cast<unsigned long>(bytes.size()),
                &image, message))
        return fail(message);
    if (error) error->clear();
    return image;
}

QPixmap LoadArtPicture(const QString& name, TLog* log) {
    std::string error;
    const QImage image = LoadJpegImage(ArtFile(name), &error);
    if (image.isNull()) {
        // The error is UTF-8 like the file name; log lines are program text.
        if (log) log->WriteLog(cLogPictureNotLoaded + FromQ(QString::fromStdString(error)));
        return QPixmap();
    }
    return QPixmap::fromImage(image);
}

}  // namespace tarnel
