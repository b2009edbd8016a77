// The path finder's window, "ORVANTA Libraries" (`DLG_DIRSRCH`), one at a
// time, over the logic of path_finder.h.
#pragma once

#include "common/module_dialog.h"
#include "common/path_finder.h"

#include <memory>
#include <string>

/// "DLG_DIRSRCH".
const platform::DialogDescription& PathFinderDescription();

class TQNPathFinderDialog : public ModuleDialog {
public:
    explicit TQNPathFinderDialog(QWidget* parent);
    ~TQNPathFinderDialog() override;

    /// Makes the controller on the two lists; the result gets them on OK.
    void start(DirectoryListsResult result, const std::string& directories, const std::string& aliases);
    PathFinder* finder() const { return m_finder.get(); }

    void done(int result) override;

protected:
    void notify(int id, int code) override;

private:
    std::unique_ptr<PathFinder> m_finder;
};

/// Closes any open path finder and opens a new one under `parent` on the two
/// lists, shown and made the owner of boxes; 1 when it is open.
int OpenPathFinder(QWidget* parent, DirectoryListsResult result, const std::string& directories,
                   const std::string& aliases);

/// Shows or hides the open path finder, its buttons brought up to date.
void ShowPathFinderWindow(bool show);

/// Closes the path finder when one is open; nothing is applied.
void DestroyPathFinderWindow();

/// The open path finder; null when none is.
TQNPathFinderDialog* PathFinderWindow();
