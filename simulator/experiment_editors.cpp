// The experiment editors wired to the window and the plot.
#include "simulator/experiment_editors.h"

#include "simulator/dynamic_vars_dialog.h"
#include "simulator/multiple_run_dialog.h"
#include "simulator/numeric_values_dialog.h"
#include "simulator/output_specs_dialog.h"
#include "simulator/plot_buffers.h"
#include "simulator/simulator_state.h"
#include "simulator/value_editor_dialogs.h"

void WireExperimentEditors(QWidget* parent)
{
    SetParametersEditorParent(parent);
    SetInitialConditionsEditorParent(parent);
    SetOutputSpecsEditorParent(parent);
    SetDynamicVarsChooserParent(parent);
    SetNumericValuesParent(parent);
    SetMultipleRunEditorParent(parent);
    PlotHooks& plot = PlotCallbacks();
    plot.numericValuesChanged = [] { UpdateNumericValues(false); };
    plot.pointChosen = [](double x, double y) { PickNearestPoint(x, y); };
    plot.openPlotSpecs = [](int curve) { OpenOutputSpecsEditor(curve); };
}

void RefreshExperimentEditors()
{
    const ExperimentRecord& e = Experiment();
    RefreshParametersEditor();
    RefreshInitialConditionsEditor();
    RefreshOutputSpecsEditor();
    RefreshMultipleRunEditor();
    ClearDynamicVarsChooser();
    SetDynamicVarsChooserTitles(e.modelName, e.experimentName);
    SetNumericValuesTitles(e.modelName, e.experimentName);
    UpdateNumericValues(false);
}
