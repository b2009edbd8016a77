// The one place file, folder and printer choosers go through; a program
// installs the sink that shows them (Qt dialogs in the programs, a script in
// tests), as it does for message boxes.
#pragma once

#include "platform/core/window_handle.h"

#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

/// One entry of a file chooser's list of types: "Simulation Model (*.e)" with "*.e".
struct FileFilter {
    std::string description;
    std::string patterns; ///< one or more patterns separated by ';'
    bool operator==(const FileFilter&) const = default;
};

/// The suite's filter text ("Simulation Model (*.e)|*.e|All Files (*.*)|*.*||")
/// as entries; a description without its patterns is dropped.
std::vector<FileFilter> parseFilterText(std::string_view text);

/// The path with ".<extension>" added when its file name has no extension of
/// its own; an empty extension (or one of "*.e" form, read as "e") as given.
std::string withDefaultExtension(const std::string& path, std::string_view extension);

enum class FileChooserMode { Open, Save };

struct FileChooserRequest {
    FileChooserMode mode = FileChooserMode::Open;
    std::string title;
    std::string directory; ///< where the chooser starts; empty: the current directory
    std::string fileName;  ///< the name proposed
    std::vector<FileFilter> filters;
    std::string defaultExtension; ///< added to a chosen name without one ("e" or "*.e")
    bool confirmOverwrite = true; ///< a save chooser asks before naming an existing file
    WindowHandle owner = 0;
};

struct FolderChooserRequest {
    std::string title;
    std::string start; ///< the folder shown first
    WindowHandle owner = 0;
};

/// How a document is printed. There are no printers to rely on: every print
/// goes to a PDF file, on the paper and in the orientation chosen here.
struct PrinterSettings {
    std::string paper = "A4"; ///< one of `printerPaperNames()`
    bool landscape = false;
    std::string outputFile; ///< the PDF file written

    /// A4 portrait into "orvanta.pdf" in the home directory (else the current one).
    static PrinterSettings defaults();
    bool operator==(const PrinterSettings&) const = default;
};

/// The papers offered, in the order the setup shows them.
const std::vector<std::string>& printerPaperNames();

/// Why the settings cannot be printed with (no file named, a folder that
/// does not exist, an unknown paper); empty when they can.
std::string checkPrinterSettings(const PrinterSettings& settings);

/// Printer Setup (`setup`) or the question before printing a document.
struct PrinterRequest {
    bool setup = true;
    std::string documentTitle;
    PrinterSettings settings;
    WindowHandle owner = 0;
};

/// Shows choosers and returns what the user chose; none for Cancel.
class ChooserSink {
public:
    virtual ~ChooserSink() = default;
    virtual std::optional<std::string> chooseFile(const FileChooserRequest& request) = 0;
    virtual std::optional<std::string> chooseFolder(const FolderChooserRequest& request) = 0;
    virtual std::optional<PrinterSettings> choosePrinter(const PrinterRequest& request) = 0;
};

/// The sink in use: the one installed last, else one that cancels every chooser.
ChooserSink& chooserSink();

/// Installs a sink (not owned); null goes back to the cancelling one.
void setChooserSink(ChooserSink* sink);

/// The sink installed last, or null when none is.
ChooserSink* installedChooserSink();

/// Answers every chooser with Cancel (no desktop to show one on).
class CancellingChooserSink : public ChooserSink {
public:
    std::optional<std::string> chooseFile(const FileChooserRequest&) override { return std::nullopt; }
    std::optional<std::string> chooseFolder(const FolderChooserRequest&) override { return std::nullopt; }
    std::optional<PrinterSettings> choosePrinter(const PrinterRequest&) override { return std::nullopt; }
};

/// For tests: answers each kind of chooser from its own queue (Cancel once the
/// queue is empty) and records every request.
class ScriptedChooserSink : public ChooserSink {
public:
    enum class Kind { File, Folder, Printer };
    /// One request as it was asked.
    struct Record {
        Kind kind = Kind::File;
        FileChooserRequest file;
        FolderChooserRequest folder;
        PrinterRequest printer;
    };

    std::optional<std::string> chooseFile(const FileChooserRequest& request) override;
    std::optional<std::string> chooseFolder(const FolderChooserRequest& request) override;
    std::optional<PrinterSettings> choosePrinter(const PrinterRequest& request) override;

    /// Queues the answer of the next file chooser (none: Cancel).
    void answerFile(std::optional<std::string> path) { m_files.push_back(std::move(path)); }
    void answerFolder(std::optional<std::string> path) { m_folders.push_back(std::move(path)); }
    /// Queues the next printer answer; `std::nullopt` cancels, a value is what the user chose.
    void answerPrinter(std::optional<PrinterSettings> settings) { m_printers.push_back(std::move(settings)); }

    const std::vector<Record>& transcript() const { return m_transcript; }
    /// Choosers asked that found no queued answer.
    int unanswered() const { return m_unanswered; }
    void clear();

private:
    template <class Answer>
    std::optional<Answer> next(std::deque<std::optional<Answer>>& queue);

    std::deque<std::optional<std::string>> m_files;
    std::deque<std::optional<std::string>> m_folders;
    std::deque<std::optional<PrinterSettings>> m_printers;
    std::vector<Record> m_transcript;
    int m_unanswered = 0;
};

/// Installs a sink for the lifetime of this object and puts the former one back.
class ScopedChooserSink {
public:
    explicit ScopedChooserSink(ChooserSink& sink);
    ~ScopedChooserSink();
    ScopedChooserSink(const ScopedChooserSink&) = delete;
    ScopedChooserSink& operator=(const ScopedChooserSink&) = delete;

private:
    ChooserSink* m_previous;
};

} // namespace platform
