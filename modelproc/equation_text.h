// Keldor text of processed equations, as the equation file holds them.
#pragma once

#include <string>

struct EquationRec;

/// Appends one equation: four blanks, the left side, " = ", the right side and a line end;
/// a piece that would pass column 76 goes to a continuation line after "\\" and six blanks.
void writeEquationText(const EquationRec* eq, std::string& out);

/// The text of an operator node in equation text (" power ", " =/= ", ...); null for other kinds.
const char* equationOperatorText(int kind);

/// The shortest text of a real literal that reads back to the same double, in the form "%g"
/// would choose; digits alone get ".0", so that the literal stays a real for every reader.
std::string realLiteralText(double value);
