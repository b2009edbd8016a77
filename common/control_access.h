// What the plain module behind a dialog reads and sets of the dialog's
// controls, by control id. The dialog classes of the common library give
// their controls through this, and the modules' tests give a table of their
// own, so that the modules build and run without a window system.
#pragma once

#include "platform/core/window_handle.h"

#include <string>
#include <string_view>

class ControlAccess {
public:
    virtual ~ControlAccess() = default;

    /// The dialog's window handle: boxes raised for it are owned by it.
    virtual platform::WindowHandle handle() const = 0;

    /// The text of a static, edit or button; an unknown id gives "".
    virtual std::string text(int id) const = 0;
    virtual void setText(int id, std::string_view text) = 0;
    virtual void selectAllText(int id) = 0;

    /// Check boxes and radios.
    virtual bool isChecked(int id) const = 0;
    virtual void setChecked(int id, bool checked) = 0;

    virtual bool isControlEnabled(int id) const = 0;
    virtual void enableControl(int id, bool enabled) = 0;
    virtual void showControl(int id, bool shown) = 0;
    virtual void focusControl(int id) = 0;

    /// List and combo boxes, items by position from 0; a change the module
    /// makes is not reported back to it as the user's.
    virtual int addItem(int id, std::string_view text) = 0;
    virtual int insertItem(int id, int index, std::string_view text) = 0;
    virtual bool removeItem(int id, int index) = 0;
    virtual void setItemText(int id, int index, std::string_view text) = 0;
    virtual void clearItems(int id) = 0;
    virtual int itemCount(int id) const = 0;
    virtual std::string itemText(int id, int index) const = 0;
    /// The selected item; -1 when none is.
    virtual int selectedIndex(int id) const = 0;
    /// Selects an item (-1: none).
    virtual void selectIndex(int id, int index) = 0;
};
