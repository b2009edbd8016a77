// The property pages' binding of controls to settings, and accepting and
// saving their values.
#include "common/property_pages.h"

#include "common/message_boxes.h"
#include "common/startup.h"
#include "common/text_helpers.h"
#include "platform/core/file_system.h"
#include "platform/core/message_numbers.h"
#include "platform/core/window_messages.h"

#include <array>
#include <cstdlib>
#include <unistd.h>

namespace {

const char* const MissingMarker = "<";

std::array<ControlAccess*, PropertySectionCount> g_pages{};

GraphEditorApplyCallback g_graphEditorApply;
SimulatorApplyCallback g_simulatorApply;
DirectoryListCallback g_directoryListChanged;
int g_printerCheck = 0;

bool validSection(int section)
{
    return section >= 0 && section < PropertySectionCount;
}

std::vector<SettingsKey>* sectionRows(int section)
{
    std::vector<SettingsSection>& table = SettingsTable();
    if (!validSection(section) || static_cast<std::size_t>(section) >= table.size())
        return nullptr;
    return &table[static_cast<std::size_t>(section)].keys;
}

const PageBinding* findBinding(int section, const char* key)
{
    if (!key)
        return nullptr;
    for (const PageBinding& binding : PageBindings(section))
        if (std::string_view(binding.key) == key)
            return &binding;
    return nullptr;
}

/// The page and binding of the row wherever it is bound; false when its page does not exist.
bool rowPlace(const SettingsKey& row, ControlAccess*& page, const PageBinding*& binding)
{
    for (int section = 0; section < PropertySectionCount; ++section) {
        if (const PageBinding* found = findBinding(section, row.key)) {
            page = PropertyPage(section);
            binding = found;
            return page != nullptr;
        }
    }
    return false;
}

void setMarker(const SettingsKey& row, const char* text)
{
    ControlAccess* page = nullptr;
    const PageBinding* binding = nullptr;
    if (rowPlace(row, page, binding) && binding->marker != 0)
        page->setText(binding->marker, text);
}

/// Calls `visit(row, binding, first control)` for each row of the section its page binds.
template <class Visit>
void forEachBoundRow(int section, std::vector<SettingsKey>& rows, Visit visit)
{
    for (SettingsKey& row : rows) {
        const PageBinding* binding = findBinding(section, row.key);
        if (binding && !binding->controls.empty())
            visit(row, *binding, binding->controls.front());
    }
}

std::string* textValue(SettingsKey& row)
{
    auto* text = std::get_if<std::string*>(&row.value);
    return text ? *text : nullptr;
}

std::int32_t* numberValue(SettingsKey& row)
{
    auto* number = std::get_if<std::int32_t*>(&row.value);
    return number ? *number : nullptr;
}

/// A directory one can read and enter.
bool isUsableDirectory(const std::string& path)
{
    return platform::isDirectory(path) && ::access(path.c_str(), R_OK | X_OK) == 0;
}

/// Makes every missing level of the path; false at the first level that is
/// something other than a usable directory or cannot be made.
bool createPathLevels(const std::string& path)
{
    if (path.empty())
        return false;
    for (std::size_t end = 1; end <= path.size(); ++end) {
        if (end < path.size() && path[end] != '/')
            continue;
        const std::string level = path.substr(0, end);
        if (level.back() == '/')
            continue;
        if (platform::fileExists(level)) {
            if (!isUsableDirectory(level))
                return false;
        } else if (platform::makeDirectory(level) != 0) {
            return false;
        }
    }
    return true;
}

/// Makes the page of the section the owner of boxes while it lives.
class PageOwner {
public:
    explicit PageOwner(int section)
    {
        if (ControlAccess* page = PropertyPage(section))
            SetTempMessageOwner(page->handle());
    }
    ~PageOwner() { RestoreMessageOwner(); }
    PageOwner(const PageOwner&) = delete;
    PageOwner& operator=(const PageOwner&) = delete;
};

} // namespace

const std::vector<PageBinding>& PageBindings(int section)
{
    static const std::array<std::vector<PageBinding>, PropertySectionCount> bindings{{
        {{"model_dirs", {ID_GENERAL_DIRECTORIES}, ID_GENERAL_MARKER}, {"alias_names", {ID_GENERAL_ALIASES}}},
        {{"def_bond_size", {620}},
         {"grid_snap_size", {621, 622, 623, 624}},
         {"grid", {625}},
         {"snap", {626}},
         {"showname", {627}}},
        {{"ee_messages", {670}}},
        {{"messages", {567, 573, 574}}, {"tempfiles", {579}}},
        {{"mode", {569, 570}},
         {"sim_grid", {567}},
         {"colors", {582}},
         {"dashing", {575}},
         {"linewidth", {568, 571, 573, 574}},
         {"warp", {576}}},
    }};
    static const std::vector<PageBinding> none;
    return validSection(section) ? bindings[static_cast<std::size_t>(section)] : none;
}

