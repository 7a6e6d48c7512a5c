#include "gui/shell/GuiJpeg.h"

#include <gtest/gtest.h>

#include <QColor>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <functional>
#include <vector>

#include <jpeglib.h>

#include "core/shell/ActivityLog.h"
#include "core/shell/uConst.h"
#include "gui/shell/GuiTestSupport.h"
#include "support/TempMachine.h"

namespace tarnel {
namespace {

// Writes a JPEG with libjpeg's compressor; `pixel` gives the samples of
// one pixel (1, 3 or 4 of them, as `space` needs).
void WriteJpeg(const QString& path, int width, int height, J_COLOR_SPACE space, int components,
               const std::function<std::vector<JSAMPLE>(int x, int y)>& pixel) {
    FILE* out = std::fopen(path.toLocal8Bit().constData(), "wb");
    ASSERT_NE(out, nullptr);
    jpeg_compress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_compress(&cinfo);
    jpeg_stdio_dest(&cinfo, out);
    cinfo.image_width = width;
    cinfo.image_height = height;
    cinfo.input_components = components;
    cinfo.in_color_space = space;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 100, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<JSAMPLE> row(width * components);
    while (cinfo.next_scanline < cinfo.image_height) {
        for (int x = 0; x < width; ++x) {
            std::vector<JSAMPLE> p = pixel(x, cinfo.next_scanline);
            std::copy(p.begin(), p.end(), row.begin() + x * components);
        }
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&cinfo, &r, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::fclose(out);
}

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << path.toStdString();
    return f.readAll();
}

void WriteAll(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

void ExpectColour(const QImage& image, int x, int y, QColor want) {
    const QColor got = image.pixelColor(x, y);
    EXPECT_NEAR(got.red(), want.red(), 6) << "at " << x << "," << y;
    EXPECT_NEAR(got.green(), want.green(), 6) << "at " << x << "," << y;
    EXPECT_NEAR(got.blue(), want.blue(), 6) << "at " << x << "," << y;
}

const QString kSplash = QString(TARNEL_ART_DIR) + "/splash.jpg";

TEST(GuiJpeg, DecodesEachColourSpaceToRgb) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());

    // Left half red, right half blue; sampled away from the seam.
    const QString rgb = dir.filePath("rgb.jpg");
    WriteJpeg(rgb, 32, 16, JCS_RGB, 3, [](int x, int) {
        return x < 16 ? std::vector<JSAMPLE>{220, 30, 30} : std::vector<JSAMPLE>{20, 40, 200};
    });
    std::string error = "stale";
    QImage image = LoadJpegImage(rgb, &error);
    ASSERT_FALSE(image.isNull()) << error;
    EXPECT_TRUE(error.empty());
    EXPECT_EQ(image.size(), QSize(32, 16));
    EXPECT_EQ(image.format(), QImage::Format_RGB32) << "what a window draws from, so showing it converts nothing";
    ExpectColour(image, 3, 8, QColor(220, 30, 30));
    ExpectColour(image, 28, 8, QColor(20, 40, 200));

    // Grayscale: a horizontal ramp keeps its levels and comes out grey.
    const QString gray = dir.filePath("gray.jpg");
    WriteJpeg(gray, 24, 8, JCS_GRAYSCALE, 1,
              [](int x, int) { return std::vector<JSAMPLE>{static_cast<JSAMPLE>(x < 12 ? 40 : 190)}; });
    image = LoadJpegImage(gray, &error);
    ASSERT_FALSE(image.isNull()) << error;
    EXPECT_EQ(image.size(), QSize(24, 8));
    ExpectColour(image, 2, 4, QColor(40, 40, 40));
    ExpectColour(image, 21, 4, QColor(190, 190, 190));

