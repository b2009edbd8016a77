// The Keldor models of the stiff chains benchmark: an RC ladder and a chain of masses, springs
// and dampers of n stages whose capacitances or masses are spread evenly in their logarithm
// over six decades, from 1e-6 at the driven end to 1 at the free end, all resistances, springs
// and dampers 1, driven by sin(2 pi t) at the first stage.
#pragma once

#include <cmath>
#include <cstdio>
#include <string>

namespace chainmodels {

/// 1 / C_i of the ladder's or 1 / m_i of the chain's stage i (of n), from 1e6 down to 1.
inline double inverseConstant(int i, int n) { return std::pow(10.0, 6.0 - 6.0 * i / (n - 1)); }

/// A real literal of Keldor that reads back as the value to the bit.
inline std::string literal(double value)
{
    char text[40];
    std::snprintf(text, sizeof text, "%.17e", value);
    return text;
}

inline const std::string Drive = "sin(6.283185307179586 * t)";

/// Node voltages v_i: C_i v_i' = v_i-1 - v_i + v_i+1 - v_i, v_-1 the drive, the last node open.
inline std::string ladderModel(int n)
{
    auto v = [](int i) { return "v" + std::to_string(i); };
    std::string text = "class ladder version 1\nvariables\n";
    for (int i = 0; i < n; ++i)
        text += "  real " + v(i) + "\n";
    text += "equations\n";
    for (int i = 0; i < n; ++i) {
        const std::string left = i == 0 ? Drive : v(i - 1);
        const std::string right = i + 1 < n ? " + (" + v(i + 1) + " - " + v(i) + ")" : std::string();
        text += "  " + v(i) + " = int((" + left + " - " + v(i) + right + ") * " + literal(inverseConstant(i, n)) + ")\n";
    }
    return text;
}

/// Positions x_i and velocities v_i: m_i v_i' = x_i-1 - x_i + v_i-1 - v_i + x_i+1 - x_i + v_i+1 - v_i,
/// the base before the first mass moving as the drive, the last mass free.
inline std::string chainModel(int n)
{
    auto x = [](int i) { return "x" + std::to_string(i); };
    auto v = [](int i) { return "v" + std::to_string(i); };
    std::string text = "class chain version 1\nvariables\n";
    for (int i = 0; i < n; ++i)
        text += "  real " + x(i) + ", " + v(i) + "\n";
    text += "equations\n";
    for (int i = 0; i < n; ++i) {
        const std::string xl = i == 0 ? Drive : x(i - 1);
        const std::string vl = i == 0 ? "6.283185307179586 * cos(6.283185307179586 * t)" : v(i - 1);
        std::string force = "(" + xl + " - " + x(i) + ") + (" + vl + " - " + v(i) + ")";
        if (i + 1 < n)
            force += " + (" + x(i + 1) + " - " + x(i) + ") + (" + v(i + 1) + " - " + v(i) + ")";
        text += "  " + x(i) + " = int(" + v(i) + ")\n";
        text += "  " + v(i) + " = int((" + force + ") * " + literal(inverseConstant(i, n)) + ")\n";
    }
    return text;
}

} // namespace chainmodels
