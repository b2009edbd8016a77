// The logic of the property pages: each page edits one section of the
// settings table through controls bound to its keys by id; accepting takes
// the values into the table, saving also writes the settings file that was
// read, after which every program of the suite is told to read it again.
// The page windows (property_dialogs.h) attach themselves here while they live.
#pragma once

#include "common/control_access.h"
#include "common/settings_table.h"

#include <functional>
#include <string>
#include <vector>

/// The sections of the settings table, one page each.
enum PropertySection : int {
    GeneralSection = 0,
    GraphEditorSection = 1,
    EquationEditorSection = 2,
    ModelProcessorSection = 3,
    SimulatorSection = 4,
    PropertySectionCount = 5,
};

/// Control ids every page has, and those of the general page.
inline constexpr int ID_PAGE_ACCEPT = 801;
inline constexpr int ID_PAGE_REVERT = 802;
inline constexpr int ID_PAGE_SAVE = 803;
inline constexpr int ID_PAGE_STATUS = 805;
inline constexpr int ID_GENERAL_DIRECTORIES = 550;
inline constexpr int ID_GENERAL_ALIASES = 551;
inline constexpr int ID_GENERAL_MARKER = 557;
inline constexpr int ID_GENERAL_CREATE = 804;
inline constexpr int ID_GENERAL_EDIT = 809;
inline constexpr int ID_GENERAL_CLOSE = 109;
/// The simulator page's printer check, bound to no key.
inline constexpr int ID_SIMULATOR_PRINTER_CHECK = 577;

/// One key of a page: the controls that edit it (a choice's radios in the
/// order of its values) and the static that marks missing directories (0: none).
struct PageBinding {
    const char* key;
    std::vector<int> controls;
    int marker = 0;
};

/// The keys a section's page binds.
const std::vector<PageBinding>& PageBindings(int section);

/// The page of a section attaches its controls while it lives (null: gone).
void AttachPropertyPage(int section, ControlAccess* controls);
/// The attached controls; null when the page does not exist.
ControlAccess* PropertyPage(int section);

/// Writes the section's values into its page.
void FillPropertyPage(int section);

/// Takes the page's values into the table; the number of errors (0: all
/// good). Nothing is written to the settings file.
int AcceptProperties(int section);

/// Accepts (asking before going on after errors) and writes the settings
/// file; 1 when written.
int SaveProperties(int section);

/// 1 when the directory list names a directory that does not exist, with the
/// row's marker set to "<"; 0 (marker cleared) when all exist. Only
/// directory-list rows are checked.
int CheckDirectoryList(const SettingsKey& row, const std::string& list);

/// The general page's status for `count` lists with missing directories,
/// and the Create button enabled while there are any.
void SetDirectoryStatus(int count);

/// Creates every missing level of the directories of the marked lists of
/// the general page; 0 after "Unable to create the '<' marked directories.".
int CreateMarkedDirectories();

/// 1 when the working, experiment, result and processed-model directories
/// exist as directories (making those that do not); 0 otherwise.
int EnsureWorkDirectories();

/// The one-line status of a page (cleared without a text).
void SetPageStatus(int section, const std::string& text = {});

/// The file a save writes: the settings file that was read at start-up (or
/// made there); without one the name given, in the suite's settings folder
/// when it is not a full path.
std::string SettingsFileToWrite();

/// Called after the graph editor page was accepted: 0 rejects its values.
using GraphEditorApplyCallback = std::function<int()>;
/// Called after the simulator page was accepted.
using SimulatorApplyCallback = std::function<void()>;
/// Called after the directory lists were accepted without errors.
using DirectoryListCallback = std::function<void()>;

void SetGraphEditorApplyCallback(GraphEditorApplyCallback callback);
void SetSimulatorApplyCallback(SimulatorApplyCallback callback);
void SetDirectoryListCallback(DirectoryListCallback callback);
const GraphEditorApplyCallback& GraphEditorApply();
const SimulatorApplyCallback& SimulatorApply();
const DirectoryListCallback& DirectoryListChanged();

/// The simulator's printer check: 0 when the page's box is checked. Not a
/// setting; it lives while the program runs.
int& PrinterCheckFlag();

/// The page buttons' work, the page being the owner of the boxes meanwhile.
/// Accept: 1 when the page is to close (no errors).
int AcceptPropertyPage(int section);
/// Save: 1 when the file was written; the page then closes and the caller
/// broadcasts with `BroadcastSettingsChanged`.
int SavePropertyPage(int section);
/// Create (general page).
void CreateDirectoriesOfPage();

/// Tells every window of the suite's programs that the settings changed.
void BroadcastSettingsChanged();

/// The path finder's result: the two lists go into the general page's
/// edits, then are saved (`save` 1) or accepted. 1 when that succeeded; 0
/// without a general page.
int ApplyDirectoryLists(const std::string& directories, const std::string& aliases, int save);
