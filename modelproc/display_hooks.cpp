// The display hooks of model processing and the model processor's routing of them.
#include "modelproc/display_hooks.h"

#include "common/message_boxes.h"
#include "common/settings_table.h"

#include <cstdarg>
#include <cstdio>
#include <utility>

ProcessorDisplayHooks& DisplayHooks()
{
    static ProcessorDisplayHooks hooks = [] {
        ProcessorDisplayHooks h;
        h.error = [](const char*, const char*, const char*, int, const char*, const char*) {};
        h.progress = [](const char*) {};
        h.diag = [](const char*) {};
        return h;
    }();
    return hooks;
}

void ttset_error_callback(ErrorHook hook)
{
    if (!hook)
        hook = [](const char*, const char*, const char*, int, const char*, const char*) {};
    DisplayHooks().error = std::move(hook);
}

void ttset_progress_callback(TextHook hook)
{
    if (!hook)
        hook = [](const char*) {};
    DisplayHooks().progress = std::move(hook);
}

void ttset_diag_callback(TextHook hook)
{
    if (!hook)
        hook = [](const char*) {};
    DisplayHooks().diag = std::move(hook);
}

void ttset_percent_callback(PercentHook hook)
{
    DisplayHooks().percent = std::move(hook);
}

ProcessingPosition& CurrentPosition()
{
    static ProcessingPosition position;
    return position;
}

std::string tokenDisplayForm(const std::optional<std::string>& token)
{
    if (!token)
        return "[Unknown]";
    switch (token->empty() ? '\0' : (*token)[0]) {
    case '\0': return "[EOF]";
    case 8: return "[BS]";
    case 9: return "[TAB]";
    case 10: return "[NL]";
    case 12: return "[FF]";
    case 13: return "[CR]";
    default: return "\"" + *token + "\"";
    }
}

void ttparse_error(const char* message)
{
    const ProcessingPosition& position = CurrentPosition();
    std::string token = tokenDisplayForm(position.token);
    std::string file = position.errorFile;
    DisplayHooks().error("Parse error ", file.c_str(), nullptr, position.line, token.c_str(),
                         message ? message : "syntax error");
}

std::string formatMessage(const char* pattern, ...)
{
    va_list args;
    va_start(args, pattern);
    va_list copy;
    va_copy(copy, args);
    int size = std::vsnprintf(nullptr, 0, pattern, copy);
    va_end(copy);
    std::string text(size > 0 ? static_cast<std::size_t>(size) : 0, '\0');
    if (size > 0)
        std::vsnprintf(text.data(), text.size() + 1, pattern, args);
    va_end(args);
    return text;
}

std::string pathTail(const std::string& path)
{
    std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string formatErrorLine(const char* kind, const char* file, const char* submodel, int line,
                            const char* token, const char* message)
{
    std::string text;
    if (kind)
        text += kind;
    if (file) {
        // Most kind texts end in a blank; "General error" does not.
        if (!text.empty() && text.back() != ' ')
            text += ' ';
        text += "in file \"";
        text += file;
        if (submodel) {
            text += ':';
            text += submodel;
        }
        text += '"';
    }
    if (line >= 0)
        text += " line " + std::to_string(line);
    if (token) {
        text += " at ";
        text += token;
    }
    if (message) {
        text += ": ";
        text += message;
    } else {
        text += ": <error: no further information available>";
    }
    return text;
}

namespace {

using LineSink = std::function<void(const std::string&)>;

/// The processor's log, and where its errors are also told.
struct LineSinks {
    LineSink log;
    LineSink echo;
};

LineSinks& lineSinks()
{
    static LineSinks sinks;
    return sinks;
}

void appendLog(const std::string& line)
{
    if (lineSinks().log)
        lineSinks().log(line);
}

} // namespace

void setProcessorLog(std::function<void(const std::string& line)> append)
{
    lineSinks().log = std::move(append);
}

void setErrorEcho(std::function<void(const std::string& line)> echo)
{
    lineSinks().echo = std::move(echo);
}

void ttdisplay_error_comp(const char* kind, const char* file, const char* submodel, int line,
                          const char* token, const char* message)
{
    ++CurrentPosition().errorCount;
    std::string text = formatErrorLine(kind, file, submodel, line, token, message);
    if (lineSinks().echo)
        lineSinks().echo(text);
    switch (Settings().messages) {
    case 0:
        break;
    case 1:
        appendLog(text);
        break;
    case 2:
        appendLog("***** " + text);
        break;
    default:
        ShowMessage({"<error in ttdisplay_error_comp: ttmess > 2>"});
        break;
    }
}

void ttdisplay_progress_comp(const char* text)
{
    switch (Settings().messages) {
    case 0:
    case 1:
        break;
    case 2:
        appendLog(text ? text : "");
        break;
    default:
        ShowMessage({"<error in ttdisplay_progress_comp: ttmess > 2>"});
        break;
    }
}

void ttdisplay_diag_comp(const char* text)
{
    switch (Settings().messages) {
    case 0:
        break;
    case 1:
    case 2:
        appendLog(text ? text : "");
        break;
    default:
        ShowMessage({"<error in ttdisplay_diag_comp: ttmess > 2>"});
        break;
    }
}
