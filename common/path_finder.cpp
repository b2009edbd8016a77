// The path finder's entries and the work of its buttons.
#include "common/path_finder.h"

#include "common/message_boxes.h"
#include "common/settings_table.h"
#include "common/text_helpers.h"
#include "platform/core/choosers.h"
#include "platform/core/file_system.h"

#include <algorithm>

namespace {

const char* const NewEntryName = "New Directory";

} // namespace

std::vector<DirectoryEntry> FillDirectoryList(const std::string& directories, const std::string& aliases)
{
    const std::vector<std::string> paths = SplitPathList(directories);
    const std::vector<std::string> names = SplitPathList(aliases);
    std::vector<DirectoryEntry> entries(std::max(paths.size(), names.size()));
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (i < names.size())
            entries[i].name = names[i];
        if (i < paths.size())
            entries[i].path = paths[i];
    }
    return entries;
}

std::pair<std::string, std::string> JoinDirectoryList(const std::vector<DirectoryEntry>& entries)
{
    std::pair<std::string, std::string> lists;
    bool first = true;
    for (const DirectoryEntry& entry : entries) {
        // An entry without a directory names nothing to read models from.
        if (entry.path.empty())
            continue;
        if (!first) {
            lists.first += ';';
            lists.second += ';';
        }
        lists.first += entry.path;
        lists.second += entry.name;
        first = false;
    }
    return lists;
}

void AskCreateDirectory(const std::string& path)
{
    if (path.empty() || platform::fileExists(path))
        return;
    if (!ShowConfirm("Create", "Cancel",
                     {"The given directory", path, "does not exist, do you wish to create it?"}))
        return;
    if (!platform::makeDirectories(path))
        ShowMessage({"Unable to create given directory", "The file system may not be writable"});
}

PathFinder::PathFinder(ControlAccess& controls, DirectoryListsResult result, const std::string& directories,
                       const std::string& aliases)
    : m_controls(controls), m_result(std::move(result)), m_entries(FillDirectoryList(directories, aliases))
{
    m_controls.clearItems(ID_FINDER_LIST);
    for (const DirectoryEntry& entry : m_entries)
        m_controls.addItem(ID_FINDER_LIST, entry.name);
    m_controls.selectIndex(ID_FINDER_LIST, 0);
    m_current = 0;
}

PathFinder::~PathFinder()
{
    // A path finder opened since then keeps the boxes it owns.
    if (m_owner != 0 && CurrentMessageOwner() == m_owner)
        RestoreMessageOwner();
}

void PathFinder::activate()
{
    updateButtons();
    m_owner = m_controls.handle();
    SetTempMessageOwner(m_owner);
}

void PathFinder::updateButtons()
{
    const int count = m_controls.itemCount(ID_FINDER_LIST);
    const int selected = m_controls.selectedIndex(ID_FINDER_LIST);
    if (selected < 0 || selected >= static_cast<int>(m_entries.size())) {
        for (int id : {ID_FINDER_DELETE, ID_FINDER_UP, ID_FINDER_DOWN, ID_FINDER_NAME, ID_FINDER_PATH})
            m_controls.enableControl(id, false);
        for (int id : {ID_FINDER_NAME, ID_FINDER_PATH, ID_FINDER_DESCRIPTION})
            m_controls.setText(id, "");
        m_current = -1;
        return;
    }
    const DirectoryEntry& entry = m_entries[static_cast<std::size_t>(selected)];
    m_controls.setText(ID_FINDER_NAME, entry.name);
    m_controls.setText(ID_FINDER_PATH, entry.path);
    for (int id : {ID_FINDER_DELETE, ID_FINDER_NAME, ID_FINDER_PATH})
        m_controls.enableControl(id, true);
    m_controls.enableControl(ID_FINDER_UP, selected != 0);
    m_controls.enableControl(ID_FINDER_DOWN, selected != count - 1);
    m_controls.setText(ID_FINDER_DESCRIPTION, selected == 0
                                                  ? "working directory: reading/writing models and results"
                                                  : "directory to read extra (sub)models from");
}

