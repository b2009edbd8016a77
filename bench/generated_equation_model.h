// The generated Keldor main model the parsing and editor benchmarks read.
#pragma once

#include <string>

/// A main model of 2n + 5 lines: n variables, each computed from its neighbour,
/// the time and a call.
inline std::string generatedEquationModel(int n)
{
    std::string text = "class gen version 1\nparameters\n  real k\nvariables\n";
    for (int i = 0; i < n; ++i)
        text += "  real x" + std::to_string(i) + "\n";
    text += "equations\n";
    for (int i = 0; i < n; ++i)
        text += "  x" + std::to_string(i) + " = k * x" + std::to_string((i + 1) % n) + " + sin(t) ^ 2 - 1.5e-3\n";
    return text;
}
