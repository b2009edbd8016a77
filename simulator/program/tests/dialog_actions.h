// Test support: what a user does to a dialog's controls, found by their ids.
#pragma once

#include "platform/qt/dialog.h"
#include "platform/testing/qt_support.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QScrollBar>

#include <functional>
#include <string>

namespace simtest {

/// Serves events, a run's idle turns among them, until `done` holds; false after `timeoutMs`.
inline bool serveEventsUntil(const std::function<bool()>& done, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

/// Replaces the edit's text as typed (the dialog hears a change the user made).
inline void type(platform::Dialog& dialog, int id, const std::string& text)
{
    auto* edit = testsupport::findControl<QLineEdit>(dialog, id);
    edit->setFocus();
    edit->selectAll();
    edit->insert(QString::fromStdString(text));
}

inline void click(platform::Dialog& dialog, int id)
{
    testsupport::findControl<QAbstractButton>(dialog, id)->click();
    QApplication::processEvents();
}

/// Selects a line of a list box as a click on it does.
inline void selectLine(platform::Dialog& dialog, int list, int line)
{
    testsupport::findControl<QListWidget>(dialog, list)->setCurrentRow(line);
    QApplication::processEvents();
}

/// Chooses an entry of a combo box as the user does.
inline void chooseCombo(platform::Dialog& dialog, int id, int index)
{
    auto* combo = testsupport::findControl<QComboBox>(dialog, id);
    combo->setCurrentIndex(index);
    emit combo->activated(index);
    QApplication::processEvents();
}

/// Drags the scroll bar's thumb to its right (or lower) end and lets it go.
inline void dragThumbToEnd(platform::Dialog& dialog, int id)
{
    auto* bar = testsupport::findControl<QScrollBar>(dialog, id);
    bar->setSliderDown(true);
    bar->setSliderPosition(bar->maximum());
    bar->setSliderDown(false);
    QApplication::processEvents();
}

} // namespace simtest
