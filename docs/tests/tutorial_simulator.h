// The tutorial's steps in the simulator: the experiment made in its editors, the runs,
// the plot's outputs and the C code, in the simulator's window made in this process on
// the command line the graph editor started the real simulator with. The graph editor's
// part of the tutorial runs them in a program of their own: the two programs' libraries
// do not link into one.
#pragma once

#include "docs/tests/tutorial_page.h"

#include "platform/core/choosers.h"

#include <string>

namespace tutorialtest {

/// Follows the sections "experiment", "run" and "ccode" of the page in a simulator on
/// `commandTail` (the words after the program's name), in the model folder `folder`
/// (the current directory). The picture of the first run is grabbed as "tutorial_plot".
void FollowTheSimulatorSteps(Reader& reader, platform::ScriptedMessageSink& boxes,
                             platform::ScriptedChooserSink& choosers, const std::string& commandTail,
                             const std::string& folder);

} // namespace tutorialtest
