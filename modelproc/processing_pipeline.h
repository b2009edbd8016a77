// The processing pipeline: loading a model file and taking it through the phases.
#pragma once

#include "modelproc/display_hooks.h"

#include <functional>
#include <string>

struct ClassRec;

/// The pipeline's state; one per process.
struct PipelineState {
    std::string modelFile;        ///< full path of the model description to process
    int depth = 6;                ///< 3 parse only, 4 up to expansion, 5 up to causal analysis, 6 all
    int aborted = 0;              ///< read after a failed phase
    std::string workingDirectory; ///< where template files go
};

PipelineState& Pipeline();

/// A later phase: takes the class and the current model file name; non-zero is success.
using PhaseFunction = std::function<int(ClassRec* cls, const std::string& modelFile)>;
/// Writes a template file of the class: file name and directory.
using TemplateWriter = std::function<int(ClassRec* cls, const std::string& file, const std::string& directory)>;

/// The phases after parsing, installed by the modules that provide them; an empty slot fails.
struct PipelinePhases {
    PhaseFunction expand;
    PhaseFunction causal;
    PhaseFunction generate;
    TemplateWriter writeTemplate;
};

/// The installed phases; at start the built-in ones.
PipelinePhases& Phases();

/// The phases this library provides; slots not built yet are empty.
PipelinePhases builtInPhases();

/// Reads one model file at check level 1 to 3 with `errorHook` installed: 0 and the class,
/// -1 the file cannot be read, -2 errors while parsing, -3 no symbol table.
int ttparse_file(const std::string& path, int level, ClassRec*& cls, ErrorHook errorHook);

/// As `ttparse_file` for a text in memory that errors report as `fileName`; -1 is not given.
int ttparse_text(const std::string& text, const std::string& fileName, int level, ClassRec*& cls,
                 ErrorHook errorHook);

/// Processes the current model file to the processing depth; 3 .. -3 (see the messages).
int ttprocess_model();
