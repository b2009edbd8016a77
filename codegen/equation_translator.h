// Turns one equation of the processed model into a C statement over the arrays of
// the generated program, with a readable copy for comments and its target.
#pragma once

#include "codegen/generator_model.h"

#include <optional>
#include <string>

/// Translates the equation in place: C text, readable text and target. False, after
/// a message naming the equation (and `where` it stands, when given), when it uses
/// something the generated C cannot express.
bool TranslateEquation(EquationRecord& equation, GeneratorModel& model, const std::string& where = {});

/// Sets the target of a translated equation from its left-hand side ("V[3] = ..."): the
/// record that reference names, or none. Leading white space leaves the text for good.
void FindLeftHandSide(EquationRecord& equation, const GeneratorModel& model);

/// The fewest and the most instructions the code form of an equation takes, as the model
/// processor generates it from the same equation (a sign before a literal may belong to the
/// literal or be an instruction of its own).
struct InstructionCount {
    long least = 0;
    long most = 0;
};

/// The instructions of the code form of an equation in its model-language text; none when the
/// text is no equation of the form the model processor writes, or has an element with computed
/// indices.
std::optional<InstructionCount> CountInstructions(const std::string& text);
