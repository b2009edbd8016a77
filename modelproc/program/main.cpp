// orvantampx: the background model processor program.
#include "modelproc/program/model_processor.h"

#include "common/startup.h"
#include "platform/core/large_pages.h"
#include "platform/qt/application.h"

int main(int argc, char** argv)
{
    // A big model's file and tables come and go: their room goes back to the system when freed.
    platform::mapLargeBlocksApart();
    platform::Application application(argc, argv);
    // The program ends when its log window has gone, not with its last window.
    application.setQuitOnLastWindowClosed(false);
    TQNMPXApp processor(application, CommandWords(argc, argv));
    return processor.Run();
}
