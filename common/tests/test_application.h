// The one Qt application of a test program, made on first use.
#pragma once

#include "platform/testing/qt_support.h"

inline platform::Application& testApplication()
{
    return testsupport::testApplication();
}
