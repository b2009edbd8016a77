// The property pages' windows.
#include "common/property_dialogs.h"

#include "common/dialog_fonts.h"
#include "common/message_boxes.h"
#include "common/path_finder_dialog.h"

#include <array>

namespace {

using namespace platform;

std::array<DialogInstance<PropertyPageDialog>, PropertySectionCount> g_pages;
std::array<QPointer<QWidget>, PropertySectionCount> g_parents;

/// The hidden OK (accept), Save and Cancel every page but the general one has.
void addPageButtons(std::vector<ControlDescription>& controls, const char* saveLabel, int width, int top)
{
    const int left = width - 112;
    controls.push_back(pushButton(ID_PAGE_SAVE, saveLabel, {left, top, 50, 14}).defaultButton());
    controls.push_back(pushButton(ID_PAGE_REVERT, "&Cancel", {left + 56, top, 50, 14}));
    controls.push_back(pushButton(ID_PAGE_ACCEPT, "OK", {left, top, 50, 14}).hidden());
}

DialogDescription generalPage()
{
    DialogDescription d{"DLG_GENERALPROPS", "TQNPropDialog", "General Properties", 204, 66, {
        staticText(-1, "Model directories :", {8, 10, 76, 8}),
        staticText(ID_GENERAL_MARKER, "", {86, 10, 8, 8}),
        pushButton(ID_GENERAL_EDIT, "&Edit", {100, 7, 46, 14}),
        pushButton(ID_GENERAL_CREATE, "C&reate", {150, 7, 46, 14}).disabled(),
        edit(ID_GENERAL_DIRECTORIES, {8, 24, 20, 12}).hidden(),
        edit(ID_GENERAL_ALIASES, {30, 24, 20, 12}).hidden(),
        staticText(ID_PAGE_STATUS, "", {8, 28, 188, 8}),
        pushButton(ID_PAGE_ACCEPT, "&OK", {8, 44, 46, 14}).defaultButton(),
        pushButton(ID_PAGE_SAVE, "&Set Default", {58, 44, 60, 14}),
        pushButton(ID_PAGE_REVERT, "&Cancel", {122, 44, 46, 14}),
        pushButton(ID_GENERAL_CLOSE, "Close", {172, 44, 24, 14}).hidden().cancelButton(),
    }};
    return d;
}

DialogDescription graphEditorPage()
{
    DialogDescription d{"DLG_BGEPROPS", "TQNBGEPropDialog", "GE: Properties", 176, 114, {
        staticText(-1, "Multibond/signal Size :", {8, 9, 92, 8}),
        edit(620, {102, 7, 66, 12}),
        groupBox(-1, "Grid/Snap Size", {6, 24, 76, 58}),
        // The labels are the sizes the setting stands for.
        radioButton(621, "20", {14, 36, 60, 10}).group(),
        radioButton(622, "40", {14, 47, 60, 10}),
        radioButton(623, "80", {14, 58, 60, 10}),
        radioButton(624, "160", {14, 69, 60, 10}),
        checkBox(625, "Show Grid", {92, 34, 76, 10}),
        checkBox(626, "Snap To Grid", {92, 48, 76, 10}),
        checkBox(627, "Show Names", {92, 62, 76, 10}),
        staticText(ID_PAGE_STATUS, "", {8, 86, 160, 8}),
    }};
    addPageButtons(d.controls, "&Ok", d.width, 96);
    return d;
}

DialogDescription equationEditorPage()
{
    DialogDescription d{"DLG_EEPROP", "TQNEEPropDialog", "EE: Tool Properties", 176, 62, {
        checkBox(670, "Keep Previous Error Messages", {8, 10, 160, 10}),
        staticText(ID_PAGE_STATUS, "", {8, 28, 160, 8}),
    }};
    addPageButtons(d.controls, "&Ok", d.width, 42);
    return d;
}

DialogDescription modelProcessorPage()
{
    DialogDescription d{"DLG_MPPROP", "TQNMPPropDialog", "MP: Properties", 184, 94, {
        groupBox(-1, "Messages", {6, 4, 100, 50}),
        radioButton(567, "Minimal", {14, 16, 88, 10}).group(),
        radioButton(573, "Errors Only", {14, 28, 88, 10}),
        radioButton(574, "Errors && Progress", {14, 40, 88, 10}),
        checkBox(579, "Use Temp Files", {112, 16, 68, 10}),
        staticText(ID_PAGE_STATUS, "", {8, 60, 168, 8}),
    }};
    addPageButtons(d.controls, "&Ok", d.width, 74);
    return d;
}

DialogDescription simulatorPage()
{
    DialogDescription d{"DLG_SIMPROP", "TQNSIMPropDialog", "SIM: Properties", 204, 136, {
        groupBox(-1, "Mode", {6, 4, 94, 40}),
        radioButton(569, "X / Y &Plot", {14, 16, 82, 10}).group(),
        radioButton(570, "&Visualization", {14, 28, 82, 10}).disabled(),
        groupBox(-1, "Plot", {106, 4, 92, 52}),
        checkBox(567, "Show &Grid", {114, 16, 80, 10}),
        checkBox(582, "Use &Colors", {114, 28, 80, 10}),
        checkBox(575, "Use &Dashing", {114, 40, 80, 10}),
        groupBox(-1, "Line Thickness :", {6, 48, 94, 26}),
        radioButton(568, "1", {14, 60, 18, 10}).group(),
        radioButton(571, "2", {34, 60, 18, 10}),
        radioButton(573, "3", {54, 60, 18, 10}),
        radioButton(574, "4", {74, 60, 18, 10}),
        groupBox(-1, "Simulation Code :", {106, 60, 92, 26}),
        checkBox(576, "Use &Fast Code", {114, 72, 80, 10}),
        groupBox(-1, "Printer :", {6, 78, 94, 26}),
        checkBox(ID_SIMULATOR_PRINTER_CHECK, "Check C&apabilities", {14, 90, 82, 10}),
        staticText(ID_PAGE_STATUS, "", {8, 108, 188, 8}),
    }};
    addPageButtons(d.controls, "&OK", d.width, 118);
    return d;
}

PropertyPageDialog* makePage(int section, QWidget* parent)
{
    switch (section) {
    case GeneralSection:
        return new TQNPropDialog(parent);
    case GraphEditorSection:
        return new TQNBGEPropDialog(parent);
    case EquationEditorSection:
        return new TQNEEPropDialog(parent);
    case ModelProcessorSection:
        return new TQNMPPropDialog(parent);
    default:
        return new TQNSIMPropDialog(parent);
    }
}

int createPage(int section, QWidget* parent)
{
    DialogInstance<PropertyPageDialog>& instance = g_pages[static_cast<std::size_t>(section)];
    if (PropertyPageDialog* page = instance.get()) {
        if (page->isVisible()) {
            page->raise();
            page->activateWindow();
        }
        return 1;
    }
    g_parents[static_cast<std::size_t>(section)] = parent;
    PropertyPageDialog* page = &instance.create([&] { return makePage(section, parent); });
    if (!ReportWindowFailure(page) || !CheckWindowHandle(page->handle(), page))
        return 0;
    if (section == SimulatorSection)
        page->setChecked(ID_SIMULATOR_PRINTER_CHECK, PrinterCheckFlag() == 0);
    return 1;
}

/// Makes the page under its kept parent if needed, fills and shows it.
void showPage(int section)
{
    if (!createPage(section, g_parents[static_cast<std::size_t>(section)]))
        return;
    PropertyPageDialog* page = PropertyPageWindow(section);
    FillPropertyPage(section);
    if (section == SimulatorSection)
        page->setChecked(ID_SIMULATOR_PRINTER_CHECK, PrinterCheckFlag() == 0);
    page->showModeless();
}

/// The path finder's result: the lists go to the general page (made again
/// should it have been closed meanwhile).
int applyToGeneralPage(const std::string& directories, const std::string& aliases, int save)
{
    if (!PropertyPage(GeneralSection)) {
        if (!createPage(GeneralSection, g_parents[GeneralSection]))
            return 0;
        FillPropertyPage(GeneralSection);
    }
    return ApplyDirectoryLists(directories, aliases, save);
}

} // namespace

