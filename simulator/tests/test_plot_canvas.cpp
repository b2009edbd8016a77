// The plot window offscreen: the mass-spring-damper example processed by the model
// processor, run with Runge-Kutta 4 and shown with three curves; its picture, its
// metafile (read back and played by an outside reader), its printout, the clipboard
// picture and clicks. With ORVANTA_GRAB_DIR set the pictures are kept there to look at.
#include "model_test_support.h"
#include "processed_examples.h"

#include "common/settings_table.h"
#include "common/startup.h"
#include "platform/core/file_system.h"
#include "platform/core/message_sink.h"
#include "platform/core/metafile_reader.h"
#include "platform/core/metafile_records.h"
#include "platform/qt/clipboard.h"
#include "platform/qt/painter_device_context.h"
#include "platform/testing/qt_support.h"
#include "platform/testing/temp_dir.h"
#include "simulator/integration_methods.h"
#include "simulator/plot_canvas.h"
#include "simulator/plot_drawing.h"
#include "simulator/plot_export.h"
#include "simulator/run_control.h"
#include "simulator/run_output.h"
#include "simulator/run_specs.h"
#include "simulator/simulator_state.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QPrinter>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>

namespace {

/// Keeps a copy of a file in $ORVANTA_GRAB_DIR when it is set.
void keep(const std::string& path)
{
    if (const char* grab = std::getenv("ORVANTA_GRAB_DIR"))
        std::filesystem::copy_file(path, std::string(grab) + "/" + std::filesystem::path(path).filename().string(),
                                   std::filesystem::copy_options::overwrite_existing);
}

/// The number of pixels of that colour (0x00BBGGRR) in the rectangle.
int pixelsOf(const QImage& image, platform::ColorRef color, QRect area)
{
    const QColor want = platform::toQColor(color);
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            n += image.pixelColor(x, y) == want;
    return n;
}

/// The mass-spring-damper example on a plot window of 800 x 500.
class PlotWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        testsupport::testApplication();
        ResetSettings();
        const modeltest::Processed processed = modeltest::processExample(m_dir, "msd1.mg0", 6);
        ASSERT_EQ(processed.result, 3) << testing::PrintToString(processed.messages);
        ResetSettings();
        Startup().WorkingDirectory = m_dir.path();
        ResetPlot();
        InstallRunOutput();
        const std::filesystem::path code = processed.codeFile;
        SimulatorState = StateNoModel;
        ASSERT_EQ(LoadModel(code.parent_path().string(), code.stem().string()), 1);
        m_model = code.stem().string();
        Experiment().experimentName = "trial";
        for (const auto& [name, value] : {std::pair{"f`e", 1.0}, {"m`i", 1.0}, {"k`c", 1.0 / (4 * M_PI * M_PI)},
                                          {"d`r", 0.4 * M_PI}})
            ASSERT_TRUE(SetVariableValue(KindParameter, modeltest::indexOf(KindParameter, name), value)) << name;
        for (int i = 0; i < Variables().kinds[KindInitial].count; ++i)
            SetVariableValue(KindInitial, i, 0.0);
        RunSpecs() = RunSpecification::defaults();
        RunSpecs().method = MethodRungeKutta4;
        RunSpecs().finishTime = 5.0;
        RunSpecs().settings[MethodRungeKutta4][RowStep].value = 1e-3;
        ResetPlotSpecs(PlotSpecs());
        curve(0, "m`p.e_indep_state");
        curve(1, "k`p.f_indep_state");
        curve(2, modeltest::namesOf(KindRate).substr(0, modeltest::namesOf(KindRate).find(' ')));

