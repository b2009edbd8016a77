// The graph editor's main window under a long random sequence of the suite's messages,
// with boxes that open as modal dialogs and close at random: it stays up and answers,
// never opens a box inside another and never runs two model processors at once.
#include "main_window_fixture.h"

#include "common/tests/editor_message_storm.h"

namespace editortest {
namespace {

TEST_F(MainWindow, RandomMessagesWithBoxesClosingAtRandomLeaveAWorkingEditorWithOneProcessorAtATime)
{
    for (const char* model : {"msd1.mg0", "rlc1.mg0", "motor1.mg0"})
        copyExample(model, models, model);
    stormtest::Setup setup(71);
    auto& [random, boxes, scopedBoxes, processors, scopedProcessors] = setup;
    startWindow();
    CloseStartupBox();
    const platform::WindowHandle handle = window->handle();

    EXPECT_TRUE(stormtest::storm(random, handle, processors, {"msd1", "rlc1", "motor1", "nosuch1"}, 3000));
    stormtest::expectOneBoxAndOneProcessorAtATime(*window, boxes, processors);

    // It still answers: a model sent to it is opened (discarding what the storm left).
    boxes.answerOk = true;
    ASSERT_TRUE(platform::postMessage(handle, UM_OPEN_MODEL, 0, 0, std::string("rlc1")));
    EXPECT_TRUE(waitUntil([] { return Editor().modelName == "rlc1" && !QApplication::activeModalWidget(); }))
        << Editor().modelName;
    ASSERT_TRUE(platform::postMessage(handle, UM_STATUS_TEXT, 0, 0, std::string("still here")));
    EXPECT_TRUE(waitUntil([] { return Editor().statusText == "still here"; }));
    CurrentModel().edited = false;
}

} // namespace
} // namespace editortest
