// The code generator's dialogs over their logic.
#include "codegen/generator_dialogs.h"

#include "common/dialog_fonts.h"
#include "common/message_boxes.h"
#include "platform/core/choosers.h"
#include "platform/qt/alerts.h"
#include "platform/qt/help.h"

#include <QAction>
#include <QApplication>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

using namespace platform;
using namespace generator_ids;

namespace {

const DialogDescription& mainDialog()
{
    static const DialogDescription d{"DLG_CODEGENERATOR", "CodeGeneratorDialog", "Orvanta ANSI-C Code Generator", 233, 285, {
        groupBox(-1, "Simulation Model", {7, 4, 219, 50}),
        staticText(-1, "Model Path :", {14, 17, 44, 8}),
        edit(ModelPath, {60, 15, 158, 12}).readOnly(),
        edit(ModelName, {14, 34, 148, 12}),
        pushButton(BrowseModel, "Browse...", {168, 33, 50, 14}),
        groupBox(-1, "Simulation Experiment", {7, 58, 219, 32}),
        edit(ExperimentName, {14, 71, 148, 12}),
        pushButton(BrowseExperiment, "Browse...", {168, 70, 50, 14}),
        groupBox(-1, "Output Generation", {7, 94, 219, 62}),
        radioButton(SFunction, "Simulink S-Function", {14, 108, 92, 10}).group(),
        radioButton(Function, "ANSI-C Function", {14, 124, 92, 10}),
        radioButton(StandAlone, "Stand-alone ANSI-C", {14, 140, 92, 10}),
        groupBox(SimulationOutputGroup, "Simulation Output", {110, 101, 108, 50}),
        radioButton(OutputNone, "None", {118, 113, 92, 10}).group(),
        radioButton(OutputDuring, "During the run", {118, 125, 92, 10}),
        radioButton(OutputAfter, "After the run", {118, 137, 92, 10}),
        groupBox(-1, "Output Directory", {7, 160, 219, 32}),
        edit(OutputDirectory, {14, 173, 148, 12}),
        pushButton(BrowseOutput, "Browse...", {168, 172, 50, 14}),
        groupBox(-1, "Code Generation", {7, 196, 219, 82}),
        staticText(-1, "Progress :", {14, 210, 40, 8}),
        progressBar(Progress, {56, 209, 162, 10}),
        staticText(Status, "", {14, 223, 204, 20}),
        bitmapButton(Logo, {14, 246, 90, 26}),
        pushButton(Generate, "Generate Code...", {140, 254, 78, 16}).defaultButton(),
    }};
    return d;
}

const DialogDescription& chooserDialog()
{
    static const DialogDescription d{"DLG_SUBMODELCHOOSER", "SubmodelChooserDialog", "Orvanta Submodel Chooser", 200, 152, {
        staticText(-1, "The following submodel(s) appear in the", {7, 6, 186, 8}),
        staticText(-1, "selected simulation model.", {7, 15, 186, 8}),
        staticText(-1, "Select a submodel from the list :", {7, 29, 186, 8}),
        listBox(SubmodelList, {7, 39, 186, 62}),
        staticText(-1, "Name of function to be generated :", {7, 106, 186, 8}),
        edit(FunctionName, {7, 116, 186, 12}),
        pushButton(IDOK, "OK", {87, 134, 50, 14}).defaultButton(),
        pushButton(IDCANCEL, "Cancel", {143, 134, 50, 14}).cancelButton(),
    }};
    return d;
}

const DialogDescription& aboutDialog()
{
    static const DialogDescription d{"DLG_CODEGENABOUT", "GeneratorAboutDialog", "About Orvanta ANSI-C Code Generator", 210, 112, {
        bitmapButton(Logo, {7, 7, 90, 26}),
        pushButton(MailLink, "Write to the makers", {7, 42, 90, 14}),
        pushButton(WebLink, "Visit the web page", {7, 60, 90, 14}),
        staticText(-1, "Orvanta ANSI-C", {104, 8, 100, 8}),
        staticText(-1, "Code Generator", {104, 17, 100, 8}),
        staticText(-1, "Version 0.1", {104, 27, 100, 8}),
        staticText(-1, "Writes a processed model", {104, 42, 100, 8}),
        staticText(-1, "as a stand-alone program,", {104, 51, 100, 8}),
        staticText(-1, "a submodel function or", {104, 60, 100, 8}),
        staticText(-1, "a Simulink S-function.", {104, 69, 100, 8}),
        pushButton(IDOK, "OK", {153, 92, 50, 14}).defaultButton(),
    }};
    return d;
}

/// The logo's pictures, drawn: a framed name on the picture's colour.
void drawLogo(QPainter& painter, const QRect& area, int picture, bool pressed)
{
    QColor colour(24, 64, 128);
    if (picture == LogoRightUp)
        colour = QColor(24, 112, 64);
    else if (picture == LogoLeftUp)
        colour = QColor(128, 48, 32);
    if (pressed || picture == LogoDown || picture == LogoSwapDown)
        colour = colour.darker(150);
    QRect inside = area.adjusted(0, 0, -1, -1);
    painter.fillRect(inside, colour);
    painter.setPen(pressed ? Qt::black : Qt::white);
    painter.drawLine(inside.topLeft(), inside.topRight());
    painter.drawLine(inside.topLeft(), inside.bottomLeft());
    painter.setPen(pressed ? Qt::white : Qt::black);
    painter.drawLine(inside.bottomLeft(), inside.bottomRight());
    painter.drawLine(inside.topRight(), inside.bottomRight());
    QFont font = painter.font();
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(Qt::white);
    const QRect text = inside.adjusted(2, 2, -2, -2).translated(pressed ? 1 : 0, pressed ? 1 : 0);
    painter.drawText(text, Qt::AlignCenter, picture == LogoRightUp || picture == LogoLeftUp
                                                ? QStringLiteral("Orvanta\nANSI-C")
                                                : QStringLiteral("Orvanta"));
}

/// Makes the dialog the owner of the boxes shown while it lives, and gives the
/// ownership back after.
class BoxOwnership {
public:
    explicit BoxOwnership(const Dialog& dialog) : m_previous(CurrentMessageOwner())
    {
        SetTempMessageOwner(dialog.handle());
    }
    ~BoxOwnership()
    {
        if (!SetTempMessageOwner(m_previous))
            RestoreMessageOwner();
    }
    BoxOwnership(const BoxOwnership&) = delete;
    BoxOwnership& operator=(const BoxOwnership&) = delete;

private:
    WindowHandle m_previous;
};

} // namespace