        m_parent = std::make_unique<QWidget>();
        m_parent->resize(800, 500);
        m_canvas = new PlotCanvas(m_parent.get());
        m_canvas->setGeometry(0, 0, 800, 500);
        m_parent->show();
        QApplication::processEvents();
    }
    void TearDown() override
    {
        m_parent.reset();
        RunOutput() = {};
        ResetPlot();
    }

    void curve(int index, const std::string& name)
    {
        PlotCurve& c = PlotSpecs().curves[std::size_t(index)];
        ASSERT_TRUE(FindPlotVariable(name, c.kind, c.variable, c.nameIndex)) << name << " in " << modeltest::namesOf(KindState);
        c.display = 1;
        c.scaling = 1;
        CountPlotCurves(PlotSpecs());
    }

    void run()
    {
        RequestRun();
        ASSERT_GT(RunUntilIdle(), 0);
        ASSERT_EQ(SimulationTime, 5.0);
        QApplication::processEvents();
    }

    /// The window as it shows now, also kept in $ORVANTA_GRAB_DIR.
    QImage grab(const std::string& name) { return testsupport::grabToPng(*m_canvas, name); }

    testsupport::TempDir m_dir;
    std::string m_model;
    platform::ScriptedMessageSink m_sink;
    platform::ScopedMessageSink m_scoped{m_sink};
    std::unique_ptr<QWidget> m_parent; ///< made once the application exists
    PlotCanvas* m_canvas = nullptr;
};

} // namespace

TEST_F(PlotWindow, ARunShowsItsThreeCurvesWithAxesGridLettersAndTitle)
{
    run();
    EXPECT_TRUE(m_sink.transcript().empty()) << testing::PrintToString(m_sink.transcript().front().lines);
    grab("plot_msd");
    const QImage image = m_canvas->picture();
    ASSERT_EQ(image.size(), QSize(800, 500));
    const PlotArea& a = Plot().area;
    EXPECT_EQ((std::vector<int>{a.left, a.top, a.right, a.bottom}), (std::vector<int>{140, 24, 776, 476}));
    // The frame, and a tick a tenth along the top.
    EXPECT_EQ(image.pixelColor(140, 300), Qt::black);
    EXPECT_EQ(image.pixelColor(776, 300), Qt::black);
    EXPECT_EQ(image.pixelColor(450, 476), Qt::black);
    EXPECT_EQ(image.pixelColor(203, 25), Qt::black);
    // The grid's dots inside, the three curves in their bright colours.
    const QRect inside(141, 25, 634, 450);
    EXPECT_GT(pixelsOf(image, 0x000000, inside), 1000);
    for (platform::ColorRef color : {0xFF0000u, 0xFF00FFu, 0x0000FFu})
        EXPECT_GT(pixelsOf(image, color, inside), 500) << std::hex << color;
    // Texts left of the plot, below it and the title above it.
    EXPECT_GT(pixelsOf(image, 0x000000, QRect(0, 24, 138, 452)), 200);
    EXPECT_GT(pixelsOf(image, 0x000000, QRect(140, 478, 636, 20)), 50);
    EXPECT_GT(pixelsOf(image, 0x000000, QRect(140, 0, 300, 23)), 50);
    int letters = 0, titles = 0;
    for (const BdLink<LabelRect>* l = Plot().labels.firstLink(); l; l = l->next()) {
        letters += l->value().kind == LabelCurve && l->value().right - l->value().left == 7 &&
                   l->value().left > a.left;
        titles += l->value().kind == LabelTitle;
    }
    EXPECT_EQ(letters, 6) << "two letters on each curve";
    EXPECT_EQ(titles, 1);

    // A second run keeps the first one, drawn in the dark colours under the new one.
    RunSpecs().finishTime = 5.0;
    SetVariableValue(KindParameter, modeltest::indexOf(KindParameter, "d`r"), 0.8 * M_PI);
    run();
    grab("plot_msd_two_runs");
    EXPECT_GT(pixelsOf(m_canvas->picture(), 0x800000, inside), 200);
}

TEST_F(PlotWindow, ARunIsShownStepByStepWheneverTheWindowPaints)
{
    RequestRun();
    for (int chunk = 0; chunk < 1000; ++chunk)
        RunChunk(ContinueRun);
    ASSERT_TRUE(Simulating);
    m_canvas->repaint();
    const QImage early = m_canvas->picture();
    const int blue = pixelsOf(early, 0xFF0000, QRect(141, 25, 634, 450));
    EXPECT_GT(blue, 50) << "the first second of five is on the picture";
    EXPECT_EQ(pixelsOf(early, 0xFF0000, QRect(400, 25, 375, 450)), 0) << "and nothing beyond it";
    ASSERT_GT(RunUntilIdle(), 0);
    EXPECT_GT(pixelsOf(m_canvas->picture(), 0xFF0000, QRect(141, 25, 634, 450)), blue);
}

