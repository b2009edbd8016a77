// Test support of the equation editor: a frame that holds the model text and
// the log as plain strings and keeps what is posted to its window, and a pair
// of model directories the settings point at.
#pragma once

#include "equationeditor/editor_frame.h"
#include "equationeditor/model_commands.h"

#include "common/settings_table.h"
#include "common/startup.h"
#include "common/tests/model_directories.h"
#include "platform/core/window_messages.h"
#include "platform/tests/message_inbox.h"

#include <algorithm>
#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace eetest {

/// A chooser answer: the directory and name the user confirms, or none for Cancel.
struct ChooserAnswer {
    std::string directory;
    std::string name;
};

/// The main window as the editor's logic sees it.
class RecordingFrame : public EquationEditorFrame {
public:
    platform::WindowHandle mainWindowHandle() const override { return m_inbox.window(); }
    void setTitle(const std::string& text) override { title = text; }
    bool isMinimised() const override { return minimised; }
    void showStatusText(const std::string& text) override { status = text; }
    void applyCommandMask(std::uint32_t value) override { mask = value; }
    void chooseModelName(const std::string& caption, int, ChosenNameCallback callback, int mode) override
    {
        chooserTitles.push_back(caption + " " + std::to_string(mode));
        pendingChooser = std::move(callback);
        if (answers.empty())
            return;
        std::optional<ChooserAnswer> answer = answers.front();
        answers.pop_front();
        ChosenNameCallback run = std::move(pendingChooser);
        pendingChooser = nullptr;
        if (answer)
            run(answer->directory, answer->name);
    }
    std::optional<std::string> editText() const override
    {
        if (unreadable)
            return std::nullopt;
        return text;
    }
    void setEditText(const std::string& value) override
    {
        text = value;
        modified = false;
        EditChanged();
    }
    bool editModified() const override { return modified; }
    void setEditModified(bool value) override { modified = value; }
    void insertAtCaret(const std::string& piece) override { text += piece; }
    int editLineCount() const override { return static_cast<int>(std::count(text.begin(), text.end(), '\n')) + 1; }
    void placeCaretAtLine(int line, int column) override
    {
        caretLine = line;
        caretColumn = column;
    }
    void createLog(const std::string& caption) override { logCaption = caption; }
    void clearLog() override { log.clear(); }
    void appendLog(const std::string& value) override
    {
        std::string line;
        for (char c : value + "\n") {
            if (c == '\r')
                continue;
            if (c == '\n') {
                log.push_back(line);
                line.clear();
            } else {
                line += c;
            }
        }
    }
    void showLog(const std::string& caption) override { logCaption = caption; }
    int logCaretLine() const override { return logCaret; }

    /// The user types: the text changes and the control calls itself modified.
    void type(const std::string& value)
    {
        text = value;
        modified = true;
        EditChanged();
    }

    /// Delivers what waits in this process's queue; the posted messages of one number, taken out.
    std::vector<platform::Message> take(platform::MessageNumber number) { return m_inbox.take(number); }

    std::string title, status, text, logCaption;
    bool minimised = false, modified = false, unreadable = false;
    std::uint32_t mask = 0;
    int caretLine = -1, caretColumn = -1, logCaret = 0;
    std::vector<std::string> log;
    std::vector<std::string> chooserTitles;
    std::deque<std::optional<ChooserAnswer>> answers;
    ChosenNameCallback pendingChooser;

private:
    testsupport::MessageInbox m_inbox;
};

/// The two model directories of the settings, and the editor started fresh on the frame.
class EditorFixture : public testsupport::ModelDirectories {
public:
    EditorFixture()
    {
        work = dir.mkdir("work");
        ResetEquationEditor();
        Settings().model_dirs = models + ";" + more;
        Startup().WorkingDirectory = work;
        Startup().ProcessedDirectory = models;
    }
    ~EditorFixture() { ResetEquationEditor(); }

    /// The editor started on the frame (state 1).
    void start() { initEditorModule(frame); }

    std::string work;
    RecordingFrame frame;
};

} // namespace eetest
