// The draw popup and the tool state the canvas reads.
#include "grapheditor/program/draw_popup.h"

#include "grapheditor/program/model_commands.h"
#include "grapheditor/program/owner_drawn_controls.h"

#include "common/dialog_fonts.h"
#include "common/log_window.h"
#include "common/settings_table.h"
#include "common/text_helpers.h"
#include "grapheditor/connection_drawing.h"
#include "grapheditor/submodel_library.h"
#include "grapheditor/symbol_tables.h"

#include <QListWidget>
#include <QResizeEvent>

#include <algorithm>
#include <array>

namespace {

using namespace platform;

struct ToolState {
    int tool = TOOL_SELECT;
    int directory = 0;
    int entry = -1;
};

ToolState& tools()
{
    static ToolState s;
    return s;
}

DialogInstance<TQNDrawDialog> g_popup;

constexpr std::array<const char*, 6> kRadioBitmaps = {"BM_SBOND",   "BM_MBOND", "BM_SSIGNAL",
                                                      "BM_MSIGNAL", "BM_PORTS", "BM_ARROW"};

std::vector<LibraryEntry>* currentList()
{
    auto& lists = LibraryLists();
    const int d = tools().directory;
    return d >= 0 && static_cast<std::size_t>(d) < lists.size() ? &lists[std::size_t(d)] : nullptr;
}

} // namespace

const DialogDescription& DrawPopupDescription()
{
    static const DialogDescription d = [] {
        DialogDescription description{"DLG_DRAW", "TQNDrawDialog", "GE: Draw", 150, 214, {}};
        auto& c = description.controls;
        c.push_back(groupBox(ID_DRAW_TOOLS, "", {4, 2, 142, 26}));
        for (int i = 0; i < 6; ++i) {
            ControlDescription radio = bitmapRadio(ID_DRAW_FIRST_TOOL + i, {8 + 23 * i, 9, 21, 15});
            if (i == 0)
                radio.group();
            c.push_back(radio);
        }
        c.push_back(staticText(-1, "Directory :", {4, 32, 60, 8}));
        c.push_back(listBox(ID_DRAW_DIRECTORIES, {4, 42, 96, 34}));
        c.push_back(pushButton(ID_DRAW_UPDATE, "&Update", {104, 42, 42, 14}));
        c.push_back(staticText(-1, "Submodels :", {4, 80, 60, 8}));
        c.push_back(ownerDrawList(ID_DRAW_LIBRARY, {4, 90, 142, 120}));
        return description;
    }();
    return d;
}

TQNDrawDialog::TQNDrawDialog(QWidget* parent) : Dialog(DrawPopupDescription(), parent)
{
    for (int id : {ID_DRAW_LIBRARY, ID_DRAW_DIRECTORIES})
        setControlFont(id, *GetDialogFont());
    m_library = std::make_unique<TQNListBox>(*this, ID_DRAW_LIBRARY);
    for (std::size_t i = 0; i < kRadioBitmaps.size(); ++i)
        m_radios.push_back(std::make_unique<TQNRadioButton>(*this, ID_DRAW_FIRST_TOOL + int(i), kRadioBitmaps[i]));
    // The window may be made larger than described; its library list takes what it gains.
    setMinimumSize(size());
    setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    // A click on the entry still picked after another tool was used picks it again: the
    // selection does not change, so only the click says so.
    if (auto* list = controlAs<QListWidget>(ID_DRAW_LIBRARY))
        connect(list, &QListWidget::itemClicked, this, [this] { armLibraryEntry(); });
    DialogSetupHook(this);
}

void TQNDrawDialog::resizeEvent(QResizeEvent* event)
{
    Dialog::resizeEvent(event);
    const DialogDescription& description = DrawPopupDescription();
    const QRect described = toPixels(description.find(ID_DRAW_LIBRARY)->rect);
    const QSize gained = size() - toPixels({0, 0, description.width, description.height}).size();
    if (QWidget* list = control(ID_DRAW_LIBRARY))
        list->setGeometry(QRect(described.topLeft(), described.size() + gained.expandedTo(QSize(0, 0))));
}

void TQNDrawDialog::uncheckTools()
{
    for (int i = 0; i < 6; ++i)
        setChecked(ID_DRAW_FIRST_TOOL + i, false);
}

void TQNDrawDialog::armLibraryEntry()
{
    uncheckTools();
    ToolState& s = tools();
    s.tool = TOOL_SUBMODEL;
    s.entry = selectedIndex(ID_DRAW_LIBRARY);
}

TQNDrawDialog::~TQNDrawDialog() = default;

void TQNDrawDialog::fill()
{
    clearItems(ID_DRAW_DIRECTORIES);
    const std::vector<std::string> directories = SplitPathList(Settings().model_dirs);
    const std::vector<std::string> aliases = SplitPathList(Settings().alias_names);
    for (std::size_t i = 0; i < directories.size(); ++i)
        addItem(ID_DRAW_DIRECTORIES, i < aliases.size() && !aliases[i].empty() ? aliases[i] : directories[i]);
    selectIndex(ID_DRAW_DIRECTORIES, itemCount(ID_DRAW_DIRECTORIES) > 0 ? 0 : -1);
    ReadAllLibraries();
    ToolState& s = tools();
    s.tool = TOOL_BOND;
    s.directory = 0;
    s.entry = -1;
    fillLibraryList();
    setChecked(ID_DRAW_FIRST_TOOL + int(TOOL_SELECT), true);
    set_tool(TOOL_SELECT);
}

