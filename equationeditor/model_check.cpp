// The equation editor's model check.
#include "equationeditor/model_check.h"

#include "equationeditor/editor_frame.h"
#include "equationeditor/model_commands.h"

#include "common/model_file_names.h"
#include "common/settings_table.h"
#include "common/startup.h"
#include "modelproc/model_records.h"
#include "modelproc/processing_pipeline.h"
#include "modelproc/record_release.h"
#include "platform/core/file_system.h"

#include <algorithm>
#include <cctype>
#include <optional>

namespace {

/// Appends to the log and counts the lines it takes there.
void appendCounted(const std::string& text)
{
    if (EquationEditorFrame* frame = EquationEditor().frame)
        frame->appendLog(text);
    ModelCheck().logLineCounter += static_cast<int>(std::count(text.begin(), text.end(), '\n')) + 1;
}

/// The 0-based line of the text, without its line end; empty when there is none.
std::string modelLineText(const std::optional<std::string>& text, int line)
{
    if (!text)
        return {};
    std::size_t start = 0;
    for (int i = 0; i < line; ++i) {
        start = text->find('\n', start);
        if (start == std::string::npos)
            return {};
        ++start;
    }
    return text->substr(start, text->find('\n', start) - start);
}

std::string shownName(const std::string& name)
{
    return name.empty() ? "untitled" : name;
}

const char* levelMessage(int level)
{
    switch (level) {
    case 1:
        return "Error in heading and/or interface.";
    case 2:
        return "Heading and interface ok, error in declarations.";
    case 3:
        return "Heading and interface ok, declarations ok , error in equations.";
    default:
        return "<error: level > 3 in ffcheck>";
    }
}

} // namespace

ModelCheckState& ModelCheck()
{
    static ModelCheckState state;
    return state;
}

void ResetLogLineCounter()
{
    ModelCheck().logLineCounter = 0;
}

std::string TempModelFileName(const std::string& name, int mainModel)
{
    const bool untitled = name.empty();
    std::string path = MakeModelFileName(2, Startup().WorkingDirectory, untitled ? "tmp1" : name,
                                         untitled ? 0 : (mainModel == 0 ? 0 : 1));
    path.back() = 't';
    return path;
}

std::string writeTempModelFile(const std::string& name)
{
    EquationEditorFrame* frame = EquationEditor().frame;
    if (!frame) {
        showStatus("Error getting textsw contents.", 1);
        return {};
    }
    const std::optional<std::string> text = frame->editText();
    if (!text) {
        showStatus("Error getting textsw contents.", 1);
        return {};
    }
    const std::string path = TempModelFileName(name, EquationEditor().mainModel);
    if (path.empty()) {
        showStatus("No temporary filename.", 1);
        return {};
    }
    if (!platform::writeFileAtomically(path, *text + "\n")) {
        showStatus("Error opening temporary file.", 1);
        return {};
    }
    return path;
}

void ffcheck_error(const char* /*kind*/, const char* /*file*/, const char* /*submodel*/, int line,
                   const char* token, const char* message)
{
    ModelCheckState& check = ModelCheck();
    ++check.errorCount;
    if (check.errorCount <= kListedErrors) {
        check.errorLines.push_back({check.logLineCounter, line, token ? token : ""});
        std::string text;
        if (line >= 0)
            text += "Line " + std::to_string(line);
        if (token)
            text += std::string(" at ") + token;
        text += message ? std::string(": ") + message : std::string(": <error: no further information available>");
        appendCounted(text);
    } else if (check.errorCount == kListedErrors + 1) {
        appendCounted("Too many syntax errors to display");
    }
}

int ffcheck(const std::string& name)
{
    EquationEditorData& editor = EquationEditor();
    const std::string path = writeTempModelFile(name);
    if (path.empty())
        return 0;
    ModelCheckState& check = ModelCheck();
    check.errorLines.clear();
    if (Settings().ee_messages == 0) {
        if (editor.frame)
            editor.frame->clearLog();
        check.logLineCounter = 0;
    }
    check.errorCount = 0;
    appendCounted("Syntax errors in: " + shownName(name));

    ClassRec* parsed = nullptr;
    int level = 1;
    for (; level <= kCheckEquations; ++level) {
        if (parsed) {
            ttfree_class(parsed);
            parsed = nullptr;
        }
        const int before = check.errorCount;
        const int result = ttparse_file(path, level, parsed, ffcheck_error);
        // A failure the front end did not report, or a parse without a class,
        // still fails the check: the kind and name could not be taken.
        if (result != 0 && check.errorCount == before)
            ffcheck_error("Error", path.c_str(), "", -1, nullptr, "the model text could not be read");
        else if (result == 0 && !parsed)
            ffcheck_error("Error", path.c_str(), "", -1, nullptr, "no model class found in the text");
        if (result != 0 || !parsed || check.errorCount != before)
            break;
    }

    std::string message;
    if (check.errorCount > 0) {
        if (editor.frame)
            editor.frame->showLog("EE: syntax errors in: " + shownName(name));
        message = levelMessage(level);
    } else {
        const int interface = ttcount_ports(parsed) + ttcount_ios(parsed, 3) + ttcount_ios(parsed, 4);
        editor.mainModel = interface == 0 ? 1 : 0;
        level = 4;
        setModelName(parsed->name + std::to_string(parsed->version));
        message = "No errors in model";
    }
    showStatus(message, 1);
    appendCounted("\r\n" + std::to_string(check.errorCount) + " syntax error" + (check.errorCount == 1 ? "" : "s") +
                  " detected.\r\n--------------------");

    platform::deleteFile(path);
    if (parsed)
        ttfree_class(parsed);
    return level - 1;
}

int ErrorJumpTarget(int modelLine, int lineCount)
{
    if (modelLine < 1)
        return -1;
    return std::min(modelLine, std::max(lineCount, 1)) - 1;
}

int ErrorTokenColumn(const std::string& lineText, const std::string& token)
{
    if (token.size() < 3 || token.front() != '"' || token.back() != '"')
        return 0;
    const std::string word = token.substr(1, token.size() - 2);
    // Bytes of other letters than ASCII count as letters of a name.
    const auto identifier = [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte >= 0x80 || std::isalnum(byte) || c == '_';
    };
    for (std::size_t at = lineText.find(word); at != std::string::npos; at = lineText.find(word, at + 1)) {
        const std::size_t end = at + word.size();
        // A name is not taken from inside a longer one.
        if ((at > 0 && identifier(lineText[at - 1]) && identifier(word.front())) ||
            (end < lineText.size() && identifier(lineText[end]) && identifier(word.back())))
            continue;
        // Characters, not bytes: the continuation bytes of UTF-8 are not counted.
        return static_cast<int>(std::count_if(lineText.begin(), lineText.begin() + static_cast<std::ptrdiff_t>(at),
                                              [](char c) { return (static_cast<unsigned char>(c) & 0xc0) != 0x80; }));
    }
    return 0;
}

void jumpToErrorLine()
{
    EquationEditorFrame* frame = EquationEditor().frame;
    if (!frame)
        return;
    const int caretLine = frame->logCaretLine();
    for (const ErrorLine& entry : ModelCheck().errorLines) {
        if (entry.logLine != caretLine)
            continue;
        const int target = ErrorJumpTarget(entry.modelLine, frame->editLineCount());
        if (target >= 0)
            frame->placeCaretAtLine(target, ErrorTokenColumn(modelLineText(frame->editText(), target), entry.token));
        return;
    }
}
