// The Keldor models of the large stiff benchmark: heat conduction by the method of lines, one
// equation per grid point, on a rod and on a square plate.
#pragma once

#include <string>

namespace heatmodels {

/// A rod of n points, the left end held at temperature ul and the right end at 0:
/// u_i' = k (u_i-1 - 2 u_i + u_i+1), with k = D / dx^2 a parameter.
inline std::string rodModel(int n)
{
    std::string text = "class rod version 1\nparameters\n  real k, ul\nvariables\n";
    for (int i = 0; i < n; ++i)
        text += "  real u" + std::to_string(i) + "\n";
    text += "equations\n";
    for (int i = 0; i < n; ++i) {
        const std::string left = i == 0 ? std::string("ul") : "u" + std::to_string(i - 1);
        const std::string right = i + 1 < n ? " + u" + std::to_string(i + 1) : std::string();
        text += "  u" + std::to_string(i) + " = int(k * (" + left + " - 2 * u" + std::to_string(i) + right + "))\n";
    }
    return text;
}

/// A square plate of m x m points, the edge x = 0 held at ul and the other edges at 0:
/// u_rc' = k (u_r-1,c + u_r+1,c + u_r,c-1 + u_r,c+1 - 4 u_rc), with k = D / dx^2.
inline std::string plateModel(int m)
{
    auto name = [m](int r, int c) { return "u" + std::to_string(r * m + c); };
    std::string text = "class plate version 1\nparameters\n  real k, ul\nvariables\n";
    for (int i = 0; i < m * m; ++i)
        text += "  real u" + std::to_string(i) + "\n";
    text += "equations\n";
    for (int r = 0; r < m; ++r)
        for (int c = 0; c < m; ++c) {
            std::string sum = c > 0 ? name(r, c - 1) : std::string("ul");
            if (c + 1 < m)
                sum += " + " + name(r, c + 1);
            if (r > 0)
                sum += " + " + name(r - 1, c);
            if (r + 1 < m)
                sum += " + " + name(r + 1, c);
            text += "  " + name(r, c) + " = int(k * (" + sum + " - 4 * " + name(r, c) + "))\n";
        }
    return text;
}

} // namespace heatmodels
