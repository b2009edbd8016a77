// One drawing as a metafile, PNG, SVG and PDF: the metafile read by our reader
// and converted by an outside reader, and the clipboard's picture and text
// formats read back.
#include "platform/core/metafile_reader.h"
#include "platform/core/metafile_records.h"
#include "platform/qt/application.h"
#include "platform/qt/clipboard.h"
#include "platform/qt/painter_device_context.h"
#include "platform/qt/printing.h"
#include "platform/testing/qt_support.h"
#include "platform/testing/sample_drawing.h"
#include "platform/testing/temp_dir.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QPrinter>

#include <cstdlib>
#include <fstream>

using namespace platform;
using testsupport::kSampleHeight;
using testsupport::kSampleWidth;

namespace {

Application& app()
{
    static int argc = 1;
    static char name[] = "test_qt_pictures";
    static char* argv[] = {name, nullptr};
    static Application* instance = new Application(argc, argv);
    return *instance;
}

const PictureArea kSampleArea{-5, -5, kSampleWidth + 10, kSampleHeight + 10, 96};

/// Writes a file into the test's directory, and a copy into $ORVANTA_GRAB_DIR when set (to look at).
std::string keep(const testsupport::TempDir& dir, const std::string& name, const std::string& bytes)
{
    std::string path = dir.write(name, bytes);
    if (const char* grab = std::getenv("ORVANTA_GRAB_DIR"))
        std::ofstream(std::string(grab) + "/" + name, std::ios::binary) << bytes;
    return path;
}

/// Prints the sample on one page, scaled to fill the page width.
class SamplePrintout : public Printout {
public:
    SamplePrintout() : Printout("Sample") {}
    bool hasPage(int) override { return false; }
    void printPage(int, DeviceContext& dc, int pageWidth, int pageHeight) override
    {
        dc.setMapMode(MapMode::Isotropic);
        dc.setWindowOrigin(kSampleArea.left, kSampleArea.top);
        dc.setWindowExtent(kSampleArea.width, kSampleArea.height);
        dc.setViewportExtent(pageWidth, pageHeight);
        testsupport::drawSample(dc);
    }
};

class Pictures : public ::testing::Test {
protected:
    void SetUp() override { app(); }
    testsupport::TempDir dir;
};

} // namespace

TEST_F(Pictures, TheSampleAsAMetafileHasItsExtentsAndAnOutsideReaderConvertsIt)
{
    Picture picture = makePicture(kSampleArea, testsupport::drawSample);
    std::string wmfPath = keep(dir, "sample.wmf", picture.metafile);
    keep(dir, "sample.png", picture.png);
    keep(dir, "sample.svg", picture.svg);

    std::string error;
    std::optional<Metafile> file = readMetafile(picture.metafile, &error);
    ASSERT_TRUE(file) << error;
    EXPECT_EQ((std::vector<int>{file->left, file->top, file->right, file->bottom}),
              (std::vector<int>{-5, -5, kSampleWidth + 5, kSampleHeight + 5}));
    EXPECT_TRUE(file->checksumMatches);
    std::vector<std::string> names = file->recordNames();
    EXPECT_EQ(std::vector<std::string>(names.begin(), names.begin() + 4),
              (std::vector<std::string>{"SETBKMODE", "SETMAPMODE", "SETWINDOWORG", "SETWINDOWEXT"}));
    for (std::uint16_t function : {wmf::LineTo, wmf::Polyline, wmf::Rectangle, wmf::Ellipse, wmf::PatBlt,
                                   wmf::SetPixel, wmf::TextOut, wmf::StretchDib, wmf::SetRop2, wmf::IntersectClipRect})
        EXPECT_FALSE(file->recordsOf(function).empty()) << wmf::recordName(function);

    const std::optional<std::string> svg = testsupport::convertMetafileToSvg(wmfPath, dir.file("converted.svg"), error);
    if (!svg && error.empty()) {
        if (std::getenv("CI"))
            FAIL() << "wmf2svg is not installed (scripts/install-deps installs libwmf-bin)";
        GTEST_SKIP() << "wmf2svg is not installed";
    }
    ASSERT_TRUE(svg) << error;
    keep(dir, "sample-converted.svg", *svg);
    EXPECT_NE(svg->find("<line"), std::string::npos);
    EXPECT_NE(svg->find("<rect"), std::string::npos);
    EXPECT_NE(svg->find("Orvanta plot"), std::string::npos);
}

