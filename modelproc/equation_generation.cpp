// Equation generation of a hierarchical model: connections numbered, submodel equations
// reshaped to the causality found, everything collected into one flat body, and its states and rates.
#include "modelproc/equation_generation.h"

#include "modelproc/display_hooks.h"
#include "modelproc/equation_collection.h"
#include "modelproc/equation_reshaping.h"
#include "modelproc/state_variables.h"

namespace {

void progress(const char* text)
{
    if (DisplayHooks().progress)
        DisplayHooks().progress(text);
}

void status(const char* text)
{
    if (DisplayHooks().status)
        DisplayHooks().status(text);
}

void percent(int value)
{
    if (DisplayHooks().percent)
        DisplayHooks().percent(value);
}

} // namespace

int reshapeAndCollect(ClassRec* top, int& counter)
{
    if (!top || !top->causal || !top->graph) {
        reportEquationsError("<error: causal analysis not performed on this model>");
        return 0;
    }
    if (!numberConnections(top, counter))
        return 0;

    progress(" . Reshaping of submodel equations..");
    status("Generating equations (reshaping)..");
    if (!prepareReshaping())
        return 0;
    bool reshaped = true;
    for (SubclassRec* sub : top->graph->subclasses)
        if (!reshapeSubmodel(sub)) {
            reshaped = false;
            break;
        }
    percent(80);
    if (!reshaped) {
        progress("Reshaping of equations did not succeed.");
        return 0;
    }

    progress(" . Collecting of equations..");
    status("Generating equations (collecting)..");
    const int collected = collectEquations(top, counter);
    percent(85);
    if (!collected) {
        progress("Collecting of equations did not succeed.");
        return 0;
    }
    return 1;
}

int determineStatesStep(ClassRec* cls)
{
    progress(" . Determination of state and rate-variables..");
    status("Generating equations (states/rates)..");
    const int determined = determineStates(cls);
    percent(90);
    if (!determined) {
        progress("Determination of state and rate-variables did not succeed.");
        return 0;
    }
    return 1;
}
