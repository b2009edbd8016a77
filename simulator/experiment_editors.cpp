// The experiment editors wired to the window and the plot.
#include "simulator/experiment_editors.h"

#include "simulator/dynamic_vars_dialog.h"
#include "simulator/multiple_run_dialog.h"
#include "simulator/numeric_values_dialog.h"
#include "simulator/output_specs_dialog.h"
#include "simulator/plot_buffers.h"
#include "simulator/run_specs_dialog.h"
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
    RefreshParametersEditor();
    RefreshInitialConditionsEditor();
    RefreshOutputSpecsEditor();
    RefreshMultipleRunEditor();
    ClearDynamicVarsChooser();
    ShowExperimentEditorTitles();
}

void ShowExperimentEditorTitles()
{
    const ExperimentRecord& e = Experiment();
    // Every editor has the two fields of the names under the same ids.
    constexpr int ModelNameField = 805, ExperimentNameField = 806;
    platform::Dialog* const editors[] = {ParametersEditor(), InitialConditionsEditor(), RunSpecsDialog(),
                                         OutputSpecsEditorWindow(), MultipleRunEditorWindow()};
    for (platform::Dialog* editor : editors)
        if (editor) {
            editor->setText(ModelNameField, e.modelName);
            editor->setText(ExperimentNameField, e.experimentName);
        }
    SetDynamicVarsChooserTitles(e.modelName, e.experimentName);
    SetNumericValuesTitles(e.modelName, e.experimentName);
    UpdateNumericValues(false);
}

bool ExperimentEditorsHoldUnappliedEdits()
{
    return (ParametersEditor() && ParametersEditorLogic().edited()) ||
           (InitialConditionsEditor() && InitialConditionsEditorLogic().edited()) ||
           (RunSpecsDialog() && RunSpecsEditorLogic().edited()) ||
           (OutputSpecsEditorWindow() && OutputSpecsEditorLogic().edited()) ||
           (MultipleRunEditorWindow() && MultipleRunEditorLogic().edited());
}