void TQNDrawDialog::fillLibraryList()
{
    clearItems(ID_DRAW_LIBRARY);
    tools().entry = -1;
    const std::vector<LibraryEntry>* list = currentList();
    if (!list)
        return;
    int height = 0;
    for (const LibraryEntry& entry : *list) {
        const int index = addItem(ID_DRAW_LIBRARY, entry.text);
        if (entry.builtinIndex < 0)
            continue;
        const SymbolBitmaps symbol = element_symbol(entry.builtinIndex);
        if (!symbol.colour)
            continue;
        m_library->setItemBitmap(index, symbol.colour);
        height = std::max(height, symbol.colour->height());
    }
    if (height > 0)
        setItemHeight(ID_DRAW_LIBRARY, height);
}

void TQNDrawDialog::notify(int id, int code)
{
    ToolState& s = tools();
    if (id >= ID_DRAW_FIRST_TOOL && id < ID_DRAW_FIRST_TOOL + 6 && code == BN_CLICKED) {
        set_tool(id - ID_DRAW_FIRST_TOOL);
        return;
    }
    if (id == ID_DRAW_LIBRARY && code == LBN_SELCHANGE) {
        armLibraryEntry();
        return;
    }
    if (id == ID_DRAW_DIRECTORIES && code == LBN_SELCHANGE) {
        uncheckTools();
        const int directory = selectedIndex(ID_DRAW_DIRECTORIES);
        if (directory >= 0 && directory != s.directory) {
            s.tool = TOOL_SUBMODEL;
            s.directory = directory;
            read_library(directory);
            fillLibraryList();
        }
        return;
    }
    if (id == ID_DRAW_UPDATE && code == BN_CLICKED) {
        const int directory = selectedIndex(ID_DRAW_DIRECTORIES);
        if (directory >= 0) {
            s.directory = directory;
            read_library(directory);
            fillLibraryList();
        }
        return;
    }
    Dialog::notify(id, code);
}

void show_draw_popup(QWidget* parent)
{
    if (!load_symbols())
        return;
    const bool fresh = DrawPopup() == nullptr;
    TQNDrawDialog& popup = g_popup.create([parent] { return new TQNDrawDialog(parent); });
    popup.fill();
    // The palette opens beside the editor's window, not over the canvas it serves.
    if (fresh && parent)
        PlaceBeside(popup, parent->window()->frameGeometry());
    popup.showModeless();
}

TQNDrawDialog* DrawPopup()
{
    return g_popup.get();
}

void CloseDrawPopup()
{
    g_popup.close();
}

void RefreshLibraryLists()
{
    if (TQNDrawDialog* popup = DrawPopup()) {
        const int directory = tools().directory;
        ReadAllLibraries();
        tools().directory = directory;
        popup->fillLibraryList();
        return;
    }
    ReadAllLibraries();
    tools().entry = -1;
}

int current_tool()
{
    return tools().tool;
}

int tool_draws_signals()
{
    return ToolDrawsSignals(tools().tool);
}

int tool_uses_default_size()
{
    return ToolUsesDefaultSize(tools().tool);
}

int selected_library_entry()
{
    return tools().entry;
}

LibraryEntry* selected_library_entry_record()
{
    std::vector<LibraryEntry>* list = currentList();
    const int entry = tools().entry;
    return list && entry >= 0 && static_cast<std::size_t>(entry) < list->size() ? &(*list)[std::size_t(entry)]
                                                                                : nullptr;
}

int current_directory()
{
    return tools().directory;
}

void set_tool(int tool)
{
    ToolState& s = tools();
    if (tool == s.tool)
        return;
    s.tool = tool;
    static constexpr const char* texts[] = {"Start Bond or Signal.", "Start Bond or Signal.", "Start Bond or Signal.",
                                            "Start Bond or Signal.", "Add PIO.",              "Select item.",
                                            "Add Submodel."};
    if (tool >= 0 && tool <= TOOL_SUBMODEL)
        ShowStatus(texts[tool], 1);
}

void pick_library_entry(int directory, int index)
{
    ToolState& s = tools();
    if (TQNDrawDialog* popup = DrawPopup()) {
        if (directory != s.directory) {
            s.directory = directory;
            popup->selectIndex(ID_DRAW_DIRECTORIES, directory);
            popup->fillLibraryList();
        }
        popup->uncheckTools();
        popup->selectIndex(ID_DRAW_LIBRARY, index);
    }
    s.directory = directory;
    s.tool = TOOL_SUBMODEL;
    s.entry = index;
}

void ResetDrawTools()
{
    CloseDrawPopup();
    tools() = ToolState{};
}
