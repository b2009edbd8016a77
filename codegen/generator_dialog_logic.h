// The logic of the code generator's dialogs, without widgets: the fields of the main
// dialog, the rules between them, the output directory made on request, the generation
// of the kind chosen with its report, the submodel chooser's rules and the pictures of
// the logo button.
#pragma once

#include "codegen/generation.h"
#include "platform/core/window_handle.h"

#include <optional>
#include <string>
#include <vector>

/// The three kinds of output, as the dialog's radios number them.
enum OutputKind : int {
    SFunctionOutput = 0,
    FunctionOutput = 1,
    StandAloneOutput = 2,
};

/// What the main dialog holds; kept between generations while it is open.
struct GeneratorFields {
    std::string modelName;
    std::string experimentName;
    std::string modelPath;           ///< up to and including its last '/'; empty: the current directory
    int simulationOutput = 0;        ///< 0 none, 1 during the run, 2 after the run
    int outputKind = SFunctionOutput;
    std::string outputDirectory;     ///< empty: asked for at each generation
    std::string submodel;            ///< levels joined by '`'; the chooser's preset
    std::string experimentDirectory; ///< the folder of an experiment chosen by browsing; empty: none
    std::string status;              ///< what the last generation wrote, or why it wrote nothing
};

/// The fields of the caller's three texts, each of which may be null; the model (its
/// path and name without extension) is split at its last '/'.
GeneratorFields InitialFields(const char* model, const char* experiment, const char* submodel);

/// Whether the simulation output choices apply to an output kind: only a stand-alone
/// program prints its run.
bool SimulationOutputApplies(int outputKind);

/// A model file chosen by browsing: its folder becomes the model path, its name without
/// extension the model name; an experiment chosen before for another model is forgotten.
void TakeChosenModel(GeneratorFields& fields, const std::string& path);

/// An experiment file chosen by browsing: its name without extension and its folder.
void TakeChosenExperiment(GeneratorFields& fields, const std::string& path);

/// Where the experiment chooser opens: the model's experiment folder (model path and
/// model name) when the model is named and that folder exists, else the model path.
std::string ExperimentChooserFolder(const GeneratorFields& fields);

/// Where the output folder chooser opens: the path without a '/' that ends it.
std::string FolderChooserStart(const std::string& path);

/// The output folder chooser, opened at the start path for the owner window; the
/// folder chosen, none when the user cancelled.
std::optional<std::string> BrowseForOutputFolder(platform::WindowHandle owner, const std::string& start);

/// The experiment's files without extension: those of the folder an experiment was
/// chosen in, else of the model's experiment folder, else beside the model (where the
/// simulator saves them), the first of these that holds a file of the experiment.
/// Without such a file, the model's experiment folder, which then warns that it
/// cannot be opened.
std::string ExperimentBase(const GeneratorFields& fields);

/// The request of the fields: the model path and name with ".e", the experiment, the
/// output directory and the simulation output.
GenerationRequest RequestOf(const GeneratorFields& fields);

/// Before a generation: an output directory that is named but does not exist is made
/// (one level) when the user agrees. False, after the question or a message, when the
/// generation must not go on.
bool PrepareOutputDirectory(const std::string& directory);

/// The report of a written generation: the files written and where.
std::vector<std::string> SuccessLines(int outputKind, const std::string& directory, const std::string& functionName);

/// What the dialog's status says after a generation: what was written where, else
/// "Nothing written: " (or "Not every file written: ") and why.
std::string GenerationStatus(int outputKind, const GenerationResult& result);

/// Runs the generation of the fields' output kind with the user's choices and reports a
/// written one. The fields take the submodel and the output directory chosen, and the
/// status of the generation.
GenerationOutcome GenerateFromFields(GeneratorFields& fields, const GenerationChoices& choices,
                                     const ProgressFunction& progress = {});

/// The function name an entry of the submodel chooser proposes: the text after its last
/// '`', all of it without one; "Noname" for no entry.
std::string ProposedFunctionName(const std::string* entry);

/// The entry a preset selects: the one equal to it, else the first that begins with it;
/// -1 for none or no preset.
int PresetEntry(const std::vector<std::string>& entries, const std::string& preset);

/// Why a function name chosen for a block cannot be taken; empty when it can. An
/// S-function's name names its file and its S-function, so it must be a C name.
std::vector<std::string> FunctionNameRefusal(const std::string& name, int outputKind);

/// The pictures of the logo button: the plain pair, and the pairs a double click with
/// the Control key held swaps in (right button, left button).
enum LogoPicture : int {
    LogoUp = 1,      ///< "LOGOU"
    LogoDown = 2,    ///< "LOGOD"
    LogoRightUp = 131,
    LogoLeftUp = 162,
    LogoSwapDown = 163,
};

struct LogoState {
    int up = LogoUp;
    int down = LogoDown;
    bool swapped = false;
    int sound = 0; ///< the sound of the last swap: 130 right, 149 left
};

/// A double click with the Control key held: the pictures of that button. True on the
/// first swap, when the button grows and its sibling is hidden.
bool SwapLogoPictures(LogoState& state, bool rightButton);
