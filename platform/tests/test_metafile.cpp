// The metafile writer read back by the metafile reader: records, objects,
// bounds, bitmaps, clipping and the reader's checks of damaged files.
#include "platform/core/metafile_reader.h"
#include "platform/core/metafile_records.h"
#include "platform/core/metafile_writer.h"
#include "platform/testing/sample_drawing.h"

#include <gtest/gtest.h>

using namespace platform;

namespace {

Metafile readBack(const MetafileDeviceContext& dc)
{
    std::string error;
    std::optional<Metafile> file = readMetafile(dc.bytes(), &error);
    EXPECT_TRUE(file) << error;
    return file.value_or(Metafile{});
}

/// The names of the records after the opening background mode, up to the end record.
std::vector<std::string> drawingRecords(const Metafile& file)
{
    std::vector<std::string> names = file.recordNames();
    EXPECT_GE(names.size(), 2u);
    EXPECT_EQ(names.front(), "SETBKMODE");
    EXPECT_EQ(names.back(), "EOF");
    return std::vector<std::string>(names.begin() + 1, names.end() - 1);
}

using Names = std::vector<std::string>;

} // namespace

TEST(Metafile, TheSampleDrawingGivesItsRecordsAndTheWindowAsBounds)
{
    MetafileDeviceContext dc(MetafileOptions{120});
    dc.setMapMode(MapMode::Anisotropic);
    dc.setWindowOrigin(-5, -5);
    dc.setWindowExtent(testsupport::kSampleWidth + 10, testsupport::kSampleHeight + 10);
    testsupport::drawSample(dc);
    std::string bytes = dc.bytes();
    Metafile file = readBack(dc);

    EXPECT_EQ(drawingRecords(file),
              (Names{"SETMAPMODE", "SETWINDOWORG", "SETWINDOWEXT",
                     // frame
                     "CREATEPENINDIRECT", "SELECTOBJECT", "CREATEBRUSHINDIRECT", "SELECTOBJECT", "RECTANGLE",
                     // thick line, dashed polyline
                     "CREATEPENINDIRECT", "SELECTOBJECT", "DELETEOBJECT", "MOVETO", "LINETO", "CREATEPENINDIRECT",
                     "SELECTOBJECT", "DELETEOBJECT", "POLYLINE",
                     // filled shapes, fill, pixels
                     "CREATEPENINDIRECT", "SELECTOBJECT", "DELETEOBJECT", "CREATEBRUSHINDIRECT", "SELECTOBJECT",
                     "DELETEOBJECT", "RECTANGLE", "CREATEBRUSHINDIRECT", "SELECTOBJECT", "DELETEOBJECT", "ELLIPSE",
                     "CREATEBRUSHINDIRECT", "SELECTOBJECT", "PATBLT", "SELECTOBJECT", "DELETEOBJECT", "SETPIXEL",
                     "SETPIXEL", "SETPIXEL", "SETPIXEL", "SETPIXEL", "SETPIXEL", "SETPIXEL", "SETPIXEL", "SETPIXEL",
                     "SETPIXEL",
                     // texts
                     "CREATEFONTINDIRECT", "SELECTOBJECT", "SETTEXTCOLOR", "SETTEXTALIGN", "TEXTOUT",
                     "CREATEFONTINDIRECT", "SELECTOBJECT", "DELETEOBJECT", "SETTEXTALIGN", "SETBKCOLOR", "SETBKMODE",
                     "TEXTOUT", "SETBKMODE",
                     // bitmaps: copied, stretched, masked (AND then OR)
                     "STRETCHDIB", "STRETCHDIB", "SETTEXTCOLOR", "STRETCHDIB", "STRETCHDIB", "SETTEXTCOLOR",
                     // inverted line
                     "SETROP2", "MOVETO", "LINETO", "SETROP2",
                     // clipped ellipse
                     "SAVEDC", "INTERSECTCLIPRECT", "CREATEBRUSHINDIRECT", "SELECTOBJECT", "ELLIPSE", "RESTOREDC",
                     "SELECTOBJECT", "DELETEOBJECT"}));

    EXPECT_EQ(file.left, -5);
    EXPECT_EQ(file.top, -5);
    EXPECT_EQ(file.right, testsupport::kSampleWidth + 5);
    EXPECT_EQ(file.bottom, testsupport::kSampleHeight + 5);
    EXPECT_EQ(file.unitsPerInch, 120);
    EXPECT_TRUE(file.checksumMatches);
    EXPECT_EQ(file.sizeWords, bytes.size() / 2 - 11);
    EXPECT_EQ(file.objectCount, 4); // a pen, a brush and a font at once, and the brush of a fill
    std::uint32_t largest = 0;
    for (const MetafileRecord& r : file.records)
        largest = std::max<std::uint32_t>(largest, static_cast<std::uint32_t>(3 + r.params.size()));
    EXPECT_EQ(file.largestRecord, largest);

    MetafileRecord ext = file.recordsOf(wmf::SetWindowExt).at(0);
    EXPECT_EQ(ext.value(0), testsupport::kSampleHeight + 10); // y before x
    EXPECT_EQ(ext.value(1), testsupport::kSampleWidth + 10);
    MetafileRecord frame = file.recordsOf(wmf::Rectangle).at(0);
    EXPECT_EQ((std::vector<int>{frame.value(0), frame.value(1), frame.value(2), frame.value(3)}),
              (std::vector<int>{testsupport::kSampleHeight - 2, testsupport::kSampleWidth - 2, 2, 2}));
    MetafileRecord pen = file.recordsOf(wmf::CreatePenIndirect).at(1);
    EXPECT_EQ(pen.value(0), 0); // solid
    EXPECT_EQ(pen.value(1), 3);
    EXPECT_EQ(pen.value32(3), rgb(200, 0, 0));
    MetafileRecord text = file.recordsOf(wmf::TextOut).at(0);
    EXPECT_EQ(text.value(0), 12);
    EXPECT_EQ(text.params[1], 'O' | ('r' << 8));
    EXPECT_EQ(text.value(7), 10); // y, then x
    EXPECT_EQ(text.value(8), 10);
    MetafileRecord font = file.recordsOf(wmf::CreateFontIndirect).at(0);
    EXPECT_EQ(font.value(0), -14);
    EXPECT_EQ(font.value(4), 700);
    EXPECT_EQ(font.params[9], 'D' | ('e' << 8));
}