// ---- logo button

LogoButton::LogoButton(Dialog& dialog, int id, QWidget* sibling)
    : QObject(dialog.control(id)), m_button(dialog.control(id)), m_sibling(sibling)
{
    m_button->resize(m_button->width() + 4, m_button->height() + 4);
    m_button->installEventFilter(this);
    dialog.setOwnerDraw(id, [this](QPainter& painter, const OwnerDrawItem& item) {
        drawLogo(painter, item.rect, item.pressed ? m_state.down : m_state.up, item.pressed);
    });
}

bool LogoButton::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != m_button || event->type() != QEvent::MouseButtonDblClick)
        return false;
    auto* mouse = static_cast<QMouseEvent*>(event);
    const bool right = mouse->button() == Qt::RightButton;
    if (!(mouse->modifiers() & Qt::ControlModifier) || (!right && mouse->button() != Qt::LeftButton))
        return false;
    if (SwapLogoPictures(m_state, right)) {
        m_button->setGeometry(m_button->x() + 12, m_button->y() + 12, m_button->width() + 4,
                              m_button->height() + 40);
        if (m_sibling)
            m_sibling->hide();
    }
    m_button->update();
    // There is no sound to play on every machine; the beep stands in for it.
    beep(0);
    return true;
}

// ---- submodel chooser

