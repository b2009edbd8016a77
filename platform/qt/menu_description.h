// Menus described in C++ with the suite's labels and command ids, built into
// Qt menus whose actions are named cmd_<id> and carry the id as their data.
#pragma once

#include <functional>
#include <string>
#include <vector>

class QMenu;
class QMenuBar;
class QWidget;

namespace platform {

/// One entry: a command (id > 0), a separator, or a sub-menu (items not empty).
/// A label marks its mnemonic with '&' and may give accelerator text after a tab.
struct MenuItem {
    std::string label;
    int id = 0;
    std::vector<MenuItem> items;
    bool grayed = false;

    static MenuItem command(std::string label, int id, bool grayed = false);
    static MenuItem separator();
    static MenuItem popup(std::string label, std::vector<MenuItem> items);
};

/// Called with the id of a chosen command.
using CommandHandler = std::function<void(int id)>;

/// Fills the menu bar (named `resourceName`) from the description; commands
/// that stand on the bar itself become actions of the bar.
void buildMenuBar(QMenuBar& bar, const std::string& resourceName, const std::vector<MenuItem>& items,
                  const CommandHandler& handler);

/// Appends the description's entries to a menu.
void fillMenu(QMenu& menu, const std::vector<MenuItem>& items, const CommandHandler& handler);

} // namespace platform
