// Qt's file dialogs and the printer dialog.
#include "platform/qt/qt_choosers.h"

#include "platform/qt/window_widgets.h"

#include <QFileDialog>
#include <QRegularExpression>

namespace platform {

namespace {

const DialogDescription& printerDialog(bool setup)
{
    auto make = [](std::string resource, std::string caption, std::string okLabel) {
        return DialogDescription{std::move(resource), "TQNPrinterDialog", std::move(caption), 230, 134, {
            groupBox(-1, "Printer", {6, 4, 218, 48}),
            staticText(-1, "Name :", {12, 17, 50, 8}),
            staticText(ID_PRINTER_NAME, "PDF file", {66, 17, 150, 8}),
            staticText(-1, "&File :", {12, 33, 50, 8}),
            edit(ID_PRINTER_FILE, {66, 31, 110, 12}),
            pushButton(ID_PRINTER_BROWSE, "&Browse...", {180, 30, 40, 14}),
            groupBox(-1, "Paper", {6, 56, 218, 42}),
            staticText(-1, "&Size :", {12, 71, 50, 8}),
            comboBox(ID_PRINTER_PAPER, {66, 69, 60, 70}),
            radioButton(ID_PRINTER_PORTRAIT, "P&ortrait", {140, 66, 70, 10}).group(),
            radioButton(ID_PRINTER_LANDSCAPE, "&Landscape", {140, 80, 70, 10}),
            staticText(ID_PRINTER_STATUS, "", {6, 102, 218, 8}),
            pushButton(IDOK, std::move(okLabel), {124, 114, 48, 14}).defaultButton(),
            pushButton(IDCANCEL, "&Cancel", {176, 114, 48, 14}),
        }};
    };
    static const DialogDescription setupDialog = make("DLG_PRINTERSETUP", "Printer Setup", "&OK");
    static const DialogDescription printDialog = make("DLG_PRINT", "Print", "&Print");
    return setup ? setupDialog : printDialog;
}

} // namespace

QStringList qtNameFilters(const std::vector<FileFilter>& filters)
{
    QStringList result;
    for (const FileFilter& filter : filters) {
        QString patterns = QString::fromStdString(filter.patterns);
        QStringList each = patterns.split(QLatin1Char(';'), Qt::SkipEmptyParts);
        for (QString& pattern : each) {
            pattern = pattern.trimmed();
            if (pattern == QLatin1String("*.*"))
                pattern = QStringLiteral("*");
        }
        QString description = QString::fromStdString(filter.description);
        // Qt reads the patterns from the parentheses; the suite's descriptions often carry their own.
        description.remove(QRegularExpression(QStringLiteral("\\s*\\([^()]*\\)\\s*$")));
        result << QStringLiteral("%1 (%2)").arg(description, each.join(QLatin1Char(' ')));
    }
    return result;
}

std::optional<std::string> QtChooserSink::chooseFile(const FileChooserRequest& request)
{
    bool save = request.mode == FileChooserMode::Save;
    QFileDialog dialog(windowWidget(request.owner), QString::fromStdString(request.title),
                       QString::fromStdString(request.directory));
    dialog.setObjectName(save ? QStringLiteral("SaveFileChooser") : QStringLiteral("OpenFileChooser"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !request.confirmOverwrite);
    if (!request.filters.empty())
        dialog.setNameFilters(qtNameFilters(request.filters));
    std::string extension = withDefaultExtension("x", request.defaultExtension);
    if (extension != "x")
        dialog.setDefaultSuffix(QString::fromStdString(extension.substr(2)));
    if (!request.fileName.empty())
        dialog.selectFile(QString::fromStdString(request.fileName));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().front().toStdString();
}

std::optional<std::string> QtChooserSink::chooseFolder(const FolderChooserRequest& request)
{
    QFileDialog dialog(windowWidget(request.owner), QString::fromStdString(request.title),
                       QString::fromStdString(request.start));
    dialog.setObjectName(QStringLiteral("FolderChooser"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().front().toStdString();
}

std::optional<PrinterSettings> QtChooserSink::choosePrinter(const PrinterRequest& request)
{
    PrinterDialog dialog(request, windowWidget(request.owner));
    if (dialog.runModal() != IDOK)
        return std::nullopt;
    return dialog.settings();
}

PrinterDialog::PrinterDialog(const PrinterRequest& request, QWidget* parent)
    : Dialog(printerDialog(request.setup), parent)
{
    if (!request.setup && !request.documentTitle.empty())
        setCaption("Print: " + request.documentTitle);
    for (const std::string& paper : printerPaperNames())
        addItem(ID_PRINTER_PAPER, paper);
    int paper = findItem(ID_PRINTER_PAPER, request.settings.paper);
    selectIndex(ID_PRINTER_PAPER, paper < 0 ? 0 : paper);
    setChecked(request.settings.landscape ? ID_PRINTER_LANDSCAPE : ID_PRINTER_PORTRAIT, true);
    std::string file = request.settings.outputFile.empty() ? PrinterSettings::defaults().outputFile
                                                          : request.settings.outputFile;
    setText(ID_PRINTER_FILE, file);
    focusControl(ID_PRINTER_FILE);
}

PrinterSettings PrinterDialog::settings() const
{
    PrinterSettings settings;
    settings.paper = itemText(ID_PRINTER_PAPER, std::max(0, selectedIndex(ID_PRINTER_PAPER)));
    settings.landscape = isChecked(ID_PRINTER_LANDSCAPE);
    settings.outputFile = text(ID_PRINTER_FILE);
    return settings;
}

void PrinterDialog::notify(int id, int code)
{
    if (code != BN_CLICKED)
        return Dialog::notify(id, code);
    if (id == ID_PRINTER_BROWSE) {
        FileChooserRequest request;
        request.mode = FileChooserMode::Save;
        request.title = "Print To File";
        std::string file = text(ID_PRINTER_FILE);
        std::size_t slash = file.rfind('/');
        if (slash != std::string::npos) {
            request.directory = file.substr(0, slash);
            request.fileName = file.substr(slash + 1);
        } else {
            request.fileName = file;
        }
        request.filters = parseFilterText("PDF Files (*.pdf)|*.pdf|All Files (*.*)|*.*||");
        request.defaultExtension = "pdf";
        // The print asks before it replaces the file, once the file is settled.
        request.confirmOverwrite = false;
        request.owner = handle();
        if (std::optional<std::string> chosen = chooserSink().chooseFile(request))
            setText(ID_PRINTER_FILE, *chosen);
        return;
    }
    if (id == IDOK) {
        std::string problem = checkPrinterSettings(settings());
        setText(ID_PRINTER_STATUS, problem);
        if (!problem.empty()) {
            focusControl(ID_PRINTER_FILE);
            return;
        }
    }
    Dialog::notify(id, code);
}

} // namespace platform
