// Equation generation, the last processing phase: a hierarchical model's connections numbered,
// its submodel equations reshaped and collected into one flat body, then states and rates,
// sorting, and the processed-model files.
#include "modelproc/equation_generation.h"

#include "modelproc/class_copy.h"
#include "modelproc/display_hooks.h"
#include "modelproc/equation_collection.h"
#include "modelproc/equation_reshaping.h"
#include "modelproc/equation_sorting.h"
#include "modelproc/expansion.h"
#include "modelproc/processed_model_writer.h"
#include "modelproc/record_release.h"
#include "modelproc/state_variables.h"
#include "modelproc/vector_equations.h"

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
    // From here on the bond ends are read from the subclasses' tables: the bonds can go before
    // reshaping and collection make their records.
    releaseBondRecords(top);

    progress(" . Reshaping of submodel equations..");
    status("Generating equations (reshaping)..");
    if (!prepareReshaping())
        return 0;
    // Each submodel's records are taken out of its class once reshaped. A submodel that took its
    // type's class is reshaped in a copy made in a room that serves one such copy after another,
    // so that the copies of all submodels never live at once.
    auto* staged = ProcessingArena().make<StagedRecords>();
    RecordArena room;
    bool reshaped = staged != nullptr;
    if (staged) {
        try {
            staged->reserve(static_cast<std::size_t>(countSubclasses(top)));
        } catch (const std::bad_alloc&) {
            reshaped = false;
        }
    }
    if (!reshaped)
        reportEquationsError("memory allocation failure (may be out of memory).");
    for (SubclassRec* sub = reshaped ? top->graph->subclasses.first() : nullptr; sub;
         sub = SectionList<SubclassRec>::after(sub)) {
        const bool shared = sharesTypeClass(sub);
        if (shared && !copyTypeClassFor(sub, room)) {
            reportEquationsError("memory allocation failure (may be out of memory).");
            reshaped = false;
            break;
        }
        reshaped = reshapeSubmodel(sub) != 0;
        if (reshaped)
            staged->take(sub);
        if (shared) {
            sub->cls = sub->type->cls;
            room.recycle();
        }
        if (!reshaped)
            break;
    }
    percent(80);
    if (!reshaped) {
        progress("Reshaping of equations did not succeed.");
        return 0;
    }

    progress(" . Collecting of equations..");
    status("Generating equations (collecting)..");
    const int collected = collectEquations(top, counter, staged);
    percent(85);
    if (!collected) {
        progress("Collecting of equations did not succeed.");
        return 0;
    }
    return 1;
}

int determineStatesStep(ClassRec* cls)
{
    std::vector<EquationRec*> order;
    return determineStatesStep(cls, order);
}

int determineStatesStep(ClassRec* cls, std::vector<EquationRec*>& order)
{
    progress(" . Determination of state and rate-variables..");
    status("Generating equations (states/rates)..");
    const int determined = determineStatesWithOrder(cls, order);
    percent(90);
    if (!determined) {
        progress("Determination of state and rate-variables did not succeed.");
        return 0;
    }
    return 1;
}

int generateEquations(ClassRec* cls, const std::string& directory)
{
    if (!cls) {
        reportEquationsError("<error: no model at all, so no equation generation>");
        return 0;
    }
    // A hierarchical model becomes one flat equation model first.
    if (cls->type == CLASS_TOP) {
        int counter = 1;
        if (!reshapeAndCollect(cls, counter))
            return 0;
    } else {
        // An equation model processed on its own with a ":=" equation is one fixed-order block,
        // as it would be as a submodel: a fixed-order equation outside a block is never placed.
        spreadFixedOrder(cls);
    }
    // Integrals and derivatives become states and rates, which sorting takes as known.
    // The list's order goes from each step to the next, so that none walks the list again.
    std::vector<EquationRec*> order;
    if (!determineStatesStep(cls, order))
        return 0;

    progress(" . Sorting of equations..");
    status("Generating equations (sorting)..");
    const int sorted = sortEquationsWithOrder(cls, order);
    percent(95);
    if (!sorted) {
        progress("Sorting of equations did not succeed.");
        return 0;
    }

    // The writers distribute the sorted list into the simulator's sections, one equation for each
    // element of an equation over a range of elements.
    progress(" . Generation of simulation code..");
    status("Generating equations (generating code)..");
    const int written = expandVectorEquations(cls, order) && ttwrite_code_files(cls, directory, &order);
    percent(100);
    if (!written) {
        progress("Simulation code generation did not succeed.");
        return 0;
    }
    return 1;
}
