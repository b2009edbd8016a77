// One generation of C code from a processed model and an experiment, shared by the
// generator's dialog and its command-line driver.
#pragma once

#include "codegen/code_writer.h"

#include <string>

/// What to generate from what.
struct GenerationRequest {
    std::string modelFile;        ///< the equation file (".e")
    std::string experimentBase;   ///< the experiment's files without extension; empty: none
    std::string experimentName;
    std::string outputDirectory;
    int simulationOutput = 0;     ///< 0 none, 1 during the run, 2 after the run
};

/// The block a submodel becomes.
struct BlockRequest {
    std::string submodel;                ///< the submodel's path, levels joined by '`'
    std::string functionName = "Noname"; ///< the name of the generated block
};

/// Reads the model and the experiment and writes the stand-alone program. A model that
/// cannot be read stops with "Error reading the specified model file"; an experiment
/// that cannot be read only warns, and the program gets the default run values.
bool GenerateStandAlone(const GenerationRequest& request, const ProgressFunction& progress = {});

/// Reads the model and the experiment as above, extracts the submodel and writes it as
/// a function with an input and an output vector.
bool GenerateSubmodelFunction(const GenerationRequest& request, const BlockRequest& block,
                              const ProgressFunction& progress = {});

/// Reads the model and the experiment as above, extracts the submodel and writes it as
/// an S-function named after the function name.
bool GenerateSFunction(const GenerationRequest& request, const BlockRequest& block,
                       const ProgressFunction& progress = {});
