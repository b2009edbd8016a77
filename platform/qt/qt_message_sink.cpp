// The Qt message sink: caption and lines from the request, OK (and Cancel).
#include "platform/qt/qt_message_sink.h"

#include "platform/qt/window_widgets.h"

#include <QMessageBox>

namespace platform {

BoxAnswer QtMessageSink::show(const MessageBoxRequest& box)
{
    QStringList lines;
    for (const std::string& line : box.lines)
        lines << QString::fromStdString(line);
    bool confirm = box.kind == BoxKind::Confirm;
    QMessageBox dialog(confirm ? QMessageBox::Question : QMessageBox::Information,
                       QString::fromStdString(box.caption), lines.join(QLatin1Char('\n')),
                       confirm ? QMessageBox::Ok | QMessageBox::Cancel : QMessageBox::Ok,
                       windowWidget(box.owner));
    dialog.setObjectName(confirm ? QStringLiteral("ConfirmBox") : QStringLiteral("MessageBox"));
    dialog.setDefaultButton(QMessageBox::Ok);
    if (confirm)
        dialog.setEscapeButton(QMessageBox::Cancel);
    int answer = dialog.exec();
    return !confirm || answer == QMessageBox::Ok ? BoxAnswer::Ok : BoxAnswer::Cancel;
}

} // namespace platform
