// The processing pipeline: `ttparse_file` reads one model description, `ttprocess_model`
// takes the current model through parsing, expansion, causal analysis and equations.
#include "modelproc/processing_pipeline.h"

#include "common/model_file_rules.h"
#include "common/settings_table.h"
#include "modelproc/causal_analysis.h"
#include "modelproc/equation_generation.h"
#include "modelproc/expansion.h"
#include "modelproc/extension_rewrite.h"
#include "modelproc/instance_application.h"
#include "modelproc/keldor_parser.h"
#include "modelproc/keldor_scanner.h"
#include "modelproc/model_records.h"
#include "modelproc/record_release.h"
#include "modelproc/symbol_table.h"
#include "modelproc/template_writer.h"
#include "platform/core/file_system.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <memory>
#include <new>
#include <stdexcept>
#include <system_error>

PipelineState& Pipeline()
{
    static PipelineState state;
    return state;
}

PipelinePhases builtInPhases()
{
    PipelinePhases phases;
    phases.expand = expand_model;
    phases.causal = causal_analysis;
    phases.generate = [](ClassRec* cls, const std::string&) {
        return generateEquations(cls, Pipeline().workingDirectory);
    };
    phases.writeTemplate = ttwrite_template;
    return phases;
}

PipelinePhases& Phases()
{
    static PipelinePhases phases = builtInPhases();
    return phases;
}

namespace {

/// The parse of one text, with the symbol tables set up and the error hook installed; `afterNul`
/// is where the file goes on after the NUL byte that ends its text, which is refused first.
int parseInstalled(std::string text, const std::string& fileName, int level, ClassRec*& cls,
                   const std::shared_ptr<int>& errors, const std::optional<TextPlace>& afterNul)
{
    ProcessingPosition& position = CurrentPosition();
    position.errorFile = fileName;
    const int countBefore = position.errorCount;
    if (afterNul) {
        position.line = afterNul->line;
        position.token = afterNul->token;
        ttparse_error(kTextAfterNul);
    }
    KeldorScanner& scanner = KeldorScanner::current();
    scanner.reset(std::move(text));
    setCheckLevel(level);
    resetParserState();
    int parsed = parseKeldor();
    ClassRec* result = takeParsedClass();
    scanner.reset({});
    if (parsed != 0 || *errors != 0 || position.errorCount != countBefore || !result)
        return -2;
    cls = result;
    return 0;
}

/// Sets the symbol tables up and installs the hook; the parse runs when `text` is given.
int parseWith(std::optional<std::string> text, const std::string& fileName, int level, ClassRec*& cls,
              ErrorHook errorHook, const std::optional<TextPlace>& afterNul = std::nullopt)
{
    cls = nullptr;
    if (!errorHook)
        errorHook = [](const char*, const char*, const char*, int, const char*, const char*) {};
    ttset_error_callback(errorHook);
    if (!symtabSetup(1))
        return -3;
    KeldorScanner::current().reset({});
    int status = -1;
    if (text) {
        // Errors are counted here as well, so that a hook that does not count still fails the text.
        auto errors = std::make_shared<int>(0);
        ttset_error_callback([errors, errorHook](const char* kind, const char* file, const char* submodel,
                                                 int line, const char* token, const char* message) {
            ++*errors;
            errorHook(kind, file, submodel, line, token, message);
        });
        status = parseInstalled(std::move(*text), fileName, level, cls, errors, afterNul);
    }
    symtabRelease();
    ttset_error_callback(errorHook);
    return status;
}

} // namespace

int ttparse_file(const std::string& path, int level, ClassRec*& cls, ErrorHook errorHook)
{
    std::optional<std::string> text = platform::readFile(path);
    std::optional<TextPlace> afterNul;
    if (text) {
        const ModelFileText split = SplitModelFileText(*text);
        afterNul = split.rest;
        text->resize(split.text.size());
    }
    return parseWith(std::move(text), pathTail(path), level, cls, std::move(errorHook), afterNul);
}

int ttparse_text(const std::string& text, const std::string& fileName, int level, ClassRec*& cls,
                 ErrorHook errorHook)
{
    return parseWith(text, fileName, level, cls, std::move(errorHook));
}

