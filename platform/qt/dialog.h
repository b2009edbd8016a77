// The base of the suite's dialogs: controls built from a description, a
// window handle in the registry, modal and modeless runs, and notifications
// handed on as (control id, notification code).
//
// A dialog of the suite is a thin class over its plain module:
//
//     class TQNFileDialog : public platform::Dialog {
//     public:
//         explicit TQNFileDialog(QWidget* parent) : Dialog(fileDialog(), parent)
//         {
//             setControlFont(573, *GetDialogFont());  // the set-up of the Parts
//             DialogSetupHook(this);
//         }
//     protected:
//         void notify(int id, int code) override
//         {
//             if (id == 801 && code == platform::BN_CLICKED) {
//                 if (AcceptChosenName(*this))        // the module reads text(572) ...
//                     endDialog(platform::IDOK);
//                 return;
//             }
//             if (id == 573 && code == platform::LBN_SELCHANGE)
//                 return ChosenNameFromList(*this);
//             Dialog::notify(id, code);               // IDOK and IDCANCEL end the dialog
//         }
//     };
//
// Modeless dialogs are made with `new` and live until they close (closing
// destroys them); `DialogInstance` keeps the one instance a program has. A
// dialog that waits for an answer without blocking its caller (a chooser that
// hands the answer to a callback) is shown with `showWindowModal()`. A
// modal dialog may live on the stack: `runModal()` returns the id it ended
// with. Escape and the close box send the command of the button described as
// `cancelButton()`, else IDCANCEL; by default IDOK and IDCANCEL end the dialog.
// As on the system the suite was written for, an edit reports EN_CHANGE for
// every change of its text, the dialog's own included, while list and combo
// boxes report a new selection only when the user made it. Clicks on the
// dialog's own surface (the about box closes on one) are Qt's mouse events
// of the dialog class; boxes the module raises while the dialog is the
// message owner (`SetTempMessageOwner(handle())`) are parented to it.
#pragma once

#include "platform/core/device_context.h"
#include "platform/core/message_frame.h"
#include "platform/qt/dialog_controls.h"
#include "platform/qt/dialog_description.h"
#include "platform/qt/fonts.h"
#include "platform/qt/window_timers.h"

#include <QDialog>
#include <QPointer>

#include <map>
#include <string>
#include <string_view>
#include <vector>

class QButtonGroup;

namespace platform {

class Dialog : public QDialog {
public:
    /// Builds the dialog and its controls, hidden, with a handle of its own.
    Dialog(const DialogDescription& description, QWidget* parent);
    ~Dialog() override;

    /// The dialog's handle (0 once it has ended); boxes owned by it are parented here.
    WindowHandle handle() const { return m_handle; }
    const std::string& resourceName() const { return m_resourceName; }

    /// Runs the dialog modally; the id it ended with (IDCANCEL for Escape or the close box).
    int runModal();
    /// Shows the dialog without blocking, raised and active; closing destroys it.
    void showModeless();
    /// As `showModeless`, but the dialog waits for an answer: until it ends, the
    /// window it belongs to takes no input and stays beneath it.
    void showWindowModal();
    /// Ends the dialog with a result: a modal run returns it, a modeless dialog closes.
    void endDialog(int result);
    /// True once the dialog has ended (a modeless one is then on its way out).
    bool hasEnded() const { return m_ended; }

    /// The caption without the edited mark; `setEdited` adds " (edited)".
    void setCaption(const std::string& caption);
    const std::string& caption() const { return m_caption; }
    void setEdited(bool edited);
    bool edited() const { return m_edited; }

    /// The control with that id (object name "id<N>"); null when there is none.
    QWidget* control(int id) const;
    template <class Widget>
    Widget* controlAs(int id) const
    {
        return qobject_cast<Widget*>(control(id));
    }

    void enableControl(int id, bool enabled);
    bool isControlEnabled(int id) const;
    void showControl(int id, bool shown);
    void focusControl(int id);
    void setControlFont(int id, const FontSpec& font);

    /// The text of a static, edit, button, group or the edit of a combo box;
    /// multi-line edits take and give LF line ends.
    void setText(int id, std::string_view text);
    std::string text(int id) const;
    /// The most characters an edit takes (0: no limit).
    void setTextLimit(int id, int characters);
    /// Selects the whole text of an edit.
    void selectAllText(int id);