TEST(Metafile, AnEmptyOrDegenerateDrawingStillHasBoundsOfPositiveSize)
{
    struct Case {
        const char* what;
        void (*prepare)(MetafileDeviceContext&);
        std::vector<int> bounds;
    };
    const Case cases[] = {
        {"nothing drawn", [](MetafileDeviceContext&) {}, {0, 0, 1, 1}},
        {"a plot of no size: window extent 0 by 0",
         [](MetafileDeviceContext& dc) {
             dc.setMapMode(MapMode::Anisotropic);
             dc.setWindowExtent(0, 0);
         },
         {0, 0, 1, 1}},
        {"the box of nothing drawn on a 500 by 400 extent, enlarged by 5",
         [](MetafileDeviceContext& dc) {
             dc.setMapMode(MapMode::Anisotropic);
             dc.setWindowOrigin(495, 395);
             dc.setWindowExtent(0 - 500 + 10, 0 - 400 + 10);
         },
         {5, 5, 495, 395}},
        {"drawing without a window", [](MetafileDeviceContext& dc) { dc.rectangle(-10, 20, 30, 40); },
         {-10, 20, 30, 40}},
        {"coordinates beyond 16 bits", [](MetafileDeviceContext& dc) { dc.setPixel(70000, -70000, 0); },
         {32767, -32768, 32767, -32767}},
    };
    for (const Case& c : cases) {
        MetafileDeviceContext dc;
        c.prepare(dc);
        Metafile file = readBack(dc);
        EXPECT_EQ((std::vector<int>{file.left, file.top, file.right, file.bottom}), c.bounds) << c.what;
        EXPECT_TRUE(file.checksumMatches) << c.what;
        for (const MetafileRecord& ext : file.recordsOf(wmf::SetWindowExt)) {
            EXPECT_NE(ext.value(0), 0) << c.what;
            EXPECT_NE(ext.value(1), 0) << c.what;
        }
    }
}

