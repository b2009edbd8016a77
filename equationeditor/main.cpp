// orvantaee: the equation editor.
#include "equationeditor/equation_editor_app.h"

#include "common/startup.h"
#include "platform/qt/application.h"

int main(int argc, char** argv)
{
    platform::Application application(argc, argv);
    TQNEEApp editor(application, CommandWords(argc, argv));
    return editor.Run();
}
