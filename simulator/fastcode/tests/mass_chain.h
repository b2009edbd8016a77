// A chain of masses between two walls as model code, and a classic fourth-order
// Runge-Kutta run over it, for comparing native code with the interpreter.
#pragma once

#include <string>
#include <vector>

namespace masschain {

/// The code file of `masses` masses joined by springs and dampers (states: positions, then speeds).
std::string codeText(int masses);

/// Sets the parameters and displaces the first mass.
void setUp(int masses);

/// `steps` RK4 steps of size h from t = 0 through `EvaluateModel`; returns the final states.
std::vector<double> run(int masses, int steps, double h);

} // namespace masschain
