// The logic of the path finder: the ordered list of model directories, each
// with its category name, edited as a copy of the general page's two lists
// and handed back to it on OK. The window ("ORVANTA Libraries",
// `DLG_DIRSRCH`, path_finder_dialog.h) hands its notifications here.
#pragma once

#include "common/control_access.h"

#include <functional>
#include <string>
#include <utility>
#include <vector>

/// Control ids of the path finder.
inline constexpr int ID_FINDER_LIST = 101;
inline constexpr int ID_FINDER_ADD = 102;
inline constexpr int ID_FINDER_DELETE = 103;
inline constexpr int ID_FINDER_UP = 104;
inline constexpr int ID_FINDER_DOWN = 105;
inline constexpr int ID_FINDER_BROWSE = 106;
inline constexpr int ID_FINDER_SAVE = 108;
inline constexpr int ID_FINDER_ACCEPT = 1;
inline constexpr int ID_FINDER_CANCEL = 2;
inline constexpr int ID_FINDER_DESCRIPTION = 109;
inline constexpr int ID_FINDER_NAME = 112;
inline constexpr int ID_FINDER_PATH = 113;

/// One model directory and its category name.
struct DirectoryEntry {
    std::string name;
    std::string path;
    bool operator==(const DirectoryEntry&) const = default;
};

/// The entries of the two ';' lists, paired by position; a directory
/// without a name gets an empty one, a name without a directory an empty
/// path. Two empty lists give one empty entry.
std::vector<DirectoryEntry> FillDirectoryList(const std::string& directories, const std::string& aliases);

/// The two ';' lists of the entries, leaving out entries without a path.
std::pair<std::string, std::string> JoinDirectoryList(const std::vector<DirectoryEntry>& entries);

/// Receives the directory list, the alias list and the save flag (1: the
/// visible OK, which writes the settings file); 1 when they were taken.
using DirectoryListsResult = std::function<int(const std::string& directories, const std::string& aliases, int save)>;

/// The path finder's controller: its entries and the window's state.
class PathFinder {
public:
    /// Fills the entries and the list box from the two lists; entry 0 current.
    PathFinder(ControlAccess& controls, DirectoryListsResult result, const std::string& directories,
               const std::string& aliases);
    /// Boxes owned by the window go back to their default owner.
    ~PathFinder();
    PathFinder(const PathFinder&) = delete;
    PathFinder& operator=(const PathFinder&) = delete;

    /// The buttons and edits for the selected entry; boxes owned by the window.
    void activate();
    void updateButtons();

    void selectionChanged();
    void add();
    void remove();
    void up();
    void down();
    /// Asks the folder chooser for the path edit's folder.
    void browse();
    /// OK: stores the edits and hands both lists on; 1 when the window is to
    /// close (the result took them).
    int ok(int save);

    const std::vector<DirectoryEntry>& entries() const { return m_entries; }
    int current() const { return m_current; }

private:
    /// The edits into entry i, the path after the question whether to create it.
    void storeEdits(int index);
    /// The selected entry's edits stored when the path edit is not empty.
    void keepCurrentEdits();

    ControlAccess& m_controls;
    DirectoryListsResult m_result;
    std::vector<DirectoryEntry> m_entries;
    int m_current = -1;
    platform::WindowHandle m_owner = 0;
};

/// When the path does not exist, asks whether to create it and does so
/// (a failure is reported).
void AskCreateDirectory(const std::string& path);
