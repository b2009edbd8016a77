// The code generator's dialogs: the main dialog, the submodel chooser, the about box
// and the logo button they share. Their logic is in generator_dialog_logic.h.
#pragma once

#include "codegen/generator_dialog_logic.h"
#include "platform/qt/dialog.h"

#include <QObject>

#include <memory>
#include <optional>
#include <string>

/// Control ids of the main dialog.
namespace generator_ids {
inline constexpr int Progress = 1001;
inline constexpr int SFunction = 1003;
inline constexpr int BrowseModel = 1004;
inline constexpr int ModelName = 1005;
inline constexpr int BrowseExperiment = 1006;
inline constexpr int ExperimentName = 1007;
inline constexpr int StandAlone = 1008;
inline constexpr int ModelPath = 1009;
inline constexpr int BrowseOutput = 1010;
inline constexpr int OutputDirectory = 1011;
inline constexpr int Generate = 1012;
inline constexpr int SimulationOutputGroup = 1013;
inline constexpr int OutputNone = 1014;
inline constexpr int Function = 1015;
inline constexpr int OutputDuring = 1017;
inline constexpr int OutputAfter = 1018;
inline constexpr int Logo = 1022;
/// What the last generation wrote, or why it wrote nothing.
inline constexpr int Status = 1025;
inline constexpr int MailLink = 1023;
inline constexpr int WebLink = 1024;
inline constexpr int SubmodelList = 1029;
inline constexpr int FunctionName = 1031;
/// The command of the about box in the dialog's menu.
inline constexpr int AboutCommand = 16;
} // namespace generator_ids

/// The logo button: a button the dialog paints with the logo. A double click with the
/// Control key held swaps its pictures; the first swap moves and grows it and hides the
/// sibling named to it.
class LogoButton : public QObject {
public:
    /// Takes over the dialog's button `id` and grows it by 4 pixels each way.
    LogoButton(platform::Dialog& dialog, int id, QWidget* sibling = nullptr);

    const LogoState& state() const { return m_state; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* m_button;
    QWidget* m_sibling;
    LogoState m_state;
};

/// "Orvanta Submodel Chooser": the model's submodels and the name of the function.
class SubmodelChooserDialog : public platform::Dialog {
public:
    SubmodelChooserDialog(const GeneratorModel& model, const std::string& preset, int outputKind, QWidget* parent);

    const std::string& chosenSubmodel() const { return m_chosen; }
    const std::string& functionName() const { return m_functionName; }

protected:
    void notify(int id, int code) override;

private:
    void selectionChanged();

    std::string m_chosen;
    std::string m_functionName;
    int m_outputKind;
};

/// "About Orvanta ANSI-C Code Generator".
class GeneratorAboutDialog : public platform::Dialog {
public:
    explicit GeneratorAboutDialog(QWidget* parent);

    /// The addresses the two link buttons open.
    static const char* const MailAddress;
    static const char* const WebAddress;

protected:
    void notify(int id, int code) override;

private:
    std::unique_ptr<LogoButton> m_logo;
};

/// "Orvanta ANSI-C Code Generator": the model, the experiment, the kind of output and
/// the output directory, and the generation.
class CodeGeneratorDialog : public platform::Dialog {
public:
    /// The caller's three texts, each of which may be null.
    CodeGeneratorDialog(const char* model, const char* experiment, const char* submodel, QWidget* parent);

    const GeneratorFields& fields() const { return m_fields; }

protected:
    void notify(int id, int code) override;

private:
    void fieldsToControls();
    void controlsToFields();
    /// Moves the controls to the fields and enables the simulation output for a stand-alone program.
    void updateOutputOptions();
    std::optional<std::string> chooseFile(const char* title, const std::string& directory, const char* filter,
                                          const char* extension);
    void browseModel();
    void browseExperiment();
    void browseOutputDirectory();
    void generate();
    void showAbout();

    GeneratorFields m_fields;
    std::unique_ptr<LogoButton> m_logo;
};
