// The name chooser's request, its lists and the check of a confirmed name.
#include "common/name_chooser.h"

#include "common/message_boxes.h"
#include "common/settings_table.h"
#include "common/startup.h"
#include "common/text_helpers.h"
#include "platform/core/file_system.h"

#include <cstdio>

namespace {

/// The most characters of a name the chooser takes from its edit.
constexpr std::size_t ChosenNameMaximum = 39;

int selectedCategory(const ControlAccess& controls)
{
    const int index = controls.selectedIndex(ID_CHOOSER_CATEGORY);
    return index < 0 ? 0 : index;
}

} // namespace

int DefaultDisplayName(std::string& out, std::string_view fileName, std::size_t maximum)
{
    const std::size_t dot = fileName.rfind('.');
    out = fileName.substr(0, dot == std::string_view::npos ? fileName.size() : dot).substr(0, maximum);
    return out.empty() ? 0 : 1;
}

int NameChooser::setRequest(const ModelNameCategory& category, DisplayNameFunction display, NameCheckFunction check,
                            ChosenNameCallback callback, int mode)
{
    if (category.groups.empty() || category.groups.front().directories.empty()) {
        ShowMessage({"vvchoose_name: No categories given."});
        return 0;
    }
    m_group = category.groups.front();
    m_display = display ? std::move(display) : DisplayNameFunction(DefaultDisplayName);
    m_check = std::move(check);
    m_callback = std::move(callback);
    m_mode = mode;
    return 1;
}

std::vector<std::string> NameChooser::categoryEntries() const
{
    const std::vector<std::string>& directories = m_group.directories;
    if (m_mode == 4 || m_mode == 5 || directories.size() < 2)
        return {m_group.title};
    // A directory the alias list names no category for is shown by its path.
    const std::vector<std::string> aliases = SplitPathList(Settings().alias_names);
    std::vector<std::string> entries;
    for (std::size_t i = 0; i < directories.size(); ++i)
        entries.push_back(i < aliases.size() && !aliases[i].empty() ? aliases[i] : directories[i]);
    return entries;
}

void NameChooser::fillCategories(ControlAccess& controls) const
{
    controls.clearItems(ID_CHOOSER_CATEGORY);
    for (const std::string& entry : categoryEntries())
        controls.addItem(ID_CHOOSER_CATEGORY, entry);
}

void NameChooser::prepare(ControlAccess& controls) const
{
    controls.focusControl(ID_CHOOSER_NAME);
    controls.setText(ID_CHOOSER_OK, "&OK");
    controls.selectIndex(ID_CHOOSER_CATEGORY, 0);
    categoryChanged(controls);
    controls.showControl(ID_CHOOSER_CATEGORY, true);
}

void NameChooser::categoryChanged(ControlAccess& controls) const
{
    const int index = selectedCategory(controls);
    // New names are entered only in the first, working directory.
    controls.setText(ID_CHOOSER_HINT, index == 0 ? "Select name or enter new" : "Select name in list");
    fillNames(controls, index);
    controls.enableControl(ID_CHOOSER_NAME, index == 0);
    controls.selectAllText(ID_CHOOSER_NAME);
}

std::string NameChooser::directory(int index) const
{
    if (index < 0 || static_cast<std::size_t>(index) >= m_group.directories.size())
        return {};
    return m_group.directories[static_cast<std::size_t>(index)];
}

void NameChooser::fillNames(ControlAccess& controls, int index) const
{
    controls.showControl(ID_CHOOSER_LIST, false);
    controls.clearItems(ID_CHOOSER_LIST);
    m_listing.clear();
    m_shown.clear();
    SetNamePattern(m_group.pattern);
    if (ScanDirectory(directory(index), m_listing, AcceptModelName, CompareNames) < 0) {
        ShowMessage({"Directory read error."});
        return;
    }
    int candidate = -1;
    std::string before;
    for (const std::string& file : m_listing) {
        std::string name;
        m_display(name, file, ChooserDisplayWidth);
        // Variants of one model sort next to one another and show once; model
        // names are told apart without regard to case, as the file lookups do.
        if (name.empty() || platform::equalsNoCase(name, before))
            continue;
        before = name;
        const int added = controls.addItem(ID_CHOOSER_LIST, name);
        m_shown.push_back(name);
        if (candidate < 0 || (m_chosen && name == m_lastChosen))
            candidate = added;
    }
    // A name to save under starts empty: any name of the list is a model that saving would replace.
    if (m_mode == ChooserSaveMode)
        candidate = -1;
    controls.selectIndex(ID_CHOOSER_LIST, candidate);
    controls.setText(ID_CHOOSER_NAME, candidate < 0 ? std::string() : controls.itemText(ID_CHOOSER_LIST, candidate));
    controls.showControl(ID_CHOOSER_LIST, true);
}

void NameChooser::namePicked(ControlAccess& controls) const
{
    const int index = controls.selectedIndex(ID_CHOOSER_LIST);
    if (index >= 0)
        controls.setText(ID_CHOOSER_NAME, controls.itemText(ID_CHOOSER_LIST, index));
}

int NameChooser::accept(ControlAccess& controls)
{
    SetTempMessageOwner(controls.handle());
    const std::string name = controls.text(ID_CHOOSER_NAME).substr(0, ChosenNameMaximum);
    if (name.empty()) {
        ShowMessage({"No name chosen."});
        return 0;
    }
    if (m_check) {
        const int position = m_check(name);
        if (position > 0) {
            if (static_cast<std::size_t>(position) == name.size())
                ShowMessage({"The file name of a model exists of", "up to 7 characters for the name",
                             "followed by 1 character for the", "version number [1..9]."});
            else
                ShowMessage({"Syntax error in chosen name", "at character number " + std::to_string(position) + "."});
            return 0;
        }
    }
    m_lastChosen = name;
    m_chosen = true;
    if (m_callback)
        m_callback(directory(selectedCategory(controls)), name);
    RestoreMessageOwner();
    return 1;
}

void NameChooser::closed(platform::WindowHandle window)
{
    m_listing.clear();
    m_shown.clear();
    if (window != 0 && CurrentMessageOwner() == window)
        RestoreMessageOwner();
}

NameChooser& ProgramNameChooser()
{
    static NameChooser chooser;
    return chooser;
}

int ModelDisplayName(std::string& out, std::string_view fileName, std::size_t maximum)
{
    ModelNameFromFileName(out, fileName, maximum, 0);
    return out.empty() ? 0 : 1;
}

std::string PrepareExperimentDirectory(const std::string& modelName)
{
    const std::string directory = platform::joinPath(Startup().ExperimentDirectory, modelName);
    if (!platform::isDirectory(directory) && platform::makeDirectory(directory) != 0)
        ShowMessage({"Error: could not create " + directory});
    return directory;
}

std::string ExperimentChooserCaption(const std::string& captionWord, const std::string& modelName)
{
    char caption[64];
    std::snprintf(caption, sizeof caption, "%.20s: %.13s", captionWord.c_str(), modelName.c_str());
    return caption;
}
