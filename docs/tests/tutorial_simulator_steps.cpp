// The program that follows the tutorial's simulator steps for the tutorial's test, in
// the folder $TUTORIAL_FOLDER, on the simulator's command line $TUTORIAL_SIMULATOR_TAIL.
#include "docs/tests/tutorial_simulator.h"

#include "platform/testing/qt_support.h"
#include "platform/testing/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdlib>

TEST(TutorialInTheSimulator, TheExperimentTheRunsAndTheCCodeAreAsThePageSays)
{
    const char* folder = std::getenv("TUTORIAL_FOLDER");
    const char* tail = std::getenv("TUTORIAL_SIMULATOR_TAIL");
    ASSERT_TRUE(folder && tail) << "started by the tutorial's test";
    testsupport::testApplication();
    platform::ScriptedMessageSink boxes;
    platform::ScopedMessageSink scopedBoxes(boxes);
    platform::ScriptedChooserSink choosers;
    platform::ScopedChooserSink scopedChoosers(choosers);
    testsupport::ScopedCurrentDirectory inFolder(folder);
    const tutorialtest::TutorialPage page(ORVANTA_SOURCE_DIR "/docs/tutorial/orvantatut.html");
    ASSERT_TRUE(page.read());
    tutorialtest::Reader reader(page, boxes);
    tutorialtest::FollowTheSimulatorSteps(reader, boxes, choosers, tail, folder);
}
