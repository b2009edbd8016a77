// What the equation editor's logic asks of its main window: the caption, the
// status line, the command mask, the name chooser, the edit control's text and
// caret, and the log window, so that the logic runs the same in the program
// and in tests without widgets.
#pragma once

#include "common/name_chooser.h"
#include "platform/core/window_handle.h"

#include <cstdint>
#include <optional>
#include <string>

class EquationEditorFrame {
public:
    virtual ~EquationEditorFrame() = default;

    /// The main window's own handle: requests to other programs are posted there.
    virtual platform::WindowHandle mainWindowHandle() const = 0;
    virtual void setTitle(const std::string& title) = 0;
    virtual bool isMinimised() const = 0;
    /// Shows a text in the status line (the logic keeps and restores texts itself).
    virtual void showStatusText(const std::string& text) = 0;
    virtual void applyCommandMask(std::uint32_t mask) = 0;
    /// Opens the model-name chooser; the callback runs when the user confirms a name.
    virtual void chooseModelName(const std::string& title, int category, ChosenNameCallback callback, int mode) = 0;

    /// The edit control's whole text with LF line ends; none when it cannot be read.
    virtual std::optional<std::string> editText() const = 0;
    /// Replaces the text as the program's own change (the control's modified flag is cleared).
    virtual void setEditText(const std::string& text) = 0;
    virtual bool editModified() const = 0;
    virtual void setEditModified(bool modified) = 0;
    /// Replaces the selection by the text, leaving the caret after it.
    virtual void insertAtCaret(const std::string& text) = 0;
    /// The number of lines of the text (at least 1).
    virtual int editLineCount() const = 0;
    /// Puts the caret at the column (in characters) of the 0-based line, with an
    /// empty selection, shows it and gives the window and its text the keyboard.
    virtual void placeCaretAtLine(int line, int column) = 0;

    /// The log window of the check reports.
    virtual void createLog(const std::string& caption) = 0;
    virtual void clearLog() = 0;
    virtual void appendLog(const std::string& text) = 0;
    virtual void showLog(const std::string& caption) = 0;
    /// The 0-based line of the log's caret.
    virtual int logCaretLine() const = 0;
};
