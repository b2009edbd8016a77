// The status line of the simulator's model code, routed to a settable function.
#include "simulator/run_state.h"

#include <cstdio>

namespace {
StatusFunction g_status;
}

void SetStatusFunction(StatusFunction function) { g_status = std::move(function); }

void ShowStatus(const std::string& text, bool keep)
{
    if (g_status)
        g_status(text, keep);
    else if (!text.empty())
        std::fprintf(stderr, "%s\n", text.c_str());
}