void PathFinder::storeEdits(int index)
{
    if (index < 0 || index >= static_cast<int>(m_entries.size()))
        return;
    DirectoryEntry& entry = m_entries[static_cast<std::size_t>(index)];
    entry.path = m_controls.text(ID_FINDER_PATH);
    AskCreateDirectory(entry.path);
    entry.name = m_controls.text(ID_FINDER_NAME);
    m_controls.setItemText(ID_FINDER_LIST, index, entry.name);
}

void PathFinder::keepCurrentEdits()
{
    if (m_current >= 0 && !m_controls.text(ID_FINDER_PATH).empty())
        storeEdits(m_current);
}

void PathFinder::selectionChanged()
{
    const int selected = m_controls.selectedIndex(ID_FINDER_LIST);
    if (selected == m_current)
        return;
    keepCurrentEdits();
    updateButtons();
    m_current = selected;
}

void PathFinder::add()
{
    // What was typed for the entry shown goes into it before another is shown.
    keepCurrentEdits();
    int position = m_controls.selectedIndex(ID_FINDER_LIST);
    if (position < 0 || position > static_cast<int>(m_entries.size()))
        position = static_cast<int>(m_entries.size());
    m_controls.insertItem(ID_FINDER_LIST, position, NewEntryName);
    m_controls.selectIndex(ID_FINDER_LIST, position);
    m_entries.insert(m_entries.begin() + position, DirectoryEntry{NewEntryName, ""});
    m_current = position;
    updateButtons();
}

void PathFinder::remove()
{
    const int selected = m_controls.selectedIndex(ID_FINDER_LIST);
    if (selected >= 0 && selected < static_cast<int>(m_entries.size())) {
        m_controls.removeItem(ID_FINDER_LIST, selected);
        m_entries.erase(m_entries.begin() + selected);
        if (!m_entries.empty()) {
            const int next = std::min(selected, static_cast<int>(m_entries.size()) - 1);
            m_controls.selectIndex(ID_FINDER_LIST, next);
            m_current = next;
        } else {
            m_controls.selectIndex(ID_FINDER_LIST, -1);
        }
    }
    updateButtons();
}

void PathFinder::up()
{
    const int selected = m_controls.selectedIndex(ID_FINDER_LIST);
    if (selected <= 0 || selected >= static_cast<int>(m_entries.size()))
        return;
    storeEdits(selected);
    const std::string name = m_entries[static_cast<std::size_t>(selected)].name;
    m_controls.removeItem(ID_FINDER_LIST, selected);
    m_controls.insertItem(ID_FINDER_LIST, selected - 1, name);
    m_controls.selectIndex(ID_FINDER_LIST, selected - 1);
    m_current = selected - 1;
    std::swap(m_entries[static_cast<std::size_t>(selected - 1)], m_entries[static_cast<std::size_t>(selected)]);
    updateButtons();
}

void PathFinder::down()
{
    const int selected = m_controls.selectedIndex(ID_FINDER_LIST);
    if (selected < 0 || selected + 1 >= static_cast<int>(m_entries.size()))
        return;
    storeEdits(selected);
    const std::string name = m_entries[static_cast<std::size_t>(selected)].name;
    m_controls.removeItem(ID_FINDER_LIST, selected);
    m_controls.insertItem(ID_FINDER_LIST, selected + 1, name);
    m_controls.selectIndex(ID_FINDER_LIST, selected + 1);
    m_current = selected + 1;
    std::swap(m_entries[static_cast<std::size_t>(selected)], m_entries[static_cast<std::size_t>(selected + 1)]);
    updateButtons();
}

void PathFinder::browse()
{
    std::string start = m_controls.text(ID_FINDER_PATH);
    if (start.empty())
        start = SplitPathList(Settings().model_dirs).front();
    platform::FolderChooserRequest request;
    request.title = "Model directory";
    request.start = start;
    request.owner = m_controls.handle();
    if (std::optional<std::string> folder = platform::chooserSink().chooseFolder(request))
        m_controls.setText(ID_FINDER_PATH, *folder);
}

int PathFinder::ok(int save)
{
    const int selected = m_controls.selectedIndex(ID_FINDER_LIST);
    if (selected >= 0)
        storeEdits(selected);
    const auto [directories, aliases] = JoinDirectoryList(m_entries);
    return m_result ? m_result(directories, aliases, save) : 1;
}
