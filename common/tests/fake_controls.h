// Test support: a dialog's controls as a table, for the plain modules behind
// the common dialogs.
#pragma once

#include "common/control_access.h"

#include <map>
#include <string>
#include <vector>

struct FakeControl {
    std::string text;
    bool checked = false;
    bool enabled = true;
    bool shown = true;
    std::vector<std::string> items;
    int selected = -1;
    int allSelected = 0; ///< how often the whole text was selected
};

class FakeControls : public ControlAccess {
public:
    explicit FakeControls(platform::WindowHandle handle = 0x7001) : m_handle(handle) {}

    FakeControl& operator[](int id) { return m_controls[id]; }
    bool has(int id) const { return m_controls.count(id) != 0; }

    platform::WindowHandle handle() const override { return m_handle; }
    std::string text(int id) const override { return get(id).text; }
    void setText(int id, std::string_view text) override { m_controls[id].text = std::string(text); }
    void selectAllText(int id) override { ++m_controls[id].allSelected; }
    bool isChecked(int id) const override { return get(id).checked; }
    void setChecked(int id, bool checked) override { m_controls[id].checked = checked; }
    bool isControlEnabled(int id) const override { return get(id).enabled; }
    void enableControl(int id, bool enabled) override { m_controls[id].enabled = enabled; }
    void showControl(int id, bool shown) override { m_controls[id].shown = shown; }
    void focusControl(int) override {}
    int addItem(int id, std::string_view text) override
    {
        m_controls[id].items.emplace_back(text);
        return static_cast<int>(m_controls[id].items.size()) - 1;
    }
    int insertItem(int id, int index, std::string_view text) override
    {
        auto& items = m_controls[id].items;
        if (index < 0 || index > static_cast<int>(items.size()))
            index = static_cast<int>(items.size());
        items.insert(items.begin() + index, std::string(text));
        return index;
    }
    bool removeItem(int id, int index) override
    {
        auto& control = m_controls[id];
        if (index < 0 || index >= static_cast<int>(control.items.size()))
            return false;
        control.items.erase(control.items.begin() + index);
        if (control.selected >= static_cast<int>(control.items.size()) || control.selected == index)
            control.selected = -1;
        else if (control.selected > index)
            --control.selected;
        return true;
    }
    void setItemText(int id, int index, std::string_view text) override
    {
        auto& items = m_controls[id].items;
        if (index >= 0 && index < static_cast<int>(items.size()))
            items[static_cast<std::size_t>(index)] = std::string(text);
    }
    void clearItems(int id) override
    {
        m_controls[id].items.clear();
        m_controls[id].selected = -1;
    }
    int itemCount(int id) const override { return static_cast<int>(get(id).items.size()); }
    std::string itemText(int id, int index) const override
    {
        const auto& items = get(id).items;
        return index >= 0 && index < static_cast<int>(items.size()) ? items[static_cast<std::size_t>(index)] : "";
    }
    int selectedIndex(int id) const override { return get(id).selected; }
    void selectIndex(int id, int index) override
    {
        m_controls[id].selected = index >= 0 && index < itemCount(id) ? index : -1;
    }

private:
    const FakeControl& get(int id) const
    {
        static const FakeControl none;
        auto it = m_controls.find(id);
        return it == m_controls.end() ? none : it->second;
    }

    platform::WindowHandle m_handle;
    std::map<int, FakeControl> m_controls;
};
