// The artwork among the resources: every tool bar button of the programs has
// its image, the radio buttons their three forms, the symbols both forms.
#include "platform/qt/application.h"
#include "platform/qt/artwork.h"
#include "platform/qt/painter_device_context.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QPainter>
#include <QSvgRenderer>

#include <cstdlib>

using namespace platform;

namespace {

Application& app()
{
    static int argc = 1;
    static char name[] = "test_qt_artwork";
    static char* argv[] = {name, nullptr};
    static Application* instance = new Application(argc, argv);
    return *instance;
}

/// Lays images side by side, three times their size, in rows of at most 1200
/// pixels, into $ORVANTA_GRAB_DIR/<name>.png (to look at).
void grabSheet(const std::string& name, const std::vector<QImage>& images)
{
    const char* grab = std::getenv("ORVANTA_GRAB_DIR");
    if (!grab || images.empty())
        return;
    std::vector<QPoint> places;
    int x = 4, y = 4, rowHeight = 0, width = 0;
    for (const QImage& image : images) {
        if (x > 4 && x + 3 * image.width() > 1200) {
            x = 4;
            y += rowHeight + 4;
            rowHeight = 0;
        }
        places.emplace_back(x, y);
        x += 3 * image.width() + 4;
        width = std::max(width, x);
        rowHeight = std::max(rowHeight, 3 * image.height());
    }
    QImage sheet(width, y + rowHeight + 4, QImage::Format_RGB32);
    sheet.fill(QColor(236, 236, 236));
    QPainter painter(&sheet);
    for (std::size_t i = 0; i < images.size(); ++i)
        painter.drawImage(QRect(places[i], images[i].size() * 3), images[i]);
    painter.end();
    sheet.save(QString::fromLocal8Bit(grab) + "/" + QString::fromStdString(name) + ".png");
}

class Artwork : public ::testing::Test {
protected:
    void SetUp() override { app(); }
};

} // namespace

TEST_F(Artwork, EveryToolBarButtonOfTheProgramsHasAnImageNamedByItsCommand)
{
    // The buttons of the graph editor, the equation editor and the simulator, and the simulator's bitmap 240.
    const int graphEditor[] = {101, 102, 105, 104, 120, 121, 122, 202, 205, 901};
    const int equationEditor[] = {101, 252, 105, 104, 122, 201, 205, 901};
    const int simulator[] = {240, 110, 111, 105, 104, 271, 272, 273, 284, 274, 277, 285,
                             280, 270, 286, 281, 282, 283, 201, 202, 901};
    for (const auto& [program, ids] : {std::pair{"graph editor", std::vector<int>(std::begin(graphEditor), std::end(graphEditor))},
                                       std::pair{"equation editor", std::vector<int>(std::begin(equationEditor), std::end(equationEditor))},
                                       std::pair{"simulator", std::vector<int>(std::begin(simulator), std::end(simulator))}}) {
        std::vector<QImage> images;
        for (int id : ids) {
            QIcon icon = toolBarIcon(id);
            ASSERT_FALSE(icon.isNull()) << program << " " << id;
            QImage image(toolBarImagePath(id));
            EXPECT_EQ(image.size(), QSize(20, 20)) << id;
            EXPECT_TRUE(image.hasAlphaChannel()) << id;
            EXPECT_EQ(qAlpha(image.pixel(0, 19)) == 0 || qAlpha(image.pixel(19, 0)) == 0, true) << id;
            images.push_back(image);
        }
        grabSheet(std::string("toolbar-") + program, images);
    }
    EXPECT_TRUE(toolBarIcon(999).isNull());
    EXPECT_EQ(QImage(toolBarImagePath(240)), QImage(toolBarImagePath(101)));
}

TEST_F(Artwork, EachToolRadioHasANormalACheckedAndADisabledFormOfOneSize)
{
    std::vector<QImage> images;
    for (const char* name : {"BM_SBOND", "BM_MBOND", "BM_SSIGNAL", "BM_MSIGNAL", "BM_PORTS", "BM_ARROW"}) {
        QImage normal = bitmapResourceImage(name);
        ASSERT_FALSE(normal.isNull()) << name;
        for (const char* variant : {"2", "3"}) {
            QImage other = bitmapResourceImage(std::string(name) + variant);
            ASSERT_EQ(other.size(), normal.size()) << name << variant;
            EXPECT_NE(other, normal) << name << variant;
            images.push_back(other);
        }
        images.push_back(normal);
    }
    grabSheet("radio-buttons", images);
    std::optional<Bitmap> about = loadBitmapResource("BM_ABOUTW");
    ASSERT_TRUE(about);
    EXPECT_EQ(about->width(), 160);
    grabSheet("about", {bitmapResourceImage("BM_ABOUTW")});
    EXPECT_FALSE(loadBitmapResource("BM_NOSUCH"));
}