TEST_F(Pictures, TheSampleAsPngAndPdfHasEveryPartInItsPlace)
{
    Picture picture = makePicture(kSampleArea, testsupport::drawSample);
    QImage png = QImage::fromData(QByteArray(picture.png.data(), static_cast<qsizetype>(picture.png.size())), "PNG");
    ASSERT_EQ(png.size(), QSize(kSampleWidth + 10, kSampleHeight + 10));
    auto at = [&](int x, int y) {
        QColor c = png.pixelColor(x + 5, y + 5);
        return rgb(c.red(), c.green(), c.blue());
    };
    EXPECT_EQ(at(2, 2), 0u);                       // frame
    EXPECT_EQ(at(150, 30), rgb(255, 230, 0));      // filled rectangle
    EXPECT_EQ(at(207, 30), rgb(0, 170, 0));        // ellipse
    EXPECT_EQ(at(140, 60), rgb(0, 120, 255));      // fill
    EXPECT_EQ(at(157, 62), rgb(255, 0, 255));      // pixels
    EXPECT_EQ(at(153, 101), rgb(255, 0, 0));       // the copied bitmap's red pixel
    EXPECT_EQ(at(171, 103), rgb(255, 0, 0));       // and stretched twice
    EXPECT_EQ(at(190, 100), rgb(0, 0, 255));       // the masked bitmap in the text colour
    EXPECT_EQ(at(180, 75), 0u);                    // the inverted line on white
    EXPECT_EQ(at(180, 130), rgb(255, 128, 0));     // inside the clip
    EXPECT_EQ(at(160, 122), rgb(255, 255, 255));   // the clipped-off part of the ellipse
    EXPECT_EQ(at(60, 40), rgb(255, 255, 160));     // the opaque text's background

    std::string pdfPath = dir.file("sample.pdf");
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(QString::fromStdString(pdfPath));
    SamplePrintout printout;
    ASSERT_TRUE(printDocument(printout, printer, false));
    QFile pdf(QString::fromStdString(pdfPath));
    ASSERT_TRUE(pdf.open(QIODevice::ReadOnly));
    QByteArray bytes = pdf.readAll();
    EXPECT_TRUE(bytes.startsWith("%PDF"));
    keep(dir, "sample.pdf", bytes.toStdString());
}

TEST_F(Pictures, CopyPutsTheThreePictureFormatsAndPasteGivesTheirBytesBack)
{
    Picture picture = makePicture(kSampleArea, testsupport::drawSample);
    ASSERT_FALSE(picture.metafile.empty());
    ASSERT_TRUE(picture.png.starts_with("\x89PNG"));
    ASSERT_NE(picture.svg.find("<svg"), std::string::npos);
    ASSERT_TRUE(putOnClipboard(pictureItems(picture)));
    EXPECT_EQ(takeFromClipboard(kMetafileMimeType), picture.metafile);
    EXPECT_EQ(takeFromClipboard(kPngMimeType), picture.png);
    EXPECT_EQ(takeFromClipboard(kSvgMimeType), picture.svg);
    EXPECT_EQ(takeFromClipboard(kTextMimeType), std::nullopt);

    // Text replaces the picture; a cut removes its selection only once the text is on the clipboard.
    int removed = 0;
    ASSERT_TRUE(cutToClipboard(textItems("x = 1.5 \xc2\xb0"), [&] { ++removed; }));
    EXPECT_EQ(removed, 1);
    EXPECT_EQ(takeFromClipboard(kTextMimeType), "x = 1.5 \xc2\xb0");
    EXPECT_EQ(takeFromClipboard(kMetafileMimeType), std::nullopt);
}

TEST_F(Pictures, AnEmptyDrawingMakesAPictureOfValidSizeInEveryFormat)
{
    Picture picture = makePicture(PictureArea{0, 0, 0, 0, 96}, [](DeviceContext&) {});
    std::optional<Metafile> file = readMetafile(picture.metafile);
    ASSERT_TRUE(file);
    EXPECT_EQ((std::vector<int>{file->left, file->top, file->right, file->bottom}), (std::vector<int>{0, 0, 1, 1}));
    QImage png = QImage::fromData(QByteArray(picture.png.data(), static_cast<qsizetype>(picture.png.size())), "PNG");
    EXPECT_EQ(png.size(), QSize(1, 1));
    EXPECT_NE(picture.svg.find("<svg"), std::string::npos);
}