SubmodelChooserDialog::SubmodelChooserDialog(const GeneratorModel& model, const std::string& preset, int outputKind,
                                             QWidget* parent)
    : Dialog(chooserDialog(), parent), m_outputKind(outputKind)
{
    DialogSetupHook(this);
    for (const std::string& name : model.submodelNames)
        addItem(SubmodelList, name);
    const int entry = PresetEntry(model.submodelNames, preset);
    if (entry >= 0) {
        selectIndex(SubmodelList, entry);
        selectionChanged();
    }
}

void SubmodelChooserDialog::selectionChanged()
{
    const int selected = selectedIndex(SubmodelList);
    const std::string entry = selected >= 0 ? itemText(SubmodelList, selected) : std::string();
    m_functionName = ProposedFunctionName(selected >= 0 ? &entry : nullptr);
    setText(FunctionName, m_functionName);
}

void SubmodelChooserDialog::notify(int id, int code)
{
    if (id == SubmodelList && code == LBN_SELCHANGE)
        return selectionChanged();
    if (id == IDOK && code == BN_CLICKED) {
        const int selected = selectedIndex(SubmodelList);
        const std::string name = text(FunctionName);
        if (std::vector<std::string> refusal = FunctionNameRefusal(name, m_outputKind); !refusal.empty()) {
            BoxOwnership owner(*this);
            ShowGeneratorBox("Orvanta Error", refusal);
            focusControl(FunctionName);
            selectAllText(FunctionName);
            return;
        }
        m_chosen = selected >= 0 ? itemText(SubmodelList, selected) : std::string();
        m_functionName = name;
        return endDialog(IDOK);
    }
    Dialog::notify(id, code);
}

// ---- about box

const char* const GeneratorAboutDialog::MailAddress = "mailto:codegen@orvanta.org";
const char* const GeneratorAboutDialog::WebAddress = "https://www.orvanta.org/";

GeneratorAboutDialog::GeneratorAboutDialog(QWidget* parent) : Dialog(aboutDialog(), parent)
{
    DialogSetupHook(this);
    m_logo = std::make_unique<LogoButton>(*this, Logo, control(MailLink));
}

void GeneratorAboutDialog::notify(int id, int code)
{
    if (code == BN_CLICKED && (id == MailLink || id == WebLink)) {
        openAddress(id == MailLink ? MailAddress : WebAddress);
        return;
    }
    Dialog::notify(id, code);
}

// ---- main dialog

CodeGeneratorDialog::CodeGeneratorDialog(const char* model, const char* experiment, const char* submodel,
                                         QWidget* parent)
    : Dialog(mainDialog(), parent), m_fields(InitialFields(model, experiment, submodel))
{
    DialogSetupHook(this);
    setProgressRange(Progress, 0, 100);
    // The desktop has no system menu to add to: the dialog's own menu holds the about box.
    auto* about = new QAction(QStringLiteral("About orvantacod..."), this);
    about->setObjectName(QStringLiteral("cmd_%1").arg(AboutCommand));
    about->setData(AboutCommand);
    connect(about, &QAction::triggered, this, [this] { showAbout(); });
    addAction(about);
    setContextMenuPolicy(Qt::ActionsContextMenu);
    m_logo = std::make_unique<LogoButton>(*this, Logo);
    setWindowIcon(QApplication::windowIcon());
    fieldsToControls();
    updateOutputOptions();
}

void CodeGeneratorDialog::fieldsToControls()
{
    setText(ModelName, m_fields.modelName);
    setText(ExperimentName, m_fields.experimentName);
    setText(ModelPath, m_fields.modelPath);
    setText(OutputDirectory, m_fields.outputDirectory);
    const int outputs[] = {OutputNone, OutputDuring, OutputAfter};
    const int kinds[] = {SFunction, Function, StandAlone};
    setChecked(outputs[std::clamp(m_fields.simulationOutput, 0, 2)], true);
    setChecked(kinds[std::clamp(m_fields.outputKind, 0, 2)], true);
}

void CodeGeneratorDialog::controlsToFields()
{
    m_fields.modelName = text(ModelName);
    m_fields.experimentName = text(ExperimentName);
    m_fields.modelPath = text(ModelPath);
    m_fields.outputDirectory = text(OutputDirectory);
    if (const int output = checkedIndex({OutputNone, OutputDuring, OutputAfter}); output >= 0)
        m_fields.simulationOutput = output;
    if (const int kind = checkedIndex({SFunction, Function, StandAlone}); kind >= 0)
        m_fields.outputKind = kind;
}

