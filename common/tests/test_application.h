// The one Qt application of a test program, made on first use.
#pragma once

#include "platform/qt/application.h"

inline platform::Application& testApplication()
{
    static int argc = 1;
    static char name[] = "test_common_ui";
    static char* argv[] = {name, nullptr};
    static auto* instance = new platform::Application(argc, argv);
    return *instance;
}