TEST_F(PlotWindow, TheMetafileOfThePlotIsReadBackAndPlayedByAnOutsideReader)
{
    run();
    ASSERT_TRUE(CopySimulationToMetafile(1));
    const std::string path = m_dir.path() + "/" + Experiment().modelName + "/trial.wmf";
    keep(path);
    const std::optional<std::string> bytes = platform::readFile(path);
    ASSERT_TRUE(bytes) << path;
    std::string error;
    const auto file = platform::readMetafile(*bytes, &error);
    ASSERT_TRUE(file) << error;
    EXPECT_EQ((std::vector<int>{file->left, file->top, file->right, file->bottom}), (std::vector<int>{0, 0, 853, 523}));
    EXPECT_TRUE(file->checksumMatches);
    const std::vector<std::string> names = file->recordNames();
    EXPECT_EQ(std::vector<std::string>(names.begin() + 1, names.begin() + 6),
              (std::vector<std::string>{"SETMAPMODE", "SETWINDOWEXT", "SETWINDOWORG", "SETTEXTALIGN", "SETBKMODE"}));
    EXPECT_EQ(file->recordsOf(platform::wmf::Polyline).size(), 3u);

    QString converter = QStandardPaths::findExecutable("wmf2svg");
    if (converter.isEmpty()) {
        if (std::getenv("CI"))
            FAIL() << "wmf2svg is not installed (scripts/install-deps installs libwmf-bin)";
        GTEST_SKIP() << "wmf2svg is not installed";
    }
    QProcess process;
    const std::string svgPath = m_dir.file("plot_msd.svg");
    process.start(converter, {"-o", QString::fromStdString(svgPath), QString::fromStdString(path)});
    ASSERT_TRUE(process.waitForFinished(60000));
    EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
    keep(svgPath);
    const std::optional<std::string> svg = platform::readFile(svgPath);
    ASSERT_TRUE(svg);
    EXPECT_NE(svg->find("<line"), std::string::npos);
    EXPECT_NE(svg->find("<rect"), std::string::npos);
    EXPECT_NE(svg->find("trial"), std::string::npos) << "the title";
}

TEST_F(PlotWindow, PrintingGivesThePlotPageAndTheClipboardThePicture)
{
    run();
    const std::string pdfPath = m_dir.file("plot_msd.pdf");
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(QString::fromStdString(pdfPath));
    ASSERT_TRUE(m_canvas->print(printer, false, false));
    QFile pdf(QString::fromStdString(pdfPath));
    ASSERT_TRUE(pdf.open(QIODevice::ReadOnly));
    EXPECT_TRUE(pdf.readAll().startsWith("%PDF"));
    keep(pdfPath);
    EXPECT_EQ(Plot().mode, PlotDrawingMode::Screen) << "the window draws on afterwards";

    ASSERT_TRUE(CopySimulationToMetafile(0));
    const std::optional<std::string> wmf = platform::takeFromClipboard(platform::kMetafileMimeType);
    ASSERT_TRUE(wmf);
    const auto file = platform::readMetafile(*wmf);
    ASSERT_TRUE(file);
    EXPECT_EQ(file->unitsPerInch, 65) << "853 units across 33553 hundredths of a millimetre";
    const std::optional<std::string> png = platform::takeFromClipboard(platform::kPngMimeType);
    ASSERT_TRUE(png);
    const QImage picture = QImage::fromData(QByteArray(png->data(), qsizetype(png->size())), "PNG");
    EXPECT_FALSE(picture.isNull());
    const std::string pngPath = m_dir.write("plot_msd_clipboard.png", *png);
    keep(pngPath);
}

TEST_F(PlotWindow, ADoubleClickOnALetterOpensThatCurveAndAResizeRedrawsThePlot)
{
    run();
    std::vector<int> opened;
    PlotCallbacks().openPlotSpecs = [&](int curve) { opened.push_back(curve); };
    LabelRect letter{};
    for (const BdLink<LabelRect>* l = Plot().labels.firstLink(); l; l = l->next())
        if (l->value().kind == LabelCurve && l->value().curve == 1)
            letter = l->value();
    QTest::mouseDClick(m_canvas, Qt::LeftButton, {}, QPoint(letter.left + 2, letter.top + 6));
    PlotCallbacks() = {};
    EXPECT_EQ(opened, (std::vector<int>{1}));

    m_canvas->resize(600, 400);
    QApplication::processEvents();
    const QImage image = m_canvas->picture();
    ASSERT_EQ(image.size(), QSize(600, 400));
    EXPECT_EQ(Plot().area.right, 576);
    EXPECT_EQ(image.pixelColor(576, 100), Qt::black);
    EXPECT_GT(pixelsOf(image, 0xFF0000, QRect(141, 25, 434, 350)), 300) << "the curves are drawn again";
    grab("plot_msd_small");
}

