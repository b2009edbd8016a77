// Test support: a name picked from the list of the open model-name chooser and
// confirmed, as a user picks it.
#pragma once

#include "common/name_chooser_dialog.h"
#include "platform/testing/qt_support.h"

#include <QListWidget>
#include <QPushButton>

#include <string>

namespace testsupport {

/// Selects the name in the open chooser's list and presses OK; false when no chooser is
/// open or its list does not hold the name.
inline bool pickListedName(const std::string& name)
{
    TQNFileDialog* chooser = NameChooserWindow();
    auto* names = chooser ? findControl<QListWidget>(*chooser, ID_CHOOSER_LIST) : nullptr;
    if (!names)
        return false;
    const QList<QListWidgetItem*> found = names->findItems(QString::fromStdString(name), Qt::MatchExactly);
    if (found.size() != 1)
        return false;
    names->setCurrentItem(found.front());
    findControl<QPushButton>(*chooser, ID_CHOOSER_OK)->click();
    return true;
}

} // namespace testsupport
