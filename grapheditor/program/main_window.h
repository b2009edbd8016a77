// The graph editor's main window "TQNBGEWindow": menus, tool bar, status line
// and canvas, the suite's messages, the start-up box and its timer, printing
// and help. What the commands do lives in the editor's modules.
#pragma once

#include "grapheditor/canvas_surface.h"
#include "grapheditor/program/editor_commands.h"
#include "grapheditor/program/editor_frame.h"
#include "grapheditor/program/editor_view.h"

#include "common/editor_messages.h"
#include "common/modal_message_holder.h"

#include "platform/qt/frame_window.h"

#include <QPrinter>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class QLabel;
class TQNCanvas;

/// The printout of the graph: the drawing fitted to the page.
class TQNBGEOut : public DrawingPrintout {
public:
    TQNBGEOut() : DrawingPrintout("Orvanta Graph Editor", 0) {}
};

/// What the interaction part of the editor handles in the main window; each
/// does the least that keeps the window usable until that part is there.
struct WindowHooks {
    /// Every mouse message of the canvas (by default the selection on button presses).
    std::function<void(const platform::Message&)> canvasMouse;
    /// Keyboard messages of the canvas (nothing by default).
    std::function<void(const platform::Message&)> canvasKey;
    std::function<void()> attributes;
    std::function<void()> connections;
    std::function<void()> drawPopup;
    std::function<void()> modelProperties;
};
WindowHooks& MainWindowHooks();

/// The selection part of the canvas's mouse handling: a button press selects
/// what is under the pointer, a right double click opens the submodel under it
/// or, on empty canvas, its parent.
void SelectOnCanvas(const platform::Message& message);

class TQNBGEWindow : public platform::FrameWindow, public EditorFrame {
public:
    /// `words` is the command line as the start-up sequence takes it.
    explicit TQNBGEWindow(std::vector<std::string> words);
    ~TQNBGEWindow() override;

    /// The start: timer, message owner, start-up and about boxes, settings and
    /// the editor; false when the program is to end.
    bool SetupWindow();

    TQNCanvas& canvas() const { return *m_canvas; }
    QPrinter& printer() { return m_printer; }

    // EditorFrame
    platform::WindowHandle mainWindowHandle() const override { return handle(); }
    void setTitle(const std::string& title) override;
    void keepStatus(const std::string& text) override;
    void passStatus(const std::string& text) override;
    bool isMinimised() const override;
    void applyCommandMask(std::uint32_t mask) override;
    void chooseModelName(const std::string& title, int category, ChosenNameCallback callback, int mode) override;
    void setSnapText(const std::string& text) override;
    void repaintCanvas() override;

    /// What the command enablers see now.
    CommandConditions commandConditions() const;
    /// Runs a command as the menu does (tests, the pop-up).
    void runCommand(int id) { handleCommand(id); }

protected:
    void handleMessage(const platform::Message& message) override;
    /// Acts on a message once no modal dialog keeps it waiting.
    void actOnMessage(const platform::Message& message);
    void handleCommand(int id) override;
    void handleTimer(int id) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void showCanvasPopup(int x, int y);
    void showHelpFile(const std::string& file, unsigned command, long data);
    void deleteSelection();
    void settingsChanged();

    std::vector<std::string> m_words;
    EditorMessageActions m_messageActions;
    ModalMessageHolder m_held{[this](const platform::Message& message) { actOnMessage(message); },
                              EditorMessageWaitsForDialogs};
    TQNCanvas* m_canvas = nullptr;
    std::unique_ptr<CanvasSurface> m_surface;
    EditorView m_view;
    QPrinter m_printer;
    QLabel* m_item805 = nullptr;
    QLabel* m_snapItem = nullptr;
    bool m_helpUsed = false;
    std::string m_lastHelpFile;
};