TEST(Metafile, ObjectsAreMadeOnceDeletedWhenReplacedAndTheirSlotsReused)
{
    MetafileDeviceContext dc;
    Pen red{PenStyle::Solid, 1, rgb(255, 0, 0)};
    dc.setPen(red);
    dc.setPen(red);
    dc.setBrush(Brush{BrushStyle::Hollow, 0});
    dc.setPen(Pen{PenStyle::Dot, 1, 0});
    dc.setFont(FontSpec{});
    dc.setFont(FontSpec{});
    Metafile file = readBack(dc);
    EXPECT_EQ(drawingRecords(file), (Names{"CREATEPENINDIRECT", "SELECTOBJECT", "CREATEBRUSHINDIRECT", "SELECTOBJECT",
                                           "CREATEPENINDIRECT", "SELECTOBJECT", "DELETEOBJECT", "CREATEFONTINDIRECT",
                                           "SELECTOBJECT"}));
    std::vector<int> selected;
    for (const MetafileRecord& r : file.recordsOf(wmf::SelectObject))
        selected.push_back(r.value(0));
    // The second pen takes slot 2; the font then gets the first pen's slot 0 back.
    EXPECT_EQ(selected, (std::vector<int>{0, 1, 2, 0}));
    EXPECT_EQ(file.recordsOf(wmf::DeleteObject).at(0).value(0), 0);
    EXPECT_EQ(file.recordsOf(wmf::CreateBrushIndirect).at(0).value(0), 1); // hollow
    EXPECT_EQ(file.objectCount, 3);
}

TEST(Metafile, LiftingAClipRestoresTheStateAndDeletesWhatTheSavedStateHeld)
{
    MetafileDeviceContext dc;
    Pen first{PenStyle::Solid, 1, 0}, second{PenStyle::Solid, 2, rgb(0, 0, 255)};
    dc.setPen(first);
    dc.setClipRect(0, 0, 50, 50);
    dc.setPen(second); // the saved state still selects the first pen: it must live until the restore
    dc.setTextColor(rgb(1, 2, 3));
    dc.setClipRect(10, 10, 20, 20); // a new clip replaces the old one
    dc.lineTo(5, 5);
    dc.removeClip();
    dc.removeClip(); // nothing more to lift
    Metafile file = readBack(dc);
    EXPECT_EQ(drawingRecords(file),
              (Names{"CREATEPENINDIRECT", "SELECTOBJECT", "SAVEDC", "INTERSECTCLIPRECT", "CREATEPENINDIRECT",
                     "SELECTOBJECT", "SETTEXTCOLOR", "RESTOREDC", "SELECTOBJECT", "SETTEXTCOLOR", "DELETEOBJECT",
                     "SAVEDC", "INTERSECTCLIPRECT", "LINETO", "RESTOREDC", "MOVETO"}));
    EXPECT_EQ(file.recordsOf(wmf::DeleteObject).at(0).value(0), 0);
    EXPECT_EQ(file.recordsOf(wmf::SelectObject).at(2).value(0), 1);
    MetafileRecord clip = file.recordsOf(wmf::IntersectClipRect).at(1);
    EXPECT_EQ((std::vector<int>{clip.value(0), clip.value(1), clip.value(2), clip.value(3)}),
              (std::vector<int>{20, 20, 10, 10}));
    EXPECT_EQ(file.recordsOf(wmf::RestoreDc).at(0).value(0), -1);
}

namespace {

/// The bytes of a STRETCHDIB record's bitmap (after its ten parameter words).
std::string dibBytes(const MetafileRecord& r)
{
    std::string bytes;
    for (std::size_t i = 11; i < r.params.size(); ++i) {
        bytes += static_cast<char>(r.params[i] & 0xFF);
        bytes += static_cast<char>(r.params[i] >> 8);
    }
    return bytes;
}

unsigned byteAt(const std::string& bytes, std::size_t i)
{
    return static_cast<unsigned char>(bytes.at(i));
}

} // namespace