void CodeGeneratorDialog::updateOutputOptions()
{
    controlsToFields();
    const bool applies = SimulationOutputApplies(m_fields.outputKind);
    for (int id : {OutputNone, OutputDuring, OutputAfter, SimulationOutputGroup})
        enableControl(id, applies);
}

void CodeGeneratorDialog::notify(int id, int code)
{
    if (code != BN_CLICKED)
        return Dialog::notify(id, code);
    switch (id) {
    case SFunction:
    case Function:
    case StandAlone:
        return updateOutputOptions();
    case BrowseModel:
        return browseModel();
    case BrowseExperiment:
        return browseExperiment();
    case BrowseOutput:
        return browseOutputDirectory();
    case Generate:
        return generate();
    case Logo:
        return showAbout();
    default:
        return Dialog::notify(id, code);
    }
}

/// An open-file chooser of the dialog: the file chosen, none for Cancel.
std::optional<std::string> CodeGeneratorDialog::chooseFile(const char* title, const std::string& directory,
                                                           const char* filter, const char* extension)
{
    controlsToFields();
    FileChooserRequest request;
    request.mode = FileChooserMode::Open;
    request.title = title;
    request.directory = directory;
    request.filters = parseFilterText(filter);
    request.defaultExtension = extension;
    request.confirmOverwrite = false;
    request.owner = handle();
    return chooserSink().chooseFile(request);
}

void CodeGeneratorDialog::browseModel()
{
    if (std::optional<std::string> chosen =
            chooseFile("Select the simulation model", text(ModelPath),
                       "Simulation Model (*.e)|*.e|All Files (*.*)|*.*||", "*.e")) {
        TakeChosenModel(m_fields, *chosen);
        fieldsToControls();
    }
}

void CodeGeneratorDialog::browseExperiment()
{
    controlsToFields();
    if (std::optional<std::string> chosen =
            chooseFile("Select the simulation experiment", ExperimentChooserFolder(m_fields),
                       "Simulation Experiment (*.p)|*.p|All Files (*.*)|*.*||", "*.p")) {
        TakeChosenExperiment(m_fields, *chosen);
        fieldsToControls();
    }
}

void CodeGeneratorDialog::browseOutputDirectory()
{
    controlsToFields();
    if (std::optional<std::string> chosen = BrowseForOutputFolder(handle(), m_fields.modelPath)) {
        m_fields.outputDirectory = *chosen;
        fieldsToControls();
    }
}

void CodeGeneratorDialog::generate()
{
    BoxOwnership owner(*this);
    updateOutputOptions();
    if (!PrepareOutputDirectory(m_fields.outputDirectory)) {
        setText(Status, "Nothing written: the output directory " + m_fields.outputDirectory + " does not exist");
        return;
    }
    setText(Status, "");
    GenerationChoices choices;
    choices.chooseBlock = [this](const GeneratorModel& model,
                                 const BlockRequest& proposed) -> std::optional<BlockRequest> {
        SubmodelChooserDialog chooser(model, proposed.submodel, m_fields.outputKind, this);
        if (chooser.runModal() != IDOK)
            return std::nullopt;
        return BlockRequest{chooser.chosenSubmodel(), chooser.functionName()};
    };
    choices.chooseOutputDirectory = [this]() -> std::optional<std::string> {
        std::optional<std::string> chosen = BrowseForOutputFolder(handle(), m_fields.modelPath);
        if (chosen) {
            m_fields.outputDirectory = *chosen;
            fieldsToControls();
        }
        return chosen;
    };
    const auto progress = [this](int percent) {
        setProgress(Progress, percent);
        control(Progress)->repaint();
    };
    GenerateFromFields(m_fields, choices, progress);
    fieldsToControls();
    setText(Status, m_fields.status);
}

void CodeGeneratorDialog::showAbout()
{
    GeneratorAboutDialog about(this);
    about.runModal();
}
