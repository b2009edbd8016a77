// Building Qt menus and menu bars from menu descriptions.
#include "platform/qt/menu_description.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>

namespace platform {

namespace {

QAction* makeCommand(QWidget& owner, const MenuItem& item, const CommandHandler& handler)
{
    auto* action = new QAction(QString::fromStdString(item.label), &owner);
    action->setObjectName(QStringLiteral("cmd_%1").arg(item.id));
    action->setData(item.id);
    action->setEnabled(!item.grayed);
    int id = item.id;
    QObject::connect(action, &QAction::triggered, &owner, [handler, id] {
        if (handler)
            handler(id);
    });
    return action;
}

} // namespace

MenuItem MenuItem::command(std::string label, int id, bool grayed)
{
    MenuItem item;
    item.label = std::move(label);
    item.id = id;
    item.grayed = grayed;
    return item;
}

MenuItem MenuItem::separator()
{
    return MenuItem();
}

MenuItem MenuItem::popup(std::string label, std::vector<MenuItem> items)
{
    MenuItem item;
    item.label = std::move(label);
    item.items = std::move(items);
    return item;
}

void fillMenu(QMenu& menu, const std::vector<MenuItem>& items, const CommandHandler& handler)
{
    for (const MenuItem& item : items) {
        if (!item.items.empty()) {
            QMenu* sub = menu.addMenu(QString::fromStdString(item.label));
            sub->menuAction()->setEnabled(!item.grayed);
            fillMenu(*sub, item.items, handler);
        } else if (item.id > 0) {
            menu.addAction(makeCommand(menu, item, handler));
        } else {
            menu.addSeparator();
        }
    }
}

void buildMenuBar(QMenuBar& bar, const std::string& resourceName, const std::vector<MenuItem>& items,
                  const CommandHandler& handler)
{
    bar.clear();
    bar.setObjectName(QString::fromStdString(resourceName));
    for (const MenuItem& item : items) {
        if (!item.items.empty()) {
            QMenu* menu = bar.addMenu(QString::fromStdString(item.label));
            menu->menuAction()->setEnabled(!item.grayed);
            fillMenu(*menu, item.items, handler);
        } else if (item.id > 0) {
            bar.addAction(makeCommand(bar, item, handler));
        } else {
            bar.addSeparator();
        }
    }
}

} // namespace platform