namespace {

void status(const char* text)
{
    if (DisplayHooks().status)
        DisplayHooks().status(text);
}

void percent(int value)
{
    if (DisplayHooks().percent)
        DisplayHooks().percent(value);
}

void progress(const std::string& text)
{
    DisplayHooks().progress(text.c_str());
}

void diagnostics(const std::string& text)
{
    DisplayHooks().diag(text.c_str());
}

/// Frees everything the run made and shows the final status text.
void releaseRun(ClassRec* cls, const char* finalText)
{
    // Every record of the run, the class's among them, lives in the run's arena, which
    // `release_all` gives back at once: walking the class to hand each record over first would
    // only take time.
    if (cls)
        status("Clearing memory..");
    release_all();
    if (finalText)
        status(finalText);
}

std::string classLabel(const ClassRec* cls)
{
    return cls->name + std::to_string(cls->version);
}

int runPhase(const PhaseFunction& phase, ClassRec* cls, const std::string& file)
{
    return phase ? phase(cls, file) : 0;
}

/// Writes a template file named after `baseName` with extension `code`.
void writeTemplateFile(ClassRec* cls, const std::string& baseName, const char* code)
{
    std::string name = baseName;
    ttchange_extension(name, code);
    std::string file = pathTail(name);
    // A template that could not be written has been reported by the writer.
    if (Phases().writeTemplate && Phases().writeTemplate(cls, file, Pipeline().workingDirectory))
        progress(formatMessage("Result has been written to template file %s.", file.c_str()));
}

/// Moves the model file to its new name, replacing a file of that name; false after reporting.
bool moveModelFile(const std::string& from, const std::string& to)
{
    std::error_code error;
    if (std::filesystem::exists(to, error) && !std::filesystem::is_directory(to, error))
        std::filesystem::remove(to, error);
    error.clear();
    std::filesystem::rename(from, to, error);
    if (!error)
        return true;
    std::string message = formatMessage("cannot move the model file to %s: %s.", pathTail(to).c_str(),
                                        error.message().c_str());
    DisplayHooks().error("General error", pathTail(from).c_str(), nullptr, -1, nullptr, message.c_str());
    return false;
}

/// Whether the class is the model its file is named for: the class name followed by the version
/// digit is the file's name before its extension (letter case aside, as files are named in lower
/// case). A file named without a digit, as the editors save a model named without one, says no
/// version. Otherwise the files written for the class would be another model's; the error names
/// the file and what its heading says.
bool headingMatchesFileName(const ClassRec* cls, const std::string& path)
{
    const std::string file = pathTail(path);
    std::string named = platform::toLower(file.substr(0, file.find('.')));
    std::string version;
    if (!named.empty() && named.back() >= '0' && named.back() <= '9') {
        version = named.substr(named.size() - 1);
        named.pop_back();
    }
    if (platform::toLower(cls->name) == named && (version.empty() || version == std::to_string(cls->version)))
        return true;
    // Both told in the heading's words: a file rod1.mf0 is named for rod version 1, which a
    // heading "class rod1 version 1" is not.
    const std::string fileNames = version.empty() ? named : named + " version " + version;
    const std::string message =
        formatMessage("the model's heading says %s version %d, but the file is named for %s: its processed "
                      "files would be written under another name.",
                      cls->name.c_str(), static_cast<int>(cls->version), fileNames.c_str());
    DisplayHooks().error("Parse error ", file.c_str(), nullptr, -1, nullptr, message.c_str());
    return false;
}

/// The run itself; `failure` is kept at the result code of the phase under way, for a run that
/// ends in an exception.
int processModel(int& failure)
{
    PipelineState& state = Pipeline();
    ProcessingPosition& position = CurrentPosition();
    position.errorCount = 0;
    position.errorFile.clear();
    // The failures before any file is parsed count as errors too.
    ttset_error_callback(ttdisplay_error_comp);
    status("Parsing model..");
    percent(0);

    ClassRec* cls = nullptr;
    int parsed = -1;
    if (!state.modelFile.empty()) {
        parsed = ttparse_file(state.modelFile, 3, cls, ttdisplay_error_comp);
        char last = state.modelFile.back();
        if (parsed == -1 && last >= '1' && last <= '3') {
            state.modelFile.back() = '0';
            parsed = ttparse_file(state.modelFile, 3, cls, ttdisplay_error_comp);
            if (parsed == -1) {
                ttparse_error("No model given: choose a model first!");
                releaseRun(nullptr, "Processing failed during parsing.");
                return 0;
            }
        }
    } else {
        ttparse_error("No model given: choose a model first!");
        releaseRun(nullptr, "Processing failed during parsing.");
        return 0;
    }

    percent(25);
    if (!cls)
        ttparse_error("Fatal error found during compilation.");
    const bool named = cls && headingMatchesFileName(cls, state.modelFile);
    if (position.errorCount != 0 || !cls || !named) {
        if (state.depth > 3)
            progress("Expansion can't take place due to compilation error(s).");
        releaseRun(cls, "Processing failed during parsing.");
        return -1;
    }

    const std::string label = classLabel(cls);
    progress(formatMessage("No errors in %s", label.c_str()));
    const bool top = is_top_level(cls) != 0;
    std::string newName = state.modelFile;
    ttchange_extension(newName, top ? "+3" : "-3");
    if (newName != state.modelFile) {
        if (!moveModelFile(state.modelFile, newName)) {
            releaseRun(cls, "Processing failed during parsing.");
            return -1;
        }
        progress(formatMessage("Result has been written to template file %s.", pathTail(newName).c_str()));
    }
    progress("");

    if (state.depth > 3 && !top) {
        progress(formatMessage("%s is not a top-level model; no expansion allowed.", label.c_str()));
        if (state.depth > 4)
            progress("Causal analysis can't take place due to expansion error(s).");
        releaseRun(cls, "Processing failed during expansion.");
        return -1;
    }
    if (state.depth <= 3) {
        releaseRun(cls, formatMessage("No errors in %s", label.c_str()).c_str());
        return 0;
    }

    // Expansion resolves the submodel hierarchy; equation models have none.
    if (cls->type == CLASS_TOP) {
        progress(formatMessage("Starting expansion of %s.", label.c_str()));
        status("Expanding model..");
        int expanded = runPhase(Phases().expand, cls, state.modelFile);
        percent(50);
        if (expanded) {
            progress("Expansion completed successfully.");
            if (Settings().tempfiles)
                writeTemplateFile(cls, newName, "t1");
        } else {
            if (state.aborted) {
                releaseRun(cls, "Processing aborted by user.");
                return -1;
            }
            diagnostics(formatMessage("%d error(s) found expanding %s. ", position.errorCount, label.c_str()));
            if (state.depth > 4)
                progress("Causal analysis can't take place due to expansion error(s).");
            releaseRun(cls, "Processing failed during expansion.");
            return -1;
        }
    }
    progress("");
    if (state.depth <= 4) {
        releaseRun(cls, "Expansion completed successfully.");
        return 1;
    }

    // Causal analysis needs the expanded graph.
    failure = -2;
    if (cls->type == CLASS_TOP) {
        progress(formatMessage("Starting causal analysis of %s.", label.c_str()));
        status("Performing causal analysis..");
        int causal = runPhase(Phases().causal, cls, state.modelFile);
        percent(75);
        if (causal) {
            progress("Causal analysis completed successfully.");
            // The editor that asked for causal analysis shows the strokes it reads from this file.
            if (Settings().tempfiles || state.depth <= 5)
                writeTemplateFile(cls, newName, "t2");
        } else {
            if (state.aborted) {
                releaseRun(cls, "Processing aborted by user.");
                return -2;
            }
            diagnostics(formatMessage("%d error(s) found during causal analysis of %s.", position.errorCount,
                                      label.c_str()));
            if (state.depth > 5)
                progress("Equations can not be generated due to causal error(s).");
            releaseRun(cls, "Processing failed during causal analysis.");
            return -2;
        }
    }
    progress("");
    if (state.depth <= 5) {
        releaseRun(cls, "Causal analysis completed successfully.");
        return 2;
    }

    // Equation generation also writes the code file and the equation file.
    failure = -3;
    progress(formatMessage("Starting equations generation of %s.", label.c_str()));
    status("Generating equations..");
    // An equation model has had no expansion to count what it takes: its sizes are counted here,
    // before its equations are taken apart element by element.
    const std::string file = pathTail(state.modelFile);
    const auto refuse = [&file](const std::string& message) {
        DisplayHooks().error("General error", file.c_str(), nullptr, -1, nullptr, message.c_str());
    };
    int generated = cls->type == CLASS_DYN && !countClassAlone(cls, " of model " + label, refuse)
                        ? 0
                        : runPhase(Phases().generate, cls, state.modelFile);
    if (generated) {
        if (generated == 1)
            progress("Equation generation completed successfully.");
        releaseRun(cls, "Model processed successfully.");
        return 3;
    }
    if (state.aborted) {
        releaseRun(cls, "Processing aborted by user.");
        return -3;
    }
    diagnostics(formatMessage("%d error(s) found during equations generation of %s.", position.errorCount,
                              label.c_str()));
    releaseRun(cls, "Processing failed during equation generation.");
    return -3;
}

} // namespace

int ttprocess_model()
{
    int failure = -1;
    std::string message;
    try {
        return processModel(failure);
    } catch (const std::bad_alloc&) {
        message = "memory allocation failure (may be out of memory).";
    } catch (const std::exception& e) {
        message = std::string("<error: ") + e.what() + " in ttprocess_model>";
    }
    // Whatever the run made goes; the failure is reported like any other.
    release_all();
    DisplayHooks().error("General error", nullptr, nullptr, -1, nullptr, message.c_str());
    status(failure == -1 ? "Processing failed during expansion."
                         : failure == -2 ? "Processing failed during causal analysis."
                                         : "Processing failed during equation generation.");
    return failure;
}
