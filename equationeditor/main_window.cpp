// The equation editor's main window.
#include "equationeditor/main_window.h"

#include "equationeditor/editor_menus.h"
#include "equationeditor/editor_state.h"
#include "equationeditor/find_replace_dialog.h"
#include "equationeditor/model_check.h"
#include "equationeditor/model_commands.h"
#include "equationeditor/model_wizard_dialog.h"
#include "equationeditor/processing_requests.h"
#include "equationeditor/template_popup.h"

#include "common/about_dialog.h"
#include "common/dialog_fonts.h"
#include "common/launcher.h"
#include "common/message_boxes.h"
#include "common/name_chooser_dialog.h"
#include "common/property_dialogs.h"
#include "common/settings_table.h"
#include "common/startup.h"
#include "platform/core/file_system.h"
#include "platform/core/message_numbers.h"
#include "platform/core/window_messages.h"
#include "platform/qt/artwork.h"
#include "platform/qt/help.h"
#include "platform/qt/printing.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QStatusBar>
#include <QTextBlock>

#include <algorithm>

namespace {

constexpr const char* kEditorFontFamily = "DejaVu Sans Mono";
constexpr int kEditorFontPixels = 13;

/// The pinned monospace font of the model text.
QFont editorFont()
{
    QFont font(QString::fromLatin1(kEditorFontFamily));
    font.setStyleHint(QFont::Monospace);
    font.setPixelSize(kEditorFontPixels);
    font.setWeight(QFont::Normal);
    return font;
}

std::vector<std::string> splitLines(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

} // namespace

namespace {

/// The line with each tab made blanks up to the next stop of four columns, as the edit shows it.
std::string withTabsExpanded(const std::string& line)
{
    std::string out;
    for (char c : line) {
        if (c != '\t')
            out += c;
        else
            out.append(4 - out.size() % 4, ' ');
    }
    return out;
}

std::vector<std::string> withTabsExpanded(std::vector<std::string> lines)
{
    for (std::string& line : lines)
        line = withTabsExpanded(line);
    return lines;
}

} // namespace

TQNEEOut::TQNEEOut(std::vector<std::string> lines, const std::string& modelName)
    : TQNLogOut(withTabsExpanded(std::move(lines)), "Orvanta Formulas Editor")
{
    setDocumentName(modelName.empty() ? "untitled" : modelName);
}

void TQNEEOut::beginPrinting(platform::DeviceContext& context)
{
    // The model text's own font, as large on paper as on the screen.
    platform::FontSpec font;
    font.family = kEditorFontFamily;
    font.pixelHeight = std::max(1, kEditorFontPixels * resolution() / 96);
    context.setFont(font);
}

TQNEEWindow::TQNEEWindow(std::vector<std::string> words)
    : FrameWindow(SiblingTable[1].windowClass), m_words(std::move(words))
{
    setWindowTitle(QStringLiteral("Orvanta Equation Editor"));
    platform::setWindowIcon(*this, "IC_QNEE22", true);
    move(160, 60);
    resize(720, 520);
    setMenuDescription("MN_QNEE", EquationEditorMenu());
    setToolBar(EquationEditorToolBar());
    setCommandHints(EquationEditorHints());
    setAccelerators(EquationEditorAccelerators());

    m_edit = new QPlainTextEdit(this);
    m_edit->setObjectName(QStringLiteral("id%1").arg(ID_EDIT));
    m_edit->setFrameShape(QFrame::NoFrame);
    m_edit->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_edit->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_edit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_edit->setFont(editorFont());
    // One tab stop every 16 dialog units of the dialog font: four average letters.
    m_edit->setTabStopDistance(QFontMetricsF(m_edit->font()).horizontalAdvance(QLatin1Char('x')) * 4);
    m_edit->installEventFilter(this);
    setCentralWidget(m_edit);
    connect(m_edit, &QPlainTextEdit::textChanged, this, [this] { editChanged(); });

    setStatusText("");
    static const char* const kIndicatorText[3] = {"CAPS", "NUM", "OVR"};
    static const char* const kIndicatorName[3] = {"indicator_caps", "indicator_num", "indicator_ovr"};
    for (int i = 0; i < 3; ++i) {
        m_indicators[i] = new QLabel(this);
        m_indicators[i]->setObjectName(QString::fromLatin1(kIndicatorName[i]));
        m_indicators[i]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        m_indicators[i]->setAlignment(Qt::AlignCenter);
        m_indicators[i]->setMinimumWidth(m_indicators[i]->fontMetrics().horizontalAdvance(
                                             QString::fromLatin1(kIndicatorText[i])) + 12);
        statusBar()->addPermanentWidget(m_indicators[i]);
    }
    updateIndicators();
    m_messageActions = {OnProcessModel, OnProcessorExited, OnProcessingDone,
                        [](const std::string& name) { openAskedModel(name); },
                        [this] { settingsChanged(); }, {}, OnProcessorStart};
    // A message that opens a box waits for the one being handled, also when that one's box has just closed.
    m_held.setOneAtATime(true);
}

TQNEEWindow::~TQNEEWindow()
{
    closeModelWizard();
    closeTemplatePopup();
    if (EquationEditor().frame == this)
        EquationEditor().frame = nullptr;
    DeleteDialogFonts();
    DeleteLogTempFile();
}

bool TQNEEWindow::SetupWindow()
{
    SetMessageOwner(handle());
    if (!CreateAboutBox(this)) {
        close();
        return false;
    }
    SetAboutBoxParent(this);
    SetPropertiesParent(this);
    Startup().StartupDirectory = platform::executableDirectory();
    if (!StartupSettings(m_words, 1, ShowConfirmLines))
        return false;
    ModuleHooks().createTemplatePopup = [this] { createTemplatePopup(this); };
    initEditorModule(*this);
    return true;
}

void TQNEEWindow::setTitle(const std::string& title)
{
    setWindowTitle(QString::fromStdString(title));
}

bool TQNEEWindow::isMinimised() const
{
    return isMinimized();
}

void TQNEEWindow::showStatusText(const std::string& text)
{
    clearPassingText();
    setStatusText(text);
}

void TQNEEWindow::applyCommandMask(std::uint32_t mask)
{
    m_mask = mask;
    for (int id : MaskedCommandIds())
        enableCommand(id, CommandEnabled(id, mask));
    menuBar()->update();
}

void TQNEEWindow::chooseModelName(const std::string& title, int category, ChosenNameCallback callback, int mode)
{
    ChooseModelName(this, title, category, std::move(callback), mode);
}

std::optional<std::string> TQNEEWindow::editText() const
{
    return m_edit->toPlainText().toStdString();
}

void TQNEEWindow::setEditText(const std::string& text)
{
    m_settingText = true;
    m_edit->setPlainText(QString::fromStdString(text));
    m_edit->document()->setModified(false);
    m_settingText = false;
    editChanged();
}

bool TQNEEWindow::editModified() const
{
    return m_edit->document()->isModified();
}

void TQNEEWindow::setEditModified(bool modified)
{
    m_edit->document()->setModified(modified);
}

void TQNEEWindow::insertAtCaret(const std::string& text)
{
    QString piece = QString::fromStdString(text);
    piece.remove(QLatin1Char('\r'));
    m_edit->textCursor().insertText(piece);
}

int TQNEEWindow::editLineCount() const
{
    return m_edit->document()->blockCount();
}

void TQNEEWindow::placeCaretAtLine(int line, int column)
{
    QTextBlock block = m_edit->document()->findBlockByNumber(line);
    if (!block.isValid())
        block = m_edit->document()->lastBlock();
    QTextCursor cursor(block);
    cursor.setPosition(block.position() + std::clamp(column, 0, block.length() - 1));
    m_edit->setTextCursor(cursor);
    m_edit->ensureCursorVisible();
    // The user comes from the log window: the editor takes the keyboard.
    raise();
    activateWindow();
    m_edit->setFocus();
}

void TQNEEWindow::createLog(const std::string& caption)
{
    SetLogOwner(this);
    CreateLog(this, caption);
    SetLogCallback([] { jumpToErrorLine(); });
    SetLogKeepSetting(&Settings().ee_messages);
}

void TQNEEWindow::clearLog()
{
    ClearLog();
    ResetLogLineCounter();
}

void TQNEEWindow::appendLog(const std::string& text)
{
    // The log shows the end of the newest report, whatever the user scrolled to before.
    AppendLog(text);
}

void TQNEEWindow::showLog(const std::string& caption)
{
    ShowLog(caption);
}

int TQNEEWindow::logCaretLine() const
{
    return GetLogCaretLine();
}

void TQNEEWindow::editChanged()
{
    if (m_settingText)
        return;
    EditChanged();
}

void TQNEEWindow::startWizard()
{
    startModelWizard(this, {[] { return newBlankModel(); },
                            [this](std::string_view piece) { insertAtCaret(std::string(piece)); }});
}

void TQNEEWindow::handleMessage(const platform::Message& message)
{
    m_held.take(message);
}

void TQNEEWindow::actOnMessage(const platform::Message& message)
{
    if (HandleEditorMessage(message, m_messageActions))
        return;
    switch (message.number) {
    case UM_NEW_WIZARD_MODEL:
        startWizard();
        break;
    case UM_NEW_BLANK_MODEL:
        newBlankModel();
        break;
    default:
        break;
    }
}

void TQNEEWindow::handleCommand(int id)
{
    if (!CommandEnabled(id, m_mask) && CommandBit(id) >= 0)
        return;
    switch (id) {
    case EE_PRINT: {
        const std::optional<std::string> text = editText();
        TQNEEOut printout(splitLines(text.value_or(std::string())), EquationEditor().modelName);
        printout.print(m_printer, true, this);
        break;
    }
    case EE_PRINTER_SETUP:
        platform::setupPrinter(m_printer, this);
        break;
    case EE_TEMPLATE:
        showTemplatePopup(this);
        break;
    case EE_NEW_WIZARD:
        startWizard();
        break;
    case EE_NEW_BLANK:
        newBlankModel();
        break;
    case EE_OPEN:
        OpenCommand();
        break;
    case EE_SAVE:
    case EE_CHECK_SAVE:
        SaveCommand();
        break;
    case EE_SAVE_AS:
        SaveAsCommand();
        break;
    case EE_COMPLETE_PROCESSING:
        CompleteProcessingCommand();
        break;
    case EE_SIMULATION:
        SimulationCommand();
        break;
    case EE_FIND:
        OpenFindReplace(*m_edit, false, this);
        break;
    case EE_REPLACE:
        OpenFindReplace(*m_edit, true, this);
        break;
    case EE_FIND_NEXT:
        if (LastSearch().findText.empty())
            OpenFindReplace(*m_edit, false, this);
        else
            SearchEdit(*m_edit, LastSearch());
        break;
    case EE_EXIT:
        close();
        break;
    case EE_TOOL_PROPERTIES:
        ShowEquationEditorProperties();
        break;
    case EE_PROCESSOR_PROPERTIES:
        ShowModelProcessorProperties();
        break;
    case EE_LIBRARY_PROPERTIES:
        ShowPathFinder({});
        break;
    case EE_GRAPH_EDITOR:
        LaunchProgram(0, std::nullopt, 0);
        break;
    case EE_SIMULATOR:
        LaunchProgram(2, std::nullopt, 0);
        break;
    case EE_HELP_CONTENTS:
        showHelpFile(platform::HELP_CONTEXT, 3);
        break;
    case EE_HELP_DEMO:
        showHelpFile(platform::HELP_CONTENTS, 6);
        break;
    case EE_HELP_TUTORIAL:
        showHelpFile(platform::HELP_CONTENTS, 7);
        break;
    case EE_HELP_USING:
        showHelpFile(platform::HELP_HELPONHELP, 3);
        break;
    case EE_HELP_ABOUT:
        CreateAboutBox(this);
        ShowAboutBox("Orvanta  Equation Editor");
        break;
    case EE_UNDO:
        m_edit->undo();
        break;
    case EE_CUT:
        m_edit->cut();
        break;
    case EE_COPY:
        m_edit->copy();
        break;
    case EE_PASTE:
        m_edit->paste();
        break;
    case EE_DELETE:
        m_edit->textCursor().removeSelectedText();
        break;
    default:
        break;
    }
    RestoreMessageOwner();
}

void TQNEEWindow::showHelpFile(unsigned command, int selector)
{
    const std::string install = Startup().InstallDirectory;
    std::string path;
    if (selector == 3)
        path = install + "/help/orvanta.hlp";
    else if (selector == 6)
        path = install + "/help/orvantadmo.hlp";
    else
        path = install + "/tutorial/orvantatut.hlp";
    m_lastHelpFile = path;
    m_lastHelpResult = platform::showHelp(handle(), path, command, selector == 3 ? 3 : 0);
}

void TQNEEWindow::settingsChanged()
{
    StartupSettings(m_words, 1, ShowConfirmLines);
}

void TQNEEWindow::closeEvent(QCloseEvent* event)
{
    if (!CanQuit()) {
        event->ignore();
        return;
    }
    if (m_lastHelpResult)
        platform::showHelp(handle(), m_lastHelpFile, platform::HELP_QUIT, 0);
    FrameWindow::closeEvent(event);
}

void TQNEEWindow::changeEvent(QEvent* event)
{
    FrameWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange) {
        HideProcessorLog();
        RefreshCaption();
    }
}

void TQNEEWindow::resizeEvent(QResizeEvent* event)
{
    HideProcessorLog();
    FrameWindow::resizeEvent(event);
    RefreshCaption();
}

bool TQNEEWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_edit && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Insert && key->modifiers() == Qt::NoModifier) {
            m_edit->setOverwriteMode(!m_edit->overwriteMode());
            updateIndicators();
            return true;
        }
        if (key->key() == Qt::Key_CapsLock)
            m_capsLock = !m_capsLock;
        else if (key->key() == Qt::Key_NumLock)
            m_numLock = !m_numLock;
        updateIndicators();
    }
    return FrameWindow::eventFilter(watched, event);
}

void TQNEEWindow::updateIndicators()
{
    m_indicators[0]->setText(m_capsLock ? QStringLiteral("CAPS") : QString());
    m_indicators[1]->setText(m_numLock ? QStringLiteral("NUM") : QString());
    m_indicators[2]->setText(m_edit->overwriteMode() ? QStringLiteral("OVR") : QString());
}
