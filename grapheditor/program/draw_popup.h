// The draw popup "GE: Draw": the tool a click on the canvas uses (bond,
// multibond, signal, multisignal, PIO, select, or a submodel of the type
// picked in the library of the model directories), with the library lists.
#pragma once

#include "platform/qt/dialog.h"

#include <memory>
#include <vector>

class TQNListBox;
class TQNRadioButton;
struct LibraryEntry;

/// Control ids of the draw popup.
enum DrawPopupControl : int {
    ID_DRAW_LIBRARY = 101,
    ID_DRAW_DIRECTORIES = 102,
    ID_DRAW_TOOLS = 103,
    ID_DRAW_FIRST_TOOL = 104, ///< 104 bond ... 109 select
    ID_DRAW_UPDATE = 112,
};

const platform::DialogDescription& DrawPopupDescription();

class TQNDrawDialog : public platform::Dialog {
public:
    explicit TQNDrawDialog(QWidget* parent);
    ~TQNDrawDialog() override;

    /// Directory names, all library lists read again, the select tool.
    void fill();
    /// List 101 shows the entries of the current directory with their symbols.
    void fillLibraryList();
    /// No tool radio is checked (a library entry or directory is picked).
    void uncheckTools();

protected:
    void notify(int id, int code) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    /// The entry selected in list 101 becomes the submodel tool's; no tool radio is checked.
    void armLibraryEntry();

    std::unique_ptr<TQNListBox> m_library;
    std::vector<std::unique_ptr<TQNRadioButton>> m_radios;
};

/// Shows the popup (made when needed, filled on every call) under `parent`;
/// nothing when the symbols cannot be loaded.
void show_draw_popup(QWidget* parent);
/// The open popup; null when there is none.
TQNDrawDialog* DrawPopup();
void CloseDrawPopup();

/// The library lists read again; an open popup shows them.
void RefreshLibraryLists();

int current_tool();
int tool_draws_signals();
int tool_uses_default_size();
/// The index of the entry picked in list 101; negative when none is.
int selected_library_entry();
/// The picked entry of the current directory's list; null when none is.
LibraryEntry* selected_library_entry_record();
int current_directory();

/// A new tool, with its status text: "Start Bond or Signal.", "Add PIO.",
/// "Select item." or "Add Submodel.".
void set_tool(int tool);
/// Picks entry `index` of directory `directory`'s list: the submodel tool
/// (what a click in list 101 does).
void pick_library_entry(int directory, int index);

/// The tool, directory and pick back to the start (tests, a new editor).
void ResetDrawTools();
