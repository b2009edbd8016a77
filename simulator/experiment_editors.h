// The experiment editors of the simulator's window in one place: their parent, what
// the plot tells them, and their refresh after a model or an experiment was loaded.
#pragma once

class QWidget;

/// Gives the editors their parent and connects the plot's clicks and kept runs to them.
void WireExperimentEditors(QWidget* parent);
/// A model or an experiment was loaded: the open editors show the live records again.
void RefreshExperimentEditors();
/// The open editors show the model and experiment names of the experiment record.
void ShowExperimentEditorTitles();
/// Whether an open editor holds edits that were not applied yet.
bool ExperimentEditorsHoldUnappliedEdits();