    /// Check boxes and radios; checking a radio unchecks the others of its group.
    void setChecked(int id, bool checked);
    bool isChecked(int id) const;
    /// The position of the checked one of `ids`; -1 when none is.
    int checkedIndex(const std::vector<int>& ids) const;

    /// List and combo boxes: items by position from 0.
    int addItem(int id, std::string_view text);
    int insertItem(int id, int index, std::string_view text);
    bool removeItem(int id, int index);
    void setItemText(int id, int index, std::string_view text);
    void clearItems(int id);
    int itemCount(int id) const;
    std::string itemText(int id, int index) const;
    /// The position of the item whose text is `text`; -1 when none is.
    int findItem(int id, std::string_view text) const;
    /// The selected item; -1 when none is.
    int selectedIndex(int id) const;
    /// Selects an item (-1: none) without a notification, as the dialog's own change.
    void selectIndex(int id, int index);
    void setItemData(int id, int index, const QVariant& data);
    QVariant itemData(int id, int index) const;
    /// Columns of a list box in dialog units.
    void setTabStops(int id, std::vector<int> dialogUnits);
    /// The height of every item of a list box in pixels.
    void setItemHeight(int id, int pixels);

    /// Owner-drawn lists and bitmap buttons paint through this.
    void setOwnerDraw(int id, OwnerDrawPainter painter);

    void setScrollRange(int id, int minimum, int maximum);
    void setScrollPosition(int id, int position);
    int scrollPosition(int id) const;

    void setProgressRange(int id, int minimum, int maximum);
    void setProgress(int id, int value);

    /// Window timers by id; `handleTimer` receives them.
    void startWindowTimer(int id, int intervalMs) { m_timers.start(id, intervalMs); }
    bool killWindowTimer(int id) { return m_timers.kill(id); }

    /// Dialog units of this dialog's font in pixels.
    QRect toPixels(const DialogRect& rect) const;

    void done(int result) override;
    void reject() override;

protected:
    /// A control's notification; the default ends the dialog on IDOK and IDCANCEL.
    virtual void notify(int id, int code);
    /// A message sent or posted to the dialog's handle (the layer's requests aside).
    virtual void handleMessage(const Message& message);
    virtual void handleTimer(int id);

    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void build(const DialogDescription& description);
    QWidget* makeControl(const ControlDescription& control);
    void attach();
    void detach();
    void dispatch(const Message& message);
    /// Delivers a notification unless the dialog itself is changing the control.
    void userNotify(int id, int code);

    std::string m_resourceName;
    std::string m_className;
    DialogBaseUnits m_base;
    std::string m_caption;
    bool m_edited = false;
    WindowHandle m_handle = 0;
    int m_cancelId = IDCANCEL;
    bool m_ended = false;
    int m_quiet = 0;
    std::map<int, QWidget*> m_controls;
    std::map<int, QButtonGroup*> m_radioGroups;
    /// Controls that report gaining and losing the focus: id and the two codes.
    struct FocusCodes {
        int id = 0;
        int gained = 0;
        int lost = 0;
    };
    std::map<QObject*, FocusCodes> m_focusCodes;
    WindowTimers m_timers;
};

/// The one instance of a modeless dialog a program keeps: made on first use,
/// raised when asked again, forgotten once it has closed.
template <class D>
class DialogInstance {
public:
    /// The dialog while it lives and has not ended; null otherwise.
    D* get() const { return m_dialog && !m_dialog->hasEnded() ? m_dialog.data() : nullptr; }
    WindowHandle handle() const { return get() ? get()->handle() : 0; }

    /// The dialog, made hidden by `make` (which returns a new D) when there is none.
    template <class Make>
    D& create(Make make)
    {
        if (!get())
            m_dialog = make();
        return *m_dialog;
    }

    /// As `create`, then shown, raised and made active.
    template <class Make>
    D& open(Make make)
    {
        D& dialog = create(make);
        dialog.showModeless();
        return dialog;
    }

    /// Ends the dialog there is, if any.
    void close()
    {
        if (D* dialog = get())
            dialog->endDialog(IDCANCEL);
    }

private:
    QPointer<D> m_dialog;
};

} // namespace platform