const DialogDescription& PropertyPageDescription(int section)
{
    static const std::array<DialogDescription, PropertySectionCount> descriptions{
        generalPage(), graphEditorPage(), equationEditorPage(), modelProcessorPage(), simulatorPage()};
    return descriptions[static_cast<std::size_t>(section >= 0 && section < PropertySectionCount ? section : 0)];
}

PropertyPageDialog::PropertyPageDialog(int section, QWidget* parent)
    : ModuleDialog(PropertyPageDescription(section), parent), m_section(section)
{
    setControlFont(ID_PAGE_STATUS, *GetDialogFont());
    for (const PageBinding& binding : PageBindings(section))
        for (int id : binding.controls)
            setControlFont(id, *GetDialogFont());
    DialogSetupHook(this);
    AttachPropertyPage(section, this);
}

PropertyPageDialog::~PropertyPageDialog()
{
    if (PropertyPage(m_section) == this)
        AttachPropertyPage(m_section, nullptr);
}

void PropertyPageDialog::done(int result)
{
    // A closed page is forgotten at once; the next Show makes and fills a new one.
    if (PropertyPage(m_section) == this)
        AttachPropertyPage(m_section, nullptr);
    ModuleDialog::done(result);
}

void PropertyPageDialog::revert()
{
    switch (m_section) {
    case GeneralSection:
        ShowPathFinder(DirectoryListChanged());
        break;
    case GraphEditorSection:
        ShowGraphEditorProperties(GraphEditorApply());
        break;
    case EquationEditorSection:
        ShowEquationEditorProperties();
        break;
    case ModelProcessorSection:
        ShowModelProcessorProperties();
        break;
    default:
        ShowSimulatorProperties(SimulatorApply());
        break;
    }
    endDialog(IDCANCEL);
}

