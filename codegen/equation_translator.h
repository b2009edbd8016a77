// Turns one equation of the processed model into a C statement over the arrays of
// the generated program, with a readable copy for comments and its target.
#pragma once

#include "codegen/generator_model.h"

#include <string>

/// Translates the equation in place: C text, readable text and target. False, after
/// a message naming the equation (and `where` it stands, when given), when it uses
/// something the generated C cannot express.
bool TranslateEquation(EquationRecord& equation, GeneratorModel& model, const std::string& where = {});

/// Sets the target of a translated equation from its left-hand side ("V[3] = ..."): the
/// record that reference names, or none. Leading white space leaves the text for good.
void FindLeftHandSide(EquationRecord& equation, const GeneratorModel& model);
