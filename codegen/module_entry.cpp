// The entry of the loadable code generator: the one function the module exports.
// The module has no application of its own; it runs its dialog on the program's.
#include "codegen/generator_dialogs.h"
#include "codegen/generation.h"
#include "common/message_boxes.h"
#include "platform/qt/window_widgets.h"

#include <QApplication>
#include <QPointer>

#include <exception>

extern "C" __attribute__((visibility("default"))) int GenerateCCodePopup(const char* model, const char* experiment,
                                                                         const char* submodel)
{
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) {
        ShowGeneratorBox("Orvanta Error", {"The code generator needs a program with windows to run in."});
        return 0;
    }
    int result = platform::IDCANCEL;
    try {
        QWidget* owner = platform::windowWidget(CurrentMessageOwner());
        // The owner may be closed while the dialog runs (it then takes its children along):
        // the dialog lives on the heap and is deleted here only when it still exists.
        const QPointer<CodeGeneratorDialog> dialog =
            new CodeGeneratorDialog(model, experiment, submodel, owner ? owner : QApplication::activeWindow());
        struct Release {
            const QPointer<CodeGeneratorDialog>& dialog;
            ~Release() { delete dialog.data(); }
        } release{dialog};
        result = dialog->runModal();
    } catch (const std::exception& error) {
        ShowGeneratorBox("Orvanta Error", {"The code generator stopped:", error.what()});
    } catch (...) {
        ShowGeneratorBox("Orvanta Error", {"The code generator stopped."});
    }
    // Nothing of the module may wait in the program's queue once the module is released.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return result == platform::IDOK ? 1 : 0;
}
