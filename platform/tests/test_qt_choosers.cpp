// Choosers shown as Qt dialogs and driven as a user would, the same round
// trip through the scripted sink, and printing to PDF through our own printer
// dialog.
#include "platform/core/file_system.h"
#include "platform/core/message_sink.h"
#include "platform/qt/printing.h"
#include "platform/qt/qt_choosers.h"
#include "platform/testing/qt_support.h"
#include "platform/testing/temp_dir.h"

#include <gtest/gtest.h>

#include <QFileDialog>
#include <QLineEdit>
#include <QLabel>
#include <QPrinter>
#include <QPushButton>
#include <QTest>

using namespace platform;

namespace {

/// What a caller does with the choosers: saves a text under a name the user
/// gives, then opens a file the user picks and reads it.
bool saveExperiment(const std::string& directory, const std::string& text)
{
    FileChooserRequest request;
    request.mode = FileChooserMode::Save;
    request.title = "Save Experiment As";
    request.directory = directory;
    request.filters = parseFilterText("Simulation Experiment (*.p)|*.p|All Files (*.*)|*.*||");
    request.defaultExtension = "*.p";
    std::optional<std::string> path = chooserSink().chooseFile(request);
    return path && writeFileAtomically(*path, text);
}

std::optional<std::string> openExperiment(const std::string& directory)
{
    FileChooserRequest request;
    request.title = "Select the simulation experiment";
    request.directory = directory;
    request.filters = parseFilterText("Simulation Experiment (*.p)|*.p|All Files (*.*)|*.*||");
    std::optional<std::string> path = chooserSink().chooseFile(request);
    return path ? readFile(*path) : std::nullopt;
}

/// Draws one frame on one page.
class FramePrintout : public Printout {
public:
    FramePrintout() : Printout("Orvanta Simulator") {}
    bool hasPage(int page) override { return page == 1; }
    void printPage(int, DeviceContext& context, int width, int height) override
    {
        context.rectangle(10, 10, width - 10, height - 10);
    }
};

/// Types a name into the file dialog's name field, as the user does.
void typeFileName(QFileDialog& dialog, const char* name)
{
    auto* field = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    ASSERT_NE(field, nullptr);
    field->setText(QString::fromUtf8(name));
}

class QtChoosers : public ::testing::Test {
protected:
    void SetUp() override { testsupport::testApplication(); }

    testsupport::TempDir m_dir;
    ScriptedMessageSink m_boxes;
    ScopedMessageSink m_useBoxes{m_boxes};
};

} // namespace

TEST_F(QtChoosers, TheScriptedSinkDrivesASaveAndOpenRoundTrip)
{
    ScriptedChooserSink sink;
    ScopedChooserSink use(sink);
    std::string path = m_dir.file("exp1.p");
    sink.answerFile(path);
    sink.answerFile(path);
    ASSERT_TRUE(saveExperiment(m_dir.path(), "#Pvalue\nm 2\n"));
    EXPECT_EQ(openExperiment(m_dir.path()), "#Pvalue\nm 2\n");
    ASSERT_EQ(sink.transcript().size(), 2u);
    EXPECT_EQ(sink.transcript()[0].file.mode, FileChooserMode::Save);
    EXPECT_EQ(sink.transcript()[0].file.title, "Save Experiment As");
    EXPECT_EQ(sink.transcript()[1].file.mode, FileChooserMode::Open);
    EXPECT_EQ(sink.transcript()[1].file.filters.size(), 2u);

    // Cancelled choosers save and open nothing.
    EXPECT_FALSE(saveExperiment(m_dir.path(), "lost"));
    EXPECT_EQ(openExperiment(m_dir.path()), std::nullopt);
}

TEST_F(QtChoosers, QtFileDialogsDriveTheSameRoundTripWithFiltersAndTheDefaultExtension)
{
    QtChooserSink qtSink;
    ScopedChooserSink use(qtSink);
    QStringList filters;
    bool saving = false;
    testsupport::answerNextModal([&](QWidget& modal) {
        auto* dialog = qobject_cast<QFileDialog*>(&modal);
        ASSERT_NE(dialog, nullptr);
        filters = dialog->nameFilters();
        saving = dialog->acceptMode() == QFileDialog::AcceptSave;
        typeFileName(*dialog, "exp2");
        static_cast<QDialog*>(dialog)->accept(); // as its Save, Open or Choose button
    });
    ASSERT_TRUE(saveExperiment(m_dir.path(), "#Pvalue\nk 40\n"));
    EXPECT_TRUE(saving);
    EXPECT_EQ(filters, (QStringList{"Simulation Experiment (*.p)", "All Files (*)"}));
    ASSERT_TRUE(fileExists(m_dir.file("exp2.p"))) << "the default extension was added";

    testsupport::answerNextModal([&](QWidget& modal) {
        auto* dialog = qobject_cast<QFileDialog*>(&modal);
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->acceptMode(), QFileDialog::AcceptOpen);
        typeFileName(*dialog, "exp2.p");
        static_cast<QDialog*>(dialog)->accept(); // as its Save, Open or Choose button
    });
    EXPECT_EQ(openExperiment(m_dir.path()), "#Pvalue\nk 40\n");

    testsupport::answerNextModal([](QWidget& modal) { static_cast<QDialog&>(modal).reject(); });
    EXPECT_EQ(openExperiment(m_dir.path()), std::nullopt);

    // The folder chooser gives the folder the user went into.
    std::string out = m_dir.mkdir("code");
    testsupport::answerNextModal([&](QWidget& modal) {
        auto* dialog = qobject_cast<QFileDialog*>(&modal);
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->windowTitle(), "Choose a destination folder for the code files:");
        dialog->setDirectory(QString::fromStdString(out));
        static_cast<QDialog*>(dialog)->accept(); // as its Save, Open or Choose button
    });
    EXPECT_EQ(chooserSink().chooseFolder({"Choose a destination folder for the code files:", m_dir.path(), 0}), out);
}

