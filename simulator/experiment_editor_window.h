// The one modeless window of an experiment editor over its logic: made and
// filled from the experiment when it is not open, filled again when the
// experiment changes under it.
#pragma once

#include "platform/qt/dialog.h"

#include <QWidget>

/// The editor's window over `parent`; one made anew has the logic read the
/// experiment and shows it (the caller shows the window).
template <class Window, class Logic>
Window& CreateExperimentEditor(platform::DialogInstance<Window>& instance, Logic& logic, QWidget* parent)
{
    const bool existed = instance.get() != nullptr;
    Window& dialog = instance.create([parent] { return new Window(parent); });
    if (!existed) {
        logic.open();
        dialog.showEditor();
    }
    return dialog;
}

/// An open editor reads the experiment again and shows it; none is opened.
template <class Window, class Logic>
void RefreshExperimentEditor(platform::DialogInstance<Window>& instance, Logic& logic)
{
    if (Window* dialog = instance.get()) {
        logic.open();
        dialog->showEditor();
    }
}
