// What the graph editor's commands ask of the main window around them, so that
// they run the same in the program and in tests without widgets.
#pragma once

#include "common/name_chooser.h"
#include "platform/core/window_handle.h"

#include <cstdint>
#include <string>

class EditorFrame {
public:
    virtual ~EditorFrame() = default;

    /// The main window's own handle: the editor posts its requests there.
    virtual platform::WindowHandle mainWindowHandle() const = 0;
    virtual void setTitle(const std::string& title) = 0;
    /// Shows a text that stays until the next one is kept.
    virtual void keepStatus(const std::string& text) = 0;
    /// Shows a passing text; an empty one brings the kept text back.
    virtual void passStatus(const std::string& text) = 0;
    virtual bool isMinimised() const = 0;
    /// Enables the menus and commands by the mask and the shown model.
    virtual void applyCommandMask(std::uint32_t mask) = 0;
    /// Opens the model-name chooser; the callback gets the name the user confirms.
    virtual void chooseModelName(const std::string& title, int category, ChosenNameCallback callback,
                                 int mode) = 0;
    /// The text item that shows the snap state.
    virtual void setSnapText(const std::string& text) = 0;
    /// The whole drawing is painted anew.
    virtual void repaintCanvas() = 0;
};
