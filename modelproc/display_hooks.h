// The five replaceable display hooks through which model processing reports,
// the parse-error report, and the model processor's routing of hook texts to its log.
#pragma once

#include <functional>
#include <optional>
#include <string>

/// Error hook: kind text, file name, submodel name, line (-1 none), token, message; texts may be null.
using ErrorHook = std::function<void(const char* kind, const char* file, const char* submodel, int line,
                                     const char* token, const char* message)>;
using TextHook = std::function<void(const char* text)>;
using PercentHook = std::function<void(int percent)>;

/// One set per process; error, progress and diag are never empty, percent and status may be.
struct ProcessorDisplayHooks {
    ErrorHook error;
    TextHook progress;
    TextHook diag;
    PercentHook percent;
    TextHook status;
};

ProcessorDisplayHooks& DisplayHooks();

/// Stores the function; none stores an empty function.
void ttset_error_callback(ErrorHook hook);
void ttset_progress_callback(TextHook hook);
void ttset_diag_callback(TextHook hook);
/// Stores the function; none leaves the slot empty (not called).
void ttset_percent_callback(PercentHook hook);

/// What the scanner and the parser share with the error report.
struct ProcessingPosition {
    std::optional<std::string> token; ///< current token text; none before the first token
    int line = 1;                     ///< current line number
    std::string errorFile;            ///< the file errors are reported against
    int errorCount = 0;               ///< errors counted by the model processor's error hook
};

ProcessingPosition& CurrentPosition();

/// The display form of a token text: "[Unknown]", "[EOF]", "[BS]", "[TAB]", "[NL]", "[FF]", "[CR]",
/// or the text in double quotes.
std::string tokenDisplayForm(const std::optional<std::string>& token);

/// Reports a parse error at the current position; a null message reads "syntax error".
void ttparse_error(const char* message);

/// A printf-style text of any length.
std::string formatMessage(const char* pattern, ...) __attribute__((format(printf, 1, 2)));

/// The part of a path after its last '/'; the whole path when there is none.
std::string pathTail(const std::string& path);

/// The error line the model processor shows (without the "***** " marker).
std::string formatErrorLine(const char* kind, const char* file, const char* submodel, int line,
                            const char* token, const char* message);

/// Where the model processor's hook texts go (its log window); none drops them.
void setProcessorLog(std::function<void(const std::string& line)> append);

/// Where the model processor's error hook also tells every error line, whatever `messages` says,
/// for a script to read; none tells it nowhere else.
void setErrorEcho(std::function<void(const std::string& line)> echo);

/// The model processor's error hook: counts the error, echoes it, and routes the line by `messages`.
void ttdisplay_error_comp(const char* kind, const char* file, const char* submodel, int line,
                          const char* token, const char* message);
/// The model processor's progress hook: shown at `messages` 2.
void ttdisplay_progress_comp(const char* text);
/// The model processor's diagnostics hook: shown at `messages` 1 and 2.
void ttdisplay_diag_comp(const char* text);