TEST(Metafile, BitmapsAreCopiedStretchedMaskedInTheTextColourOrAnded)
{
    Bitmap bitmap = testsupport::sampleBitmap();
    MetafileDeviceContext dc;
    dc.drawBitmap(bitmap, 4, 6, BitmapMode::Copy);
    dc.setTextColor(rgb(10, 20, 30));
    dc.drawBitmap(bitmap, 20, 30, 36, 46, BitmapMode::Masked);
    dc.drawBitmap(bitmap, 50, 30, BitmapMode::Transparent);
    Metafile file = readBack(dc);
    std::vector<MetafileRecord> dibs = file.recordsOf(wmf::StretchDib);
    ASSERT_EQ(dibs.size(), 4u);
    // Transparent: the colour picture ANDed, so that its white keeps what is under it.
    EXPECT_EQ(dibs[3].value32(0), wmf::kSrcAnd);
    EXPECT_EQ(dibBytes(dibs[3]), dibBytes(dibs[0]));

    const MetafileRecord& copy = dibs[0];
    EXPECT_EQ(copy.value32(0), wmf::kSrcCopy);
    // source height, width, y, x; destination height, width, y, x
    EXPECT_EQ((std::vector<int>{copy.value(3), copy.value(4), copy.value(5), copy.value(6), copy.value(7),
                                copy.value(8), copy.value(9), copy.value(10)}),
              (std::vector<int>{8, 8, 0, 0, 8, 8, 6, 4}));
    std::string dib = dibBytes(copy);
    EXPECT_EQ(byteAt(dib, 14), 24u); // bits a pixel
    // 24-bit rows of 8 pixels take 24 bytes and run from the bottom: pixel (3, 1) is in row 6.
    std::size_t red = 40 + 6 * 24 + 3 * 3;
    EXPECT_EQ((std::vector<unsigned>{byteAt(dib, red), byteAt(dib, red + 1), byteAt(dib, red + 2)}),
              (std::vector<unsigned>{0, 0, 255}));
    EXPECT_EQ(dib.size(), 40u + 8 * 24);

    EXPECT_EQ(dibs[1].value32(0), wmf::kSrcAnd);
    EXPECT_EQ(dibs[2].value32(0), wmf::kSrcPaint);
    EXPECT_EQ(dibs[2].value(7), 16);
    std::string mask = dibBytes(dibs[1]), ink = dibBytes(dibs[2]);
    EXPECT_EQ(byteAt(mask, 14), 1u);
    // Palettes: the mask is black on white, the ink the text colour (blue, green, red) on black.
    EXPECT_EQ((std::vector<unsigned>{byteAt(mask, 40), byteAt(mask, 44), byteAt(mask, 45), byteAt(mask, 46)}),
              (std::vector<unsigned>{0, 255, 255, 255}));
    EXPECT_EQ((std::vector<unsigned>{byteAt(ink, 40), byteAt(ink, 41), byteAt(ink, 42), byteAt(ink, 44)}),
              (std::vector<unsigned>{30, 20, 10, 0}));
    // Row 1 from the top (the sixth from the bottom, 4 bytes each): ink (bit 0) at x = 0, 1, 3 (the
    // red pixel: every pixel but white is ink) and 7.
    EXPECT_EQ(byteAt(ink, 48 + 6 * 4), 0b00101110u);
}

TEST(Metafile, TextIsLatin1AndLongPolylinesGoInPiecesThatShareTheirEnds)
{
    MetafileDeviceContext dc;
    dc.textOut(0, 0, "\xc3\xa9t\xc3\xa9 \xe2\x82\xac");
    std::vector<Point> points;
    for (int i = 0; i < 9000; ++i)
        points.push_back({i % 300, i / 300});
    dc.polyline(points);
    Metafile file = readBack(dc);
    MetafileRecord text = file.recordsOf(wmf::TextOut).at(0);
    EXPECT_EQ(text.value(0), 5);
    EXPECT_EQ(text.params[1], 0xE9 | ('t' << 8));
    EXPECT_EQ(text.params[2], 0xE9 | (' ' << 8));
    EXPECT_EQ(text.params[3], '?');
    std::vector<MetafileRecord> pieces = file.recordsOf(wmf::Polyline);
    ASSERT_EQ(pieces.size(), 2u);
    int first = pieces[0].value(0);
    EXPECT_EQ(first + pieces[1].value(0), 9001);
    EXPECT_EQ(pieces[1].value(1), pieces[0].value(2 * first - 1));
    EXPECT_EQ(pieces[1].value(2), pieces[0].value(2 * first));
}

TEST(Metafile, TheReaderRefusesDamagedFilesAndSaysWhy)
{
    MetafileDeviceContext dc;
    dc.rectangle(0, 0, 10, 10);
    std::string good = dc.bytes();
    struct Case {
        std::string bytes;
        std::string error;
    };
    std::string badKey = good;
    badKey[0] = 'x';
    std::string badSize = good;
    badSize[22 + 2 * 9] = static_cast<char>(0xFF); // the first record's size
    const Case cases[] = {
        {good.substr(0, 20), "too short"},
        {badKey, "no placeable header"},
        {good.substr(0, good.size() - 6), "no end record"},
        {badSize, "runs past the end"},
    };
    for (const Case& c : cases) {
        std::string error;
        EXPECT_FALSE(readMetafile(c.bytes, &error));
        EXPECT_NE(error.find(c.error), std::string::npos) << error;
    }
    std::string badSum = good;
    badSum[20] ^= 1;
    std::optional<Metafile> file = readMetafile(badSum);
    ASSERT_TRUE(file);
    EXPECT_FALSE(file->checksumMatches);
}