void AttachPropertyPage(int section, ControlAccess* controls)
{
    if (validSection(section))
        g_pages[static_cast<std::size_t>(section)] = controls;
}

ControlAccess* PropertyPage(int section)
{
    return validSection(section) ? g_pages[static_cast<std::size_t>(section)] : nullptr;
}

void FillPropertyPage(int section)
{
    ControlAccess* page = PropertyPage(section);
    std::vector<SettingsKey>* rows = sectionRows(section);
    if (!page || !rows)
        return;
    SetPageStatus(section);
    int missing = 0;
    forEachBoundRow(section, *rows, [&](SettingsKey& row, const PageBinding& binding, int control) {
        switch (row.type) {
        case DirectoryList:
            if (std::string* value = textValue(row)) {
                missing += CheckDirectoryList(row, *value);
                if (page->isControlEnabled(control))
                    page->setText(control, *value);
            }
            break;
        case Integer:
            if (std::int32_t* value = numberValue(row))
                page->setText(control, std::to_string(*value));
            break;
        case OffOn:
            if (std::int32_t* value = numberValue(row))
                page->setChecked(control, *value != 0);
            break;
        case Choice:
            if (std::int32_t* value = numberValue(row))
                for (std::size_t i = 0; i < binding.controls.size(); ++i)
                    page->setChecked(binding.controls[i], static_cast<std::int32_t>(i) == *value);
            break;
        case Text:
            if (std::string* value = textValue(row); value && page->isControlEnabled(control))
                page->setText(control, *value);
            break;
        default:
            break;
        }
    });
    if (section == GeneralSection)
        SetDirectoryStatus(missing);
    if (!rows->empty()) {
        const SettingsKey& first = rows->front();
        const PageBinding* binding = findBinding(section, first.key);
        if (binding && !binding->controls.empty() && (first.type == DirectoryList || first.type == Text) &&
            page->isControlEnabled(binding->controls.front()))
            page->selectAllText(binding->controls.front());
    }
}

int AcceptProperties(int section)
{
    ControlAccess* page = PropertyPage(section);
    std::vector<SettingsKey>* rows = sectionRows(section);
    if (!page || !rows)
        return 0;
    int errors = 0;
    int missing = 0;
    bool emptyDirectoryList = false;
    forEachBoundRow(section, *rows, [&](SettingsKey& row, const PageBinding& binding, int control) {
        switch (row.type) {
        case DirectoryList:
        case Text: {
            const std::string text = page->text(control);
            if (row.type == DirectoryList) {
                // No directory at all would leave the programs without a working directory.
                if (text.empty()) {
                    emptyDirectoryList = true;
                    ++errors;
                    break;
                }
                const int found = CheckDirectoryList(row, text);
                missing += found;
                errors += found;
            }
            std::string* value = textValue(row);
            if (value && *value != text)
                *value = text;
            break;
        }
        case Integer:
            if (std::int32_t* value = numberValue(row))
                *value = static_cast<std::int32_t>(std::strtol(page->text(control).c_str(), nullptr, 10));
            break;
        case OffOn:
            if (std::int32_t* value = numberValue(row))
                *value = page->isChecked(control) ? 1 : 0;
            break;
        case Choice:
            if (std::int32_t* value = numberValue(row)) {
                for (std::size_t i = 0; i < binding.controls.size(); ++i)
                    if (page->isChecked(binding.controls[i]))
                        *value = static_cast<std::int32_t>(i);
            }
            break;
        default:
            break;
        }
    });
    if (section == GraphEditorSection && g_graphEditorApply && g_graphEditorApply() == 0) {
        SetPageStatus(section, "Error in Multibond/signal Size expression");
        ++errors;
    }
    if (section == SimulatorSection && g_simulatorApply)
        g_simulatorApply();
    if (section == GeneralSection) {
        const std::vector<std::string> directories = SplitPathList(Settings().model_dirs);
        if (!emptyDirectoryList && !directories.empty() && !directories.front().empty()) {
            StartupValues& startup = Startup();
            startup.WorkingDirectory = directories.front();
            startup.ExperimentDirectory = directories.front();
            startup.ResultDirectory = directories.front();
            startup.ProcessedDirectory = directories.front();
        }
        SetDirectoryStatus(missing);
        if (emptyDirectoryList)
            SetPageStatus(section, "The list of model directories is empty.");
        if (errors == 0 && g_directoryListChanged)
            g_directoryListChanged();
    }
    return errors;
}

std::string SettingsFileToWrite()
{
    const StartupValues& startup = Startup();
    if (!startup.SettingsFileRead.empty())
        return startup.SettingsFileRead;
    const std::string& name = startup.SettingsFileName;
    if (!name.empty() && name.front() == '/')
        return name;
    return platform::joinPath(platform::settingsDirectory(), name);
}