// Many values in one pixel column are drawn as its first, highest, lowest and last
// point. The line covers the pixels of the whole line but for the odd pixel where the
// line turns back at a column's end, which the painter may leave out of either line.
TEST(PlotColumns, TheReducedLineCoversThePixelsOfTheWholeLine)
{
    testsupport::testApplication();
    std::vector<platform::Point> walk;
    unsigned seed = 7;
    int y = 200;
    for (int i = 0; i < 20000; ++i) {
        seed = seed * 1103515245u + 12345u;
        y = std::clamp(y + int((seed >> 16) % 21) - 10, 20, 380);
        walk.push_back({10 + i / 37, y});
    }
    const std::vector<platform::Point> reduced = ReduceColumns(walk);
    EXPECT_LT(reduced.size(), walk.size() / 5);
    for (int width : {1, 3}) {
        platform::ImageDeviceContext whole(600, 400), fewer(600, 400);
        for (platform::ImageDeviceContext* dc : {&whole, &fewer}) {
            dc->fillRect(0, 0, 600, 400, {platform::BrushStyle::Solid, 0xFFFFFF});
            dc->setPen({platform::PenStyle::Solid, width, 0xFF0000});
        }
        whole.polyline(walk);
        fewer.polyline(reduced);
        int inked = 0, differ = 0;
        for (int yy = 0; yy < 400; ++yy)
            for (int xx = 0; xx < 600; ++xx) {
                inked += whole.image().pixel(xx, yy) != 0xFFFFFFFFu;
                differ += whole.image().pixel(xx, yy) != fewer.image().pixel(xx, yy);
            }
        EXPECT_GT(inked, 20000);
        EXPECT_LE(differ, inked / 1000) << "pen width " << width << ": " << differ << " of " << inked;
    }
}

// A line of steps leaves out the points where it goes straight on along a row, a column
// or a diagonal; it is drawn on exactly the pixels of the reduced line.
TEST(PlotColumns, AStepLineWithoutItsStraightRunsInksThePixelsOfTheReducedLine)
{
    testsupport::testApplication();
    std::vector<platform::Point> walk;
    unsigned seed = 11;
    int x = 10, y = 200;
    for (int i = 0; i < 8000; ++i) {
        seed = seed * 1103515245u + 12345u;
        // Stretches of a flat line, a diagonal, a steeper climb, a bent climb (which must
        // keep its corners) and noise, by turns.
        switch ((i / 40) % 5) {
        case 0: ++x; break;
        case 1: ++x, y += (i / 200) % 2 ? 1 : -1; break;
        case 2: x += i % 2, y -= 1; break;
        case 3: ++x, y += 1 + i % 2; break;
        default: x += i % 9 == 0, y += int((seed >> 16) % 15) - 7; break;
        }
        y = std::clamp(y, 20, 380);
        walk.push_back({x % 580 + 10, y});
    }
    const std::vector<platform::Point> reduced = ReduceColumns(walk), straight = StepLinePoints(walk);
    EXPECT_LT(straight.size(), reduced.size() * 3 / 4) << "the flat and diagonal stretches come to a few points";
    EXPECT_EQ(straight.front(), reduced.front());
    EXPECT_EQ(straight.back(), reduced.back());
    for (int width : {1, 2, 3}) {
        platform::ImageDeviceContext all(600, 400), fewer(600, 400);
        for (platform::ImageDeviceContext* dc : {&all, &fewer}) {
            dc->fillRect(0, 0, 600, 400, {platform::BrushStyle::Solid, 0xFFFFFF});
            dc->setPen({platform::PenStyle::Solid, width, 0xFF0000});
        }
        all.polyline(reduced);
        fewer.polyline(straight);
        EXPECT_EQ(all.image(), fewer.image()) << "pen width " << width;
    }
}
