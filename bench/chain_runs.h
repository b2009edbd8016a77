// What the benchmarks that run the chain of masses through the run engine share:
// the chain loaded once with its first mass displaced and RK4 chosen, and the
// timing of their runs.
#pragma once

#include "mass_chain.h"

#include "common/settings_table.h"
#include "simulator/code_file_reader.h"
#include "simulator/fastcode/fast_code.h"
#include "simulator/integration_methods.h"
#include "simulator/model_variables.h"
#include "simulator/run_output.h"
#include "simulator/run_specs.h"
#include "simulator/run_state.h"

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

namespace chainruns {

/// Loads the chain of `masses` masses once, its first mass displaced by an initial
/// condition, with native code, stiffness 40, damping 0.05 and mass 0.5, and the run
/// engine's output installed; runs are RK4 with steps of 1e-3 up to `finishTime`.
/// False when the chain does not load.
inline bool loadDisplacedChain(int masses, double finishTime)
{
    static int loaded = -1;
    if (loaded >= 0)
        return loaded == 1;
    SetStatusFunction([](const std::string&, bool) {});
    std::string text = masschain::codeText(masses);
    text.replace(text.find("#Dstate_ind"), 0, "#DIncond\t1\n\t#real\ti0\n");
    loaded = LoadCodeText(text) == 0;
    if (!loaded)
        return false;
    Settings().warp = 1;
    BuildFastCode();
    const double parameters[] = {40.0, 0.05, 0.5};
    for (int i = 0; i < 3; ++i)
        SetVariableValue(KindParameter, i, parameters[i]);
    SetVariableValue(KindInitial, 0, 1.0);
    InstallRunOutput();
    RunSpecs() = RunSpecification::defaults();
    RunSpecs().method = MethodRungeKutta4;
    RunSpecs().finishTime = finishTime;
    RunSpecs().settings[MethodRungeKutta4][RowStep].value = 1e-3;
    return true;
}

/// The milliseconds since `start`.
inline double millisecondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

/// The median of timings taken in turns (the upper one of an even count).
inline double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace chainruns
