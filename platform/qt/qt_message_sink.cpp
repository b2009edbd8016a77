// The Qt message sink: caption, lines, icon and buttons from the request,
// with the beep that goes with the box.
#include "platform/qt/qt_message_sink.h"

#include "platform/qt/alerts.h"
#include "platform/qt/window_widgets.h"

#include <QMessageBox>
#include <QPushButton>

namespace platform {

namespace {

struct IconLook {
    QMessageBox::Icon icon;
    unsigned beepType; ///< the beep of boxes with this icon
};

IconLook look(BoxIcon icon)
{
    switch (icon) {
    case BoxIcon::Question:
        return {QMessageBox::Question, 0x20};
    case BoxIcon::Exclamation:
        return {QMessageBox::Warning, 0x30};
    case BoxIcon::Stop:
        return {QMessageBox::Critical, 0x10};
    case BoxIcon::Information:
    case BoxIcon::Default:
        break;
    }
    return {QMessageBox::Information, 0x40};
}

} // namespace

BoxAnswer QtMessageSink::show(const MessageBoxRequest& box)
{
    QStringList lines;
    for (const std::string& line : box.lines)
        lines << QString::fromStdString(line);
    QMessageBox::StandardButtons buttons = QMessageBox::Ok;
    QString name = QStringLiteral("MessageBox");
    if (box.kind == BoxKind::Confirm) {
        buttons = QMessageBox::Ok | QMessageBox::Cancel;
        name = QStringLiteral("ConfirmBox");
    } else if (box.kind == BoxKind::YesNoCancel) {
        buttons = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
        name = QStringLiteral("QuestionBox");
    }
    IconLook shown = look(shownIcon(box));
    QMessageBox dialog(shown.icon, QString::fromStdString(box.caption), lines.join(QLatin1Char('\n')), buttons,
                       windowWidget(box.owner));
    dialog.setObjectName(name);
    dialog.setTextFormat(Qt::PlainText);
    dialog.setDefaultButton(box.kind == BoxKind::YesNoCancel ? QMessageBox::Yes : QMessageBox::Ok);
    if (box.kind == BoxKind::Confirm) {
        if (!box.okLabel.empty())
            dialog.button(QMessageBox::Ok)->setText(QString::fromStdString(box.okLabel));
        if (!box.cancelLabel.empty())
            dialog.button(QMessageBox::Cancel)->setText(QString::fromStdString(box.cancelLabel));
        if (box.cancelIsDefault)
            dialog.setDefaultButton(QMessageBox::Cancel);
    }
    if (box.kind != BoxKind::Message)
        dialog.setEscapeButton(QMessageBox::Cancel);
    beep(shown.beepType);
    int answer = dialog.exec();
    switch (box.kind) {
    case BoxKind::Message:
        return BoxAnswer::Ok;
    case BoxKind::Confirm:
        return answer == QMessageBox::Ok ? BoxAnswer::Ok : BoxAnswer::Cancel;
    case BoxKind::YesNoCancel:
        break;
    }
    return answer == QMessageBox::Yes ? BoxAnswer::Yes : answer == QMessageBox::No ? BoxAnswer::No : BoxAnswer::Cancel;
}

} // namespace platform
