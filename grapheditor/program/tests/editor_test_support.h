// Test support of the graph editor program: a frame that records what the
// commands ask of the main window, posted messages kept for inspection, and a
// pair of model directories with the element library beside them.
#pragma once

#include "grapheditor/program/editor_frame.h"
#include "grapheditor/program/editor_view.h"
#include "grapheditor/program/model_commands.h"

#include "common/settings_table.h"
#include "common/startup.h"
#include "common/tests/model_directories.h"
#include "grapheditor/graph_model_reader.h"
#include "grapheditor/graph_objects.h"
#include "grapheditor/graph_view.h"
#include "platform/core/window_messages.h"
#include "platform/tests/message_inbox.h"

#include <deque>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace editortest {

/// A chooser answer: the name the user confirms, or none for Cancel.
using ChooserAnswer = std::optional<std::string>;

/// The main window as the commands see it, with its own window handle that keeps what is posted to it.
class RecordingFrame : public EditorFrame {
public:
    platform::WindowHandle mainWindowHandle() const override { return m_inbox.window(); }
    void setTitle(const std::string& text) override { title = text; }
    void keepStatus(const std::string& text) override
    {
        kept = text;
        shown = text;
    }
    void passStatus(const std::string& text) override { shown = text.empty() ? kept : text; }
    bool isMinimised() const override { return minimised; }
    void applyCommandMask(std::uint32_t value) override { mask = value; }
    void chooseModelName(const std::string& caption, int, ChosenNameCallback callback, int mode) override
    {
        chooserTitles.push_back(caption + " " + std::to_string(mode));
        if (answers.empty())
            return;
        ChooserAnswer answer = answers.front();
        answers.pop_front();
        if (answer)
            callback(directory, *answer);
    }
    void setSnapText(const std::string& text) override { snapText = text; }
    void repaintCanvas() override { ++repaints; }

    /// Delivers what waits in this process's queue; the posted messages of one number, taken out.
    std::vector<platform::Message> take(platform::MessageNumber number) { return m_inbox.take(number); }

    std::string title, kept, shown, snapText;
    bool minimised = false;
    std::uint32_t mask = 0;
    int repaints = 0;
    std::vector<std::string> chooserTitles;
    std::deque<ChooserAnswer> answers;
    std::string directory; ///< the directory the chooser answers with

private:
    testsupport::MessageInbox m_inbox;
};

/// Two model directories ("models" first, "more" second) and the element
/// library; the settings point at them, and the editor starts fresh on them.
class EditorFixture : public testsupport::ModelDirectories {
public:
    EditorFixture()
    {
        library = dir.file("library");
        std::filesystem::copy(ORVANTA_LIBRARY_DIR, library);
        Settings().model_dirs = models + ";" + more + ";" + library;
        Settings().def_bond_size = "3";
        Startup().WorkingDirectory = models;
        Startup().ProcessedDirectory = models;
        Startup().ResultDirectory = models;
        Startup().ExperimentDirectory = models;
        frame.directory = models;
        SetGraphView(&view);
        clear_model();
        ResetEditor();
    }
    ~EditorFixture()
    {
        clear_model();
        ResetEditor();
        SetGraphView(nullptr);
    }

    /// The editor started with the frame (state 1).
    void start() { InitEditor(frame); }

    /// The example's text under another model name (its header names the model).
    std::string example(const std::string& file, const std::string& from, const std::string& to) const
    {
        std::string text = testsupport::readText(std::string(ORVANTA_MODELS_DIR) + "/" + file);
        const std::string header = "bond graph " + from + " version";
        const std::size_t at = text.find(header);
        if (at != std::string::npos)
            text.replace(at, header.size(), "bond graph " + to + " version");
        return text;
    }

    std::string library;
    EditorView view;
    RecordingFrame frame;
};

} // namespace editortest
