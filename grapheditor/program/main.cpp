// orvanta: the graph editor, the suite's main program.
#include "grapheditor/program/graph_editor_app.h"

#include "common/startup.h"
#include "platform/qt/application.h"

int main(int argc, char** argv)
{
    platform::Application application(argc, argv);
    TQNBGEApp editor(application, CommandWords(argc, argv));
    return editor.Run();
}
