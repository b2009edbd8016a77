// A dialog of the common library whose controls its plain module reaches
// through `ControlAccess`: the dialog base's own operations, handed on.
#pragma once

#include "common/control_access.h"
#include "platform/qt/dialog.h"

class ModuleDialog : public platform::Dialog, public ControlAccess {
public:
    ModuleDialog(const platform::DialogDescription& description, QWidget* parent)
        : Dialog(description, parent) {}

    platform::WindowHandle handle() const override { return Dialog::handle(); }
    std::string text(int id) const override { return Dialog::text(id); }
    void setText(int id, std::string_view text) override { Dialog::setText(id, text); }
    void selectAllText(int id) override { Dialog::selectAllText(id); }
    bool isChecked(int id) const override { return Dialog::isChecked(id); }
    void setChecked(int id, bool checked) override { Dialog::setChecked(id, checked); }
    bool isControlEnabled(int id) const override { return Dialog::isControlEnabled(id); }
    void enableControl(int id, bool enabled) override { Dialog::enableControl(id, enabled); }
    void showControl(int id, bool shown) override { Dialog::showControl(id, shown); }
    void focusControl(int id) override { Dialog::focusControl(id); }
    int addItem(int id, std::string_view text) override { return Dialog::addItem(id, text); }
    int insertItem(int id, int index, std::string_view text) override { return Dialog::insertItem(id, index, text); }
    bool removeItem(int id, int index) override { return Dialog::removeItem(id, index); }
    void setItemText(int id, int index, std::string_view text) override { Dialog::setItemText(id, index, text); }
    void clearItems(int id) override { Dialog::clearItems(id); }
    int itemCount(int id) const override { return Dialog::itemCount(id); }
    std::string itemText(int id, int index) const override { return Dialog::itemText(id, index); }
    int selectedIndex(int id) const override { return Dialog::selectedIndex(id); }
    void selectIndex(int id, int index) override { Dialog::selectIndex(id, index); }
};