TEST_F(QtChoosers, PrinterSetupIsOurOwnDialogOfPaperOrientationAndPdfFile)
{
    QtChooserSink qtSink;
    ScopedChooserSink use(qtSink);
    QPrinter printer;
    std::string pdf = m_dir.file("plot.pdf");
    testsupport::answerNextModal([&](QWidget& modal) {
        auto* dialog = dynamic_cast<PrinterDialog*>(&modal);
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->objectName(), "DLG_PRINTERSETUP");
        EXPECT_EQ(dialog->text(ID_PRINTER_NAME), "PDF file");
        EXPECT_EQ(dialog->text(ID_PRINTER_FILE), PrinterSettings::defaults().outputFile);
        dialog->setText(ID_PRINTER_FILE, "");
        dialog->selectIndex(ID_PRINTER_PAPER, dialog->findItem(ID_PRINTER_PAPER, "Letter"));
        QTest::mouseClick(dialog->control(ID_PRINTER_LANDSCAPE), Qt::LeftButton);
        QTest::mouseClick(dialog->control(IDOK), Qt::LeftButton);
        EXPECT_FALSE(dialog->hasEnded()) << "no file named yet";
        EXPECT_EQ(dialog->text(ID_PRINTER_STATUS), "No file given to print to.");
        dialog->setText(ID_PRINTER_FILE, pdf);
        testsupport::grabToPng(*dialog, "printer_setup");
        QTest::mouseClick(dialog->control(IDOK), Qt::LeftButton);
    });
    ASSERT_TRUE(setupPrinter(printer));
    EXPECT_EQ(printer.outputFormat(), QPrinter::PdfFormat);
    EXPECT_EQ(printer.outputFileName().toStdString(), pdf);
    EXPECT_EQ(printer.pageLayout().orientation(), QPageLayout::Landscape);
    EXPECT_EQ(printer.pageLayout().pageSize().id(), QPageSize::Letter);
    EXPECT_EQ(printerSettings(printer).paper, "Letter");

    testsupport::answerNextModal([](QWidget& modal) { QTest::keyClick(&modal, Qt::Key_Escape); });
    EXPECT_FALSE(setupPrinter(printer));
    EXPECT_EQ(printer.outputFileName().toStdString(), pdf) << "a cancelled setup changes nothing";
}

TEST_F(QtChoosers, ThePrinterDialogBrowsesForItsFileThroughTheChooserSink)
{
    ScriptedChooserSink sink;
    ScopedChooserSink use(sink);
    PrinterRequest request;
    request.setup = false;
    request.documentTitle = "Orvanta Simulator";
    request.settings.outputFile = m_dir.file("first.pdf");
    PrinterDialog dialog(request, nullptr);
    EXPECT_EQ(dialog.objectName(), "DLG_PRINT");
    EXPECT_EQ(dialog.windowTitle(), "Print: Orvanta Simulator");
    EXPECT_EQ(dialog.text(IDOK), "&Print");
    EXPECT_TRUE(dialog.isChecked(ID_PRINTER_PORTRAIT));

    sink.answerFile(m_dir.file("second.pdf"));
    QTest::mouseClick(dialog.control(ID_PRINTER_BROWSE), Qt::LeftButton);
    EXPECT_EQ(dialog.text(ID_PRINTER_FILE), m_dir.file("second.pdf"));
    ASSERT_EQ(sink.transcript().size(), 1u);
    const FileChooserRequest& asked = sink.transcript()[0].file;
    EXPECT_EQ(asked.mode, FileChooserMode::Save);
    EXPECT_EQ(asked.directory, m_dir.path());
    EXPECT_EQ(asked.fileName, "first.pdf");
    EXPECT_EQ(asked.defaultExtension, "pdf");
    EXPECT_EQ(asked.owner, dialog.handle());

    QTest::mouseClick(dialog.control(ID_PRINTER_BROWSE), Qt::LeftButton); // cancelled: the file stays
    EXPECT_EQ(dialog.text(ID_PRINTER_FILE), m_dir.file("second.pdf"));
    EXPECT_EQ(dialog.settings().outputFile, m_dir.file("second.pdf"));
}

TEST_F(QtChoosers, PrintingAsksForThePdfFileAndWritesIt)
{
    ScriptedChooserSink sink;
    ScopedChooserSink use(sink);
    PrinterSettings chosen;
    chosen.outputFile = m_dir.file("printed.pdf");
    chosen.landscape = true;
    sink.answerPrinter(chosen);
    sink.answerPrinter(std::nullopt);

    QPrinter printer(QPrinter::HighResolution);
    FramePrintout printout;
    ASSERT_TRUE(printDocument(printout, printer, true));
    std::optional<std::string> bytes = readFile(chosen.outputFile);
    ASSERT_TRUE(bytes);
    EXPECT_EQ(bytes->rfind("%PDF", 0), 0u);
    ASSERT_EQ(sink.transcript().size(), 1u);
    EXPECT_FALSE(sink.transcript()[0].printer.setup);
    EXPECT_EQ(sink.transcript()[0].printer.documentTitle, "Orvanta Simulator");

    // Cancel prints nothing.
    ASSERT_EQ(deleteFile(chosen.outputFile), 0);
    EXPECT_FALSE(printDocument(printout, printer, true));
    EXPECT_FALSE(fileExists(chosen.outputFile));
}

