// The logic of the chooser of model and experiment names: its
// request, the category box, the list of names of the chosen directory, and
// the check of the name the user confirms. The chooser window (`DLG_FILE`)
// hands its notifications here and this module works its controls by id.
#pragma once

#include "common/control_access.h"
#include "common/model_file_names.h"

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

/// Control ids of the chooser.
inline constexpr int ID_CHOOSER_CATEGORY = 571;
inline constexpr int ID_CHOOSER_NAME = 572;
inline constexpr int ID_CHOOSER_LIST = 573;
inline constexpr int ID_CHOOSER_OK = 801;
inline constexpr int ID_CHOOSER_CANCEL = 802;
inline constexpr int ID_CHOOSER_HINT = 805;

/// The mode of a chooser that asks for a name to save under: it proposes no
/// name that a model of the directory already has.
inline constexpr int ChooserSaveMode = 5;

/// The most characters the chooser's edit takes, and the width names are shown in.
inline constexpr int ChooserNameLimit = 8;
inline constexpr std::size_t ChooserDisplayWidth = 14;

/// Makes the name a file shows as (file name, most characters); the file is
/// left out of the list when the name comes out empty.
using DisplayNameFunction = std::function<int(std::string& out, std::string_view fileName, std::size_t maximum)>;

/// 0 for a good name, else the 1-based position of its first bad character.
using NameCheckFunction = std::function<int(std::string_view name)>;

/// Receives the directory of the chosen category and the accepted name.
using ChosenNameCallback = std::function<void(const std::string& directory, const std::string& name)>;

/// The file name up to its last '.' (all of it without one), cut to `maximum`;
/// 1 when the result is not empty.
int DefaultDisplayName(std::string& out, std::string_view fileName, std::size_t maximum);

/// The chooser's state, one set for the program.
class NameChooser {
public:
    /// Keeps the request: the first group of `category` (title, directories,
    /// pattern), the functions (a missing display function is
    /// `DefaultDisplayName`, a missing check accepts every name), the
    /// callback and the mode. 0 after "vvchoose_name: No categories given."
    /// when there is no directory to list.
    int setRequest(const ModelNameCategory& category, DisplayNameFunction display, NameCheckFunction check,
                   ChosenNameCallback callback, int mode);

    /// The entries of the category box: the group's title alone in modes 4
    /// and 5 or with fewer than two directories, else one per directory, its
    /// alias from `alias_names` or, where that list has none, the directory.
    std::vector<std::string> categoryEntries() const;

    /// Fills the category box of a new chooser window.
    void fillCategories(ControlAccess& controls) const;

    /// Prepares the window for the request: caption aside, the edit, category 0,
    /// the list of its names.
    void prepare(ControlAccess& controls) const;

    /// The category box's selection changed (and at every preparation).
    void categoryChanged(ControlAccess& controls) const;

    /// Refills the list with the names of category `index`.
    void fillNames(ControlAccess& controls, int index) const;

    /// The user picked a name in the list: it goes into the edit.
    void namePicked(ControlAccess& controls) const;

    /// OK: checks the edit's name and hands it on; 1 when the chooser is to close.
    int accept(ControlAccess& controls);

    /// The chooser `window` closed (OK, Cancel or its close box): the listing
    /// goes, and boxes are no longer owned by the window.
    void closed(platform::WindowHandle window);

    const std::string& lastChosenName() const { return m_lastChosen; }
    bool hasChosen() const { return m_chosen; }
    /// The directory category `index` lists; empty when there is none.
    std::string directory(int index) const;
    /// The names shown for the last fill, in list order.
    const std::vector<std::string>& shownNames() const { return m_shown; }

private:
    int m_mode = 0;
    ModelNameGroup m_group;
    DisplayNameFunction m_display;
    NameCheckFunction m_check;
    ChosenNameCallback m_callback;
    std::string m_lastChosen;
    bool m_chosen = false;
    mutable std::vector<std::string> m_listing;
    mutable std::vector<std::string> m_shown;
};

/// The program's chooser state.
NameChooser& ProgramNameChooser();

/// The display function of model files: the name before the first '.', its
/// name check run without boxes.
int ModelDisplayName(std::string& out, std::string_view fileName, std::size_t maximum);

/// Makes sure the experiment directory of the model exists (creating it, or
/// after "Error: could not create <path>" going on all the same); the path.
std::string PrepareExperimentDirectory(const std::string& modelName);

/// The experiment chooser's caption: "%.20s: %.13s" of the caption word and the model.
std::string ExperimentChooserCaption(const std::string& captionWord, const std::string& modelName);
