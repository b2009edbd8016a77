// Moving through the model hierarchy (Show Submodel, Show Parent and the chain
// of parents), starting the simulator and the other programs through the
// editor's own main window, and generating C code with the loadable module.
#pragma once

#include "grapheditor/graph_objects.h"

#include <string>
#include <vector>

/// The levels left on the way down, the last pushed at the back.
std::vector<ParentFrame>& ParentChain();
void ForgetParentChain();

int HasParent();
int IsSubmodelShown();

void ShowParent();
/// Opens the model of the submodel's type (an equation model in the equation editor).
void ShowSubmodel(const SubmodelType& type, const std::string& instanceName);

/// The top model of the chain: 1 with its name, 0 (and an empty name) for a
/// submodel shown without a chain.
int TopModelName(std::string& name);
/// The top model and the path of instance names down to `lastName`, joined by "`".
void SubmodelPath(std::string& topModel, std::string& path, const std::string& lastName);

/// Generates C code for the model, or for the selected submodel of it.
void generate_c_code(const std::string& selectedName);
/// The generation after the model was processed for it.
void ContinueCCodeGeneration(const std::string& selectedName);

/// The name the processed model's files carry: the model name, which holds its version digit.
std::string ProcessedModelName();

/// Hands the model to the simulator; 1 when the request was posted.
int StartSimulator();

/// Posts UM_LAUNCH for the program (1 equation editor, 2 simulator, 3 model
/// processor) with " -model <name>" (and " -cmpnt <window>" first for the
/// processor) to the editor's own main window; 1 when posted.
int post_to_main_window(int program, const std::string& name);