TEST_F(Artwork, AnElementSymbolsBlackAndWhiteFormIsBlackExactlyWhereItsColourFormIsNotWhite)
{
    // Every symbol with a black-and-white form is an element symbol.
    std::vector<QImage> images, others;
    int elements = 0;
    const QStringList files = QDir(":/orvanta/symbols").entryList(QDir::Files, QDir::Name);
    for (const QString& file : files) {
        const std::string name = QFileInfo(file).completeBaseName().toStdString();
        if (!files.contains(QString::fromStdString(name + "BW.png"))) {
            if (!name.ends_with("BW"))
                others.push_back(bitmapResourceImage(name));
            continue;
        }
        ++elements;
        std::optional<Bitmap> colour = loadBitmapResource(name);
        std::optional<Bitmap> blackAndWhite = loadBitmapResource(name + "BW");
        ASSERT_TRUE(colour && blackAndWhite) << name;
        ASSERT_EQ(colour->width(), blackAndWhite->width()) << name;
        ASSERT_EQ(colour->height(), blackAndWhite->height()) << name;
        int ink = 0;
        for (int y = 0; y < colour->height(); ++y)
            for (int x = 0; x < colour->width(); ++x) {
                ColorRef c = blackAndWhite->pixel(x, y);
                ASSERT_TRUE(c == 0 || c == 0xFFFFFF) << name;
                ASSERT_EQ(c == 0, colour->isInk(x, y)) << name << " " << x << "," << y;
                ink += c == 0;
            }
        EXPECT_GT(ink, 10) << name;
        // A bond-graph element is one text line high, so that its name fits beside it;
        // a signal block is a framed picture above its name.
        EXPECT_TRUE(colour->height() == 15 || colour->height() == 22) << name;
        // Its drawing, for printing, shows what its pixels show: drawn at their size, the same ink.
        ASSERT_FALSE(colour->drawing().empty()) << name;
        EXPECT_TRUE(blackAndWhite->drawing().empty()) << name;
        QImage drawn(colour->width(), colour->height(), QImage::Format_ARGB32);
        drawn.fill(Qt::transparent);
        {
            QPainter painter(&drawn);
            QSvgRenderer renderer(QByteArray::fromStdString(colour->drawing()));
            ASSERT_TRUE(renderer.isValid()) << name;
            EXPECT_EQ(renderer.viewBox(), QRect(0, 0, colour->width(), colour->height())) << name;
            renderer.render(&painter);
        }
        int inkPixels = 0, shared = 0;
        for (int y = 0; y < colour->height(); ++y)
            for (int x = 0; x < colour->width(); ++x) {
                inkPixels += colour->isInk(x, y);
                shared += colour->isInk(x, y) && qAlpha(drawn.pixel(x, y)) > 40;
            }
        EXPECT_GE(shared * 10, inkPixels * 6) << name << ": the drawing covers most of the ink";
        images.push_back(toQImage(*colour));
    }
    EXPECT_GE(elements, 13);
    ASSERT_TRUE(loadBitmapResource("BM_C") && loadBitmapResource("BM_GAIN"));
    EXPECT_EQ(loadBitmapResource("BM_C")->height(), 15);
    EXPECT_EQ(loadBitmapResource("BM_GAIN")->height(), 22);
    grabSheet("symbols", images);
    grabSheet("other-symbols", others);
}

TEST_F(Artwork, EachWindowIconIsDrawnAtSixteenTwentyTwoAndThirtyTwoPixelsAndTheProgramsDiffer)
{
    const char* names[] = {"IC_QNBGE22", "IC_QNEE22", "IC_QNSIM22", "IC_LOG22"};
    std::vector<QImage> images;
    std::vector<QImage> smallest;
    for (const char* name : names) {
        QIcon icon = windowIcon(name);
        ASSERT_FALSE(icon.isNull()) << name;
        for (int size : {16, 22, 32}) {
            ASSERT_TRUE(icon.availableSizes().contains(QSize(size, size))) << name << " " << size;
            // Drawn for the size, not scaled from another: the picture fills its square.
            QImage image = icon.pixmap(size).toImage().convertToFormat(QImage::Format_ARGB32);
            ASSERT_EQ(image.size(), QSize(size, size)) << name;
            int covered = 0;
            for (int y = 0; y < size; ++y)
                for (int x = 0; x < size; ++x)
                    covered += qAlpha(image.pixel(x, y)) > 128;
            EXPECT_GT(covered, size * size / 3) << name << " " << size;
            images.push_back(image);
            if (size == 16)
                smallest.push_back(image);
        }
    }
    for (std::size_t i = 0; i < smallest.size(); ++i)
        for (std::size_t j = i + 1; j < smallest.size(); ++j)
            EXPECT_NE(smallest[i], smallest[j]) << names[i] << " " << names[j];
    EXPECT_TRUE(windowIcon("IC_NOSUCH").isNull());
    grabSheet("window-icons", images);
}
