// One generation of C code from a processed model and an experiment, shared by the
// generator's dialog and its command-line driver.
#pragma once

#include "codegen/code_writer.h"

#include <functional>
#include <optional>
#include <string>

/// What to generate from what.
struct GenerationRequest {
    std::string modelFile;        ///< the equation file (".e")
    std::string experimentBase;   ///< the experiment's files without extension; empty: none
    std::string experimentName;
    std::string outputDirectory;  ///< empty: asked for through the choices
    int simulationOutput = 0;     ///< 0 none, 1 during the run, 2 after the run
    bool experimentRequired = false; ///< an experiment one of whose files cannot be read stops it
};

/// The block a submodel becomes.
struct BlockRequest {
    std::string submodel;                ///< the submodel's path, levels joined by '`'
    std::string functionName = "Noname"; ///< the name of the generated block
};

/// Where a generation asks the user, between reading the model and writing the files.
/// Without them the request's block and output directory stand as they are.
struct GenerationChoices {
    /// The block to write of the model read, the request's block proposed; none stops.
    std::function<std::optional<BlockRequest>(const GeneratorModel& model, const BlockRequest& proposed)>
        chooseBlock;
    /// The output directory when the request names none; none stops.
    std::function<std::optional<std::string>()> chooseOutputDirectory;
};

enum class GenerationOutcome {
    Written,   ///< every file was written
    Failed,    ///< something was refused or not written, and a message said so
    Cancelled, ///< the user stopped at a choice; nothing was said
};

/// How a generation ended, with what it wrote where.
struct GenerationResult {
    GenerationOutcome outcome = GenerationOutcome::Failed;
    std::string outputDirectory;
    BlockRequest block;
    /// Why nothing was written, in a few words: the first line of the message that said
    /// so, or the choice the user did not make; empty once everything was written.
    std::string reason;
    /// The writers ran: some of the files may be there although not all are.
    bool writingStarted = false;

    explicit operator bool() const { return outcome == GenerationOutcome::Written; }
};

/// Reads the model and the experiment and writes the stand-alone program. A model file
/// that cannot be opened stops with "Error reading the specified model file"; one that
/// holds what the generated code cannot stops with the one message that names it; an
/// experiment file that cannot be read only warns, and the program gets the default values
/// of what it gives, unless the request requires the experiment: then nothing is written.
GenerationResult GenerateStandAlone(const GenerationRequest& request, const ProgressFunction& progress = {},
                                    const GenerationChoices& choices = {});

/// Reads the model and the experiment as above, extracts the submodel and writes it as
/// a function with an input and an output vector.
GenerationResult GenerateSubmodelFunction(const GenerationRequest& request, const BlockRequest& block,
                                          const ProgressFunction& progress = {},
                                          const GenerationChoices& choices = {});

/// Reads the model and the experiment as above, extracts the submodel and writes it as
/// an S-function named after the function name.
GenerationResult GenerateSFunction(const GenerationRequest& request, const BlockRequest& block,
                                   const ProgressFunction& progress = {}, const GenerationChoices& choices = {});

/// Shows a box of the generator: the caption ("Orvanta Error", "Orvanta Warning",
/// "Orvanta Message") with its icon, owned by the current message owner.
void ShowGeneratorBox(const std::string& caption, const std::vector<std::string>& lines);
