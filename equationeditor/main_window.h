// The equation editor's main window "TQNEEWindow": the model text in an edit
// control with the pinned monospace font, the menu, the control bar, the status
// line with its key indicators, find and replace, printing, help and the
// suite's messages. What the commands do to the model lives in the editor's
// plain modules.
#pragma once

#include "equationeditor/editor_frame.h"

#include "common/editor_messages.h"
#include "common/modal_message_holder.h"
#include "common/log_window.h"
#include "platform/qt/frame_window.h"

#include <QPrinter>

#include <memory>
#include <string>
#include <vector>

class QLabel;
class QPlainTextEdit;

/// The printout of the model text, page by page as the log window prints, in
/// the editor's monospace font, so that columns line up as on the screen; its
/// file is proposed under the model's name.
class TQNEEOut : public TQNLogOut {
public:
    TQNEEOut(std::vector<std::string> lines, const std::string& modelName);
    void beginPrinting(platform::DeviceContext& context) override;
};

class TQNEEWindow : public platform::FrameWindow, public EquationEditorFrame {
public:
    /// `words` is the command line as the start-up sequence takes it.
    explicit TQNEEWindow(std::vector<std::string> words);
    ~TQNEEWindow() override;

    /// Message owner, about box, settings, the editor module's start; false
    /// when the program is to end.
    bool SetupWindow();

    QPlainTextEdit& edit() const { return *m_edit; }
    QPrinter& printer() { return m_printer; }
    /// Runs a command as the menu does.
    void runCommand(int id) { handleCommand(id); }
    /// The status bar's key indicators: Caps Lock, Num Lock, Overtype.
    QLabel* indicator(int index) const { return m_indicators[index]; }

    // EquationEditorFrame
    platform::WindowHandle mainWindowHandle() const override { return handle(); }
    void setTitle(const std::string& title) override;
    bool isMinimised() const override;
    void showStatusText(const std::string& text) override;
    void applyCommandMask(std::uint32_t mask) override;
    void chooseModelName(const std::string& title, int category, ChosenNameCallback callback, int mode) override;
    std::optional<std::string> editText() const override;
    void setEditText(const std::string& text) override;
    bool editModified() const override;
    void setEditModified(bool modified) override;
    void insertAtCaret(const std::string& text) override;
    int editLineCount() const override;
    void placeCaretAtLine(int line, int column) override;
    void createLog(const std::string& caption) override;
    void clearLog() override;
    void appendLog(const std::string& text) override;
    void showLog(const std::string& caption) override;
    int logCaretLine() const override;

protected:
    void handleMessage(const platform::Message& message) override;
    /// Acts on a message once no modal dialog keeps it waiting.
    void actOnMessage(const platform::Message& message);
    void handleCommand(int id) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void showHelpFile(unsigned command, int selector);
    void startWizard();
    void editChanged();
    void updateIndicators();
    void settingsChanged();

    std::vector<std::string> m_words;
    EditorMessageActions m_messageActions;
    ModalMessageHolder m_held{[this](const platform::Message& message) { actOnMessage(message); },
                              EditorMessageWaitsForDialogs};
    QPlainTextEdit* m_edit = nullptr;
    QLabel* m_indicators[3] = {nullptr, nullptr, nullptr};
    bool m_capsLock = false;
    bool m_numLock = false;
    QPrinter m_printer;
    std::uint32_t m_mask = 0;
    bool m_settingText = false;
    std::string m_lastHelpFile;
    int m_lastHelpResult = 0;
};
