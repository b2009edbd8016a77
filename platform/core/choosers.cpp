// Chooser sinks: the cancelling fallback, the scripted sink of tests, and the
// reading of the suite's filter texts.
#include "platform/core/choosers.h"

#include "platform/core/file_system.h"

#include <cstdlib>

namespace platform {

namespace {

ChooserSink* g_installed = nullptr;

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

} // namespace

std::vector<FileFilter> parseFilterText(std::string_view text)
{
    std::vector<std::string_view> pieces;
    while (!text.empty()) {
        std::size_t bar = text.find('|');
        pieces.push_back(text.substr(0, bar));
        if (bar == std::string_view::npos)
            break;
        text.remove_prefix(bar + 1);
    }
    std::vector<FileFilter> filters;
    // Pieces pair up as description and patterns; the closing "||" gives empty pieces.
    for (std::size_t i = 0; i + 1 < pieces.size(); i += 2) {
        std::string_view description = trimmed(pieces[i]);
        std::string_view patterns = trimmed(pieces[i + 1]);
        if (description.empty() && patterns.empty())
            break;
        if (patterns.empty())
            continue;
        filters.push_back({std::string(description.empty() ? patterns : description), std::string(patterns)});
    }
    return filters;
}

std::string withDefaultExtension(const std::string& path, std::string_view extension)
{
    if (extension.substr(0, 2) == "*.")
        extension.remove_prefix(2);
    else if (extension.substr(0, 1) == ".")
        extension.remove_prefix(1);
    if (extension.empty() || extension.find('*') != std::string_view::npos || path.empty() || path.back() == '/')
        return path;
    std::size_t slash = path.rfind('/');
    std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    std::size_t dot = path.rfind('.');
    // A leading dot names a hidden file, not an extension.
    if (dot != std::string::npos && dot > nameStart)
        return path;
    return path + "." + std::string(extension);
}

PrinterSettings PrinterSettings::defaults()
{
    PrinterSettings settings;
    const char* home = std::getenv("HOME");
    std::string folder = home && *home == '/' ? std::string(home) : currentDirectory().value_or(".");
    settings.outputFile = joinPath(folder, "orvanta.pdf");
    return settings;
}

const std::vector<std::string>& printerPaperNames()
{
    static const std::vector<std::string> names = {"A4", "Letter", "Legal", "A3", "A5"};
    return names;
}

std::string checkPrinterSettings(const PrinterSettings& settings)
{
    const std::vector<std::string>& papers = printerPaperNames();
    bool known = false;
    for (const std::string& paper : papers)
        known = known || paper == settings.paper;
    if (!known)
        return "Unknown paper size: " + settings.paper;
    if (settings.outputFile.empty())
        return "No file given to print to.";
    if (settings.outputFile.back() == '/' || isDirectory(settings.outputFile))
        return settings.outputFile + " is a folder, not a file.";
    std::size_t slash = settings.outputFile.rfind('/');
    std::string folder = slash == std::string::npos ? "." : settings.outputFile.substr(0, slash == 0 ? 1 : slash);
    if (!isDirectory(folder))
        return "The folder " + folder + " does not exist.";
    return {};
}

ChooserSink& chooserSink()
{
    static CancellingChooserSink fallback;
    return g_installed ? *g_installed : fallback;
}

void setChooserSink(ChooserSink* sink)
{
    g_installed = sink;
}

ChooserSink* installedChooserSink()
{
    return g_installed;
}

template <class Answer>
std::optional<Answer> ScriptedChooserSink::next(std::deque<std::optional<Answer>>& queue)
{
    if (queue.empty()) {
        ++m_unanswered;
        return std::nullopt;
    }
    std::optional<Answer> answer = std::move(queue.front());
    queue.pop_front();
    return answer;
}

std::optional<std::string> ScriptedChooserSink::chooseFile(const FileChooserRequest& request)
{
    Record record;
    record.kind = Kind::File;
    record.file = request;
    m_transcript.push_back(std::move(record));
    return next(m_files);
}

std::optional<std::string> ScriptedChooserSink::chooseFolder(const FolderChooserRequest& request)
{
    Record record;
    record.kind = Kind::Folder;
    record.folder = request;
    m_transcript.push_back(std::move(record));
    return next(m_folders);
}

std::optional<PrinterSettings> ScriptedChooserSink::choosePrinter(const PrinterRequest& request)
{
    Record record;
    record.kind = Kind::Printer;
    record.printer = request;
    m_transcript.push_back(std::move(record));
    return next(m_printers);
}

void ScriptedChooserSink::clear()
{
    m_files.clear();
    m_folders.clear();
    m_printers.clear();
    m_transcript.clear();
    m_unanswered = 0;
}

ScopedChooserSink::ScopedChooserSink(ChooserSink& sink) : m_previous(installedChooserSink())
{
    setChooserSink(&sink);
}

ScopedChooserSink::~ScopedChooserSink()
{
    setChooserSink(m_previous);
}

} // namespace platform