    // CMYK, stored inverted: no cyan, full magenta and yellow, no black.
    const QString cmyk = dir.filePath("cmyk.jpg");
    WriteJpeg(cmyk, 8, 8, JCS_CMYK, 4, [](int, int) { return std::vector<JSAMPLE>{255, 0, 0, 255}; });
    image = LoadJpegImage(cmyk, &error);
    ASSERT_FALSE(image.isNull()) << error;
    ExpectColour(image, 4, 4, QColor(255, 0, 0));
}

TEST(GuiJpeg, ProgramPicturesDecodeAtTheirDesignSizes) {
    std::string error;
    const QImage splash = LoadJpegImage(kSplash, &error);
    ASSERT_FALSE(splash.isNull()) << error;
    EXPECT_EQ(splash.size(), QSize(491, 242));
    EXPECT_EQ(LoadJpegImage(QString(TARNEL_ART_DIR) + "/recycled.jpg", &error).size(), QSize(32, 32));
    EXPECT_FALSE(LoadJpegImage(QString(TARNEL_ART_DIR) + "/question.jpg", &error).isNull()) << error;

    // The about box writes white text into this area: it must be dark
    // everywhere, not only on average.
    int brightest = 0;
    for (int y = 112; y <= 225; ++y)
        for (int x = 24; x <= 360; ++x) brightest = std::max(brightest, splash.pixelColor(x, y).lightness());
    EXPECT_LT(brightest, 110);
}

TEST(GuiJpeg, UnreadableFilesGiveANullImageAndNameTheFile) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QByteArray good = ReadAll(kSplash);
    ASSERT_GT(good.size(), 1000);

    const QString truncated = dir.filePath("truncated.jpg");
    WriteAll(truncated, good.left(good.size() * 6 / 10));

    // An end-of-image marker in the middle of the scan data.
    const QString damagedScan = dir.filePath("damaged-scan.jpg");
    QByteArray bytes = good;
    bytes[bytes.size() / 2] = char(0xFF);
    bytes[bytes.size() / 2 + 1] = char(0xD9);
    WriteAll(damagedScan, bytes);

    // A frame header claiming a sample precision no decoder offers.
    const QString badHeader = dir.filePath("bad-header.jpg");
    bytes = good;
    const int sof = bytes.indexOf(QByteArray("\xFF\xC0", 2));
    ASSERT_GT(sof, 0);
    bytes[sof + 4] = 3;
    WriteAll(badHeader, bytes);

    const QString text = dir.filePath("notes.jpg");
    WriteAll(text, "not a picture at all\n");
    const QString empty = dir.filePath("empty.jpg");
    WriteAll(empty, QByteArray());
    const QString missing = dir.filePath("missing.jpg");

    for (const QString& file : {truncated, damagedScan, badHeader, text, empty, missing}) {
        SCOPED_TRACE(file.toStdString());
        std::string error;
        EXPECT_TRUE(LoadJpegImage(file, &error).isNull());
        EXPECT_EQ(error.rfind(file.toStdString() + ": ", 0), 0u) << error;
        EXPECT_GT(error.size(), file.size() + 2) << "no reason given";
        // Without an error sink the failure is just as quiet.
        EXPECT_TRUE(LoadJpegImage(file, nullptr).isNull());
    }
    std::string error;
    LoadJpegImage(text, &error);
    EXPECT_NE(error.find("Not a JPEG file"), std::string::npos) << error;
}

TEST(GuiJpeg, ArtPictureFailureLogsOneLine) {
    test::TempMachine machine;  // program texts need the machine's code page
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    TLog log;
    {
        test::ArtDirScope art;
        EXPECT_FALSE(LoadArtPicture(ToQ(cArtSplash), &log).isNull());
        EXPECT_EQ(log.Count(), 0u);
    }
    test::ArtDirScope art(dir.path());
    EXPECT_TRUE(LoadArtPicture(ToQ(cArtSplash), &log).isNull());
    ASSERT_EQ(log.Count(), 1u);
    EXPECT_NE(log.Lines()[0].find(std::string(cLogPictureNotLoaded) + dir.filePath("splash.jpg").toStdString()),
              std::string::npos)
        << log.Lines()[0];
    EXPECT_TRUE(LoadArtPicture(ToQ(cArtSplash), nullptr).isNull());
}

}  // namespace
}  // namespace tarnel