int SaveProperties(int section)
{
    if (AcceptProperties(section) != 0 &&
        !ShowConfirm("Cancel", "Save anyway",
                     {"There are errors in the properties", "You can either Cancel this action",
                      "and enter the correct properties,", "or save the incorrect properties", "by pressing OK."}))
        return 0;
    const std::string path = SettingsFileToWrite();
    if (Startup().SettingsFileRead.empty())
        platform::makeDirectories(platform::settingsDirectory());
    if (!WriteSettings(path)) {
        ShowMessage({"Can not open rcfile for writing:", path});
        return 0;
    }
    SetPageStatus(section, "Properties saved.");
    return 1;
}

int CheckDirectoryList(const SettingsKey& row, const std::string& list)
{
    if (row.type != DirectoryList || list.empty())
        return 0;
    for (const std::string& entry : SplitPathList(list)) {
        if (!platform::isDirectory(entry)) {
            setMarker(row, MissingMarker);
            return 1;
        }
    }
    setMarker(row, "");
    return 0;
}

void SetDirectoryStatus(int count)
{
    ControlAccess* page = PropertyPage(GeneralSection);
    if (!page)
        return;
    page->setText(ID_PAGE_STATUS, count == 0 ? "" : "The directories marked with '<' do not exist.");
    page->enableControl(ID_GENERAL_CREATE, count != 0);
}

int CreateMarkedDirectories()
{
    ControlAccess* page = PropertyPage(GeneralSection);
    std::vector<SettingsKey>* rows = sectionRows(GeneralSection);
    if (!page || !rows)
        return 0;
    int errors = 0;
    forEachBoundRow(GeneralSection, *rows, [&](SettingsKey& row, const PageBinding& binding, int control) {
        if (row.type != DirectoryList || binding.marker == 0 || page->text(binding.marker) != MissingMarker)
            return;
        bool made = true;
        for (const std::string& entry : SplitPathList(page->text(control))) {
            if (!createPathLevels(entry)) {
                made = false;
                break;
            }
        }
        if (made)
            page->setText(binding.marker, "");
        else
            ++errors;
    });
    if (errors == 0) {
        SetPageStatus(GeneralSection);
        page->enableControl(ID_GENERAL_CREATE, false);
        return 1;
    }
    SetPageStatus(GeneralSection, "Unable to create the '<' marked directories.");
    return 0;
}

int EnsureWorkDirectories()
{
    const StartupValues& startup = Startup();
    for (const std::string* directory : {&startup.WorkingDirectory, &startup.ExperimentDirectory,
                                         &startup.ResultDirectory, &startup.ProcessedDirectory}) {
        if (directory->empty())
            return 0;
        if (platform::fileExists(*directory)) {
            if (!isUsableDirectory(*directory))
                return 0;
        } else if (!platform::makeDirectories(*directory)) {
            return 0;
        }
    }
    return 1;
}

void SetPageStatus(int section, const std::string& text)
{
    if (ControlAccess* page = PropertyPage(section))
        page->setText(ID_PAGE_STATUS, text);
}

void SetGraphEditorApplyCallback(GraphEditorApplyCallback callback)
{
    g_graphEditorApply = std::move(callback);
}

void SetSimulatorApplyCallback(SimulatorApplyCallback callback)
{
    g_simulatorApply = std::move(callback);
}

void SetDirectoryListCallback(DirectoryListCallback callback)
{
    g_directoryListChanged = std::move(callback);
}

const GraphEditorApplyCallback& GraphEditorApply()
{
    return g_graphEditorApply;
}

const SimulatorApplyCallback& SimulatorApply()
{
    return g_simulatorApply;
}

const DirectoryListCallback& DirectoryListChanged()
{
    return g_directoryListChanged;
}

int& PrinterCheckFlag()
{
    return g_printerCheck;
}

int AcceptPropertyPage(int section)
{
    PageOwner owner(section);
    const int errors = AcceptProperties(section);
    if (section == ModelProcessorSection)
        Startup().ProcessingDepth = Startup().ProcessingBase + 3;
    return errors == 0 ? 1 : 0;
}

int SavePropertyPage(int section)
{
    PageOwner owner(section);
    const int saved = SaveProperties(section);
    if (section == SimulatorSection)
        if (ControlAccess* page = PropertyPage(section))
            PrinterCheckFlag() = page->isChecked(ID_SIMULATOR_PRINTER_CHECK) ? 0 : 1;
    if (section == ModelProcessorSection)
        Startup().ProcessingDepth = Startup().ProcessingBase + 3;
    return saved;
}

void CreateDirectoriesOfPage()
{
    PageOwner owner(GeneralSection);
    CreateMarkedDirectories();
}

void BroadcastSettingsChanged()
{
    platform::broadcastMessage(UM_SETTINGS_CHANGED, 0, 0);
}

int ApplyDirectoryLists(const std::string& directories, const std::string& aliases, int save)
{
    ControlAccess* page = PropertyPage(GeneralSection);
    if (!page)
        return 0;
    page->setText(ID_GENERAL_DIRECTORIES, directories);
    page->setText(ID_GENERAL_ALIASES, aliases);
    if (save == 1)
        return SaveProperties(GeneralSection);
    return AcceptProperties(GeneralSection) == 0 ? 1 : 0;
}
