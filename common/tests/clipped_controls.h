// Test support: the controls of a dialog whose text is cut off because the
// control is narrower than the text.
#pragma once

#include <QAbstractButton>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QWidget>

#include <string>
#include <vector>

namespace testsupport {

/// "<object name> \"<text>\" needs <n> of <width> pixels" for each visible button, check box, radio button
/// and one-line label of the dialog that is too narrow for its text, and "... pixels down" for each
/// label whose wrapped lines do not fit its height.
inline std::vector<std::string> clippedControls(const QWidget& dialog)
{
    std::vector<std::string> clipped;
    auto note = [&](const QWidget& control, const QString& text, int needed) {
        clipped.push_back(control.objectName().toStdString() + " \"" + text.toStdString() + "\" needs " +
                          std::to_string(needed) + " of " + std::to_string(control.width()) + " pixels");
    };
    for (const QWidget* control : dialog.findChildren<QWidget*>()) {
        if (!control->isVisibleTo(&dialog))
            continue;
        if (const auto* box = qobject_cast<const QAbstractButton*>(control)) {
            if (box->text().isEmpty())
                continue;
            // A push button's hint has a minimum width of its own; only the text has to fit.
            const int needed = qobject_cast<const QPushButton*>(box)
                                   ? box->fontMetrics().horizontalAdvance(QString(box->text()).remove(QLatin1Char('&')))
                                   : box->sizeHint().width();
            if (needed > box->width())
                note(*box, box->text(), needed);
        } else if (const auto* label = qobject_cast<const QLabel*>(control)) {
            if (!label->wordWrap() && !label->text().isEmpty() && label->pixmap().isNull() &&
                label->sizeHint().width() > label->width())
                note(*label, label->text(), label->sizeHint().width());
            // A text that wraps has to fit its lines in the label's height (a line may lack a
            // pixel or two of its spacing).
            if (label->wordWrap() && !label->text().isEmpty() &&
                label->heightForWidth(label->width()) > label->height() + label->fontMetrics().lineSpacing() / 2)
                clipped.push_back(label->objectName().toStdString() + " \"" + label->text().toStdString() +
                                  "\" needs " + std::to_string(label->heightForWidth(label->width())) + " of " +
                                  std::to_string(label->height()) + " pixels down");
        }
    }
    return clipped;
}

} // namespace testsupport