void PropertyPageDialog::notify(int id, int code)
{
    if (code != BN_CLICKED)
        return;
    switch (id) {
    case ID_PAGE_ACCEPT:
        if (AcceptPropertyPage(m_section))
            endDialog(IDOK);
        return;
    case ID_PAGE_SAVE:
        if (SavePropertyPage(m_section)) {
            endDialog(IDOK);
            BroadcastSettingsChanged();
        }
        return;
    case ID_PAGE_REVERT:
        return revert();
    default:
        break;
    }
    if (m_section == GeneralSection) {
        switch (id) {
        case ID_GENERAL_CREATE:
            return CreateDirectoriesOfPage();
        case ID_GENERAL_EDIT:
            return ShowPathFinderFromPage();
        case ID_GENERAL_CLOSE:
            return endDialog(IDCANCEL);
        default:
            break;
        }
    }
    ModuleDialog::notify(id, code);
}

void SetPropertiesParent(QWidget* parent)
{
    for (QPointer<QWidget>& kept : g_parents)
        kept = parent;
}

int CreateGeneralPropertiesPage(QWidget* parent)
{
    return createPage(GeneralSection, parent);
}

int CreateGraphEditorPropertiesPage(QWidget* parent)
{
    return createPage(GraphEditorSection, parent);
}

int CreateEquationEditorPropertiesPage(QWidget* parent)
{
    return createPage(EquationEditorSection, parent);
}

int CreateModelProcessorPropertiesPage(QWidget* parent)
{
    return createPage(ModelProcessorSection, parent);
}

int CreateSimulatorPropertiesPage(QWidget* parent)
{
    return createPage(SimulatorSection, parent);
}

int CreateAllPropertyPages(QWidget* parent)
{
    for (int section = 0; section < PropertySectionCount; ++section)
        if (!createPage(section, parent))
            return 0;
    return 1;
}

void ShowGraphEditorProperties(GraphEditorApplyCallback callback)
{
    SetGraphEditorApplyCallback(std::move(callback));
    showPage(GraphEditorSection);
}

void ShowEquationEditorProperties()
{
    showPage(EquationEditorSection);
}

void ShowModelProcessorProperties()
{
    showPage(ModelProcessorSection);
}

void ShowSimulatorProperties(SimulatorApplyCallback callback)
{
    SetSimulatorApplyCallback(std::move(callback));
    showPage(SimulatorSection);
}

void ShowPathFinder(DirectoryListCallback callback)
{
    SetDirectoryListCallback(std::move(callback));
    if (!createPage(GeneralSection, g_parents[GeneralSection]))
        return;
    FillPropertyPage(GeneralSection);
    PropertyPageDialog* page = PropertyPageWindow(GeneralSection);
    OpenPathFinder(g_parents[GeneralSection], applyToGeneralPage, page->text(ID_GENERAL_DIRECTORIES),
                   page->text(ID_GENERAL_ALIASES));
}

void ShowPathFinderFromPage()
{
    PropertyPageDialog* page = PropertyPageWindow(GeneralSection);
    if (!page)
        return;
    OpenPathFinder(page, applyToGeneralPage, page->text(ID_GENERAL_DIRECTORIES), page->text(ID_GENERAL_ALIASES));
}

PropertyPageDialog* PropertyPageWindow(int section)
{
    if (section < 0 || section >= PropertySectionCount)
        return nullptr;
    return g_pages[static_cast<std::size_t>(section)].get();
}
