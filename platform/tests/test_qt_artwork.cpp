// The artwork among the resources: every tool bar button of the programs has
// its image, the radio buttons their three forms, the symbols both forms.
#include "platform/qt/application.h"
#include "platform/qt/artwork.h"
#include "platform/qt/painter_device_context.h"

#include <gtest/gtest.h>

#include <QPainter>

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

/// Lays images side by side, three times their size, into $ORVANTA_GRAB_DIR/<name>.png (to look at).
void grabSheet(const std::string& name, const std::vector<QImage>& images)
{
    const char* grab = std::getenv("ORVANTA_GRAB_DIR");
    if (!grab || images.empty())
        return;
    int width = 4, height = 0;
    for (const QImage& image : images) {
        width += 3 * image.width() + 4;
        height = std::max(height, 3 * image.height() + 8);
    }
    QImage sheet(width, height, QImage::Format_RGB32);
    sheet.fill(QColor(236, 236, 236));
    QPainter painter(&sheet);
    int x = 4;
    for (const QImage& image : images) {
        painter.drawImage(QRect(x, 4, 3 * image.width(), 3 * image.height()), image);
        x += 3 * image.width() + 4;
    }
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
    std::vector<QImage> images;
    for (const char* name : {"BM_0J", "BM_1J", "BM_C", "BM_I", "BM_R", "BM_SE", "BM_SF", "BM_TF", "BM_GY", "BM_MSE",
                             "BM_MSF", "BM_GAIN", "BM_INTGRL"}) {
        std::optional<Bitmap> colour = loadBitmapResource(name);
        std::optional<Bitmap> blackAndWhite = loadBitmapResource(std::string(name) + "BW");
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
        // A bond-graph element is one text line high, so that its name fits beside it.
        if (std::string(name) != "BM_GAIN" && std::string(name) != "BM_INTGRL") {
            EXPECT_EQ(colour->height(), 15) << name;
        }
        images.push_back(toQImage(*colour));
        images.push_back(toQImage(*blackAndWhite));
    }
    grabSheet("symbols", images);
}
