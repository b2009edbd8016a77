// The path finder's window.
#include "common/path_finder_dialog.h"

#include "common/dialog_fonts.h"
#include "common/message_boxes.h"
#include "common/property_pages.h"

namespace {

using namespace platform;

DialogInstance<TQNPathFinderDialog> g_pathFinder;

} // namespace

const DialogDescription& PathFinderDescription()
{
    static const DialogDescription d{"DLG_DIRSRCH", "TQNPathFinderDialog", "ORVANTA Libraries", 264, 150, {
        staticText(-1, "Categories :", {8, 6, 100, 8}),
        listBox(ID_FINDER_LIST, {8, 16, 110, 76}),
        pushButton(ID_FINDER_ADD, "&Add", {126, 16, 50, 14}),
        pushButton(ID_FINDER_DELETE, "&Delete", {126, 34, 50, 14}),
        pushButton(ID_FINDER_UP, "&Up", {126, 52, 50, 14}),
        pushButton(ID_FINDER_DOWN, "D&own", {126, 70, 50, 14}),
        pushButton(ID_FINDER_SAVE, "&Ok", {206, 16, 50, 14}).defaultButton(),
        pushButton(ID_FINDER_ACCEPT, "Ok", {206, 34, 50, 14}).hidden(),
        pushButton(ID_FINDER_CANCEL, "&Cancel", {206, 34, 50, 14}).cancelButton(),
        staticText(-1, "Category Name :", {8, 100, 60, 8}),
        edit(ID_FINDER_NAME, {70, 98, 130, 12}),
        staticText(-1, "Path :", {8, 116, 60, 8}),
        edit(ID_FINDER_PATH, {70, 114, 130, 12}),
        pushButton(ID_FINDER_BROWSE, "&Browse", {206, 113, 50, 14}),
        staticText(ID_FINDER_DESCRIPTION, "", {8, 134, 248, 8}),
    }};
    return d;
}

TQNPathFinderDialog::TQNPathFinderDialog(QWidget* parent) : ModuleDialog(PathFinderDescription(), parent)
{
    for (int id : {ID_FINDER_LIST, ID_FINDER_NAME, ID_FINDER_PATH, ID_FINDER_DESCRIPTION})
        setControlFont(id, *GetDialogFont());
    DialogSetupHook(this);
}

TQNPathFinderDialog::~TQNPathFinderDialog() = default;

void TQNPathFinderDialog::start(DirectoryListsResult result, const std::string& directories,
                                const std::string& aliases)
{
    m_finder = std::make_unique<PathFinder>(*this, std::move(result), directories, aliases);
}

void TQNPathFinderDialog::done(int result)
{
    // Closing ends the controller at once: nothing is applied after this.
    m_finder.reset();
    ModuleDialog::done(result);
}

void TQNPathFinderDialog::notify(int id, int code)
{
    if (!m_finder)
        return ModuleDialog::notify(id, code);
    if (id == ID_FINDER_LIST) {
        if (code == LBN_SELCHANGE)
            m_finder->selectionChanged();
        return;
    }
    if (id == ID_FINDER_NAME || id == ID_FINDER_PATH || code != BN_CLICKED)
        return;
    switch (id) {
    case ID_FINDER_ADD:
        return m_finder->add();
    case ID_FINDER_DELETE:
        return m_finder->remove();
    case ID_FINDER_UP:
        return m_finder->up();
    case ID_FINDER_DOWN:
        return m_finder->down();
    case ID_FINDER_BROWSE:
        return m_finder->browse();
    case ID_FINDER_SAVE:
        // The programs are told only once the lists were written.
        if (m_finder->ok(1)) {
            hide();
            BroadcastSettingsChanged();
            endDialog(IDOK);
        }
        return;
    case ID_FINDER_ACCEPT:
        if (m_finder->ok(0))
            endDialog(IDOK);
        return;
    default:
        ModuleDialog::notify(id, code);
    }
}

int OpenPathFinder(QWidget* parent, DirectoryListsResult result, const std::string& directories,
                   const std::string& aliases)
{
    DestroyPathFinderWindow();
    TQNPathFinderDialog* window = &g_pathFinder.create([&] { return new TQNPathFinderDialog(parent); });
    if (!CheckWindowHandle(window->handle(), window))
        return 0;
    window->start(std::move(result), directories, aliases);
    window->showModeless();
    window->finder()->activate();
    return 1;
}

void ShowPathFinderWindow(bool show)
{
    TQNPathFinderDialog* window = g_pathFinder.get();
    if (!window || !window->finder())
        return;
    window->finder()->updateButtons();
    if (show)
        window->showModeless();
    else
        window->hide();
}

void DestroyPathFinderWindow()
{
    g_pathFinder.close();
}

TQNPathFinderDialog* PathFinderWindow()
{
    return g_pathFinder.get();
}
