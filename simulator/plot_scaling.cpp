// Plot scales. Every loop here is bounded: a scale that cannot be improved in
// finite numbers is left as it was.
#include "simulator/plot_scaling.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr double SmallestRange = 2.2250738585072014e-307;
constexpr double SmallestSpan = 2.2250738585072014e-308;

double clampToBound(double v) { return std::clamp(v, -PlotBound, PlotBound); }

} // namespace

double ScaleFraction(double v, double min, double max)
{
    if (std::isnan(v))
        return v;
    double r = max - min;
    if (!(r >= TinyRange))
        r = TinyRange;
    const double t = (v - min) / r;
    if (std::isnan(t)) // an infinite value on an infinite scale
        return v > 0 ? 1.0 : 0.0;
    return std::clamp(t, 0.0, 1.0);
}

double RoundToTwoDigits(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1e", value);
    return std::strtod(text, nullptr);
}

ScaleGrowth GrowScale(double& min, double& max, double v)
{
    ScaleGrowth growth;
    if (!(v > max) && !(v < min))
        return growth; // inside, or NaN
    growth.grew = true;
    const double r = std::fabs(max - min);
    if (r <= TinyRange) {
        min = std::floor(min - 1);
        max = std::floor(max + 1);
    } else if (v > max) {
        max = v + 0.5 * r;
    } else {
        min = v - 0.5 * r;
    }
    if (min < -PlotBound || max > PlotBound) {
        growth.clamped = true;
        min = clampToBound(min);
        max = clampToBound(max);
    }
    min = RoundToTwoDigits(min);
    max = RoundToTwoDigits(max);
    return growth;
}

bool RoundScaleRange(double lo, double hi, double& min, double& max)
{
    if (std::isnan(lo) || std::isnan(hi))
        return false;
    lo = clampToBound(lo);
    hi = clampToBound(hi);
    double r = std::fabs(hi - lo);
    if (r <= TinyRange)
        r = std::fabs(std::floor(hi + 1) - std::floor(lo - 1));
    if (r == 0)
        return false;
    r = std::clamp(r, SmallestRange, PlotBound);
    int e = int(std::trunc(std::log10(r)));
    if (e <= 0)
        e -= 1;
    if (std::abs(e) > 307) {
        e = e > 0 ? 307 : -307;
        r = PlotBound;
    }
    const double q = r / std::pow(10.0, e);
    int k = 1 + (q > 1) + (q > 2) + (q > 5);

    static constexpr double Spans[] = {1, 2, 5};
    bool found = false;
    double newMin = 0, newMax = 0, step = 0;
    // The span grows tenfold every third turn, so its lower end passes lo within a few turns.
    for (int turn = 0; turn < 2000; ++turn) {
        if (k == 4) {
            k = 1;
            ++e;
        }
        const double span = std::pow(10.0, e) * Spans[k - 1];
        if (span <= SmallestSpan || !std::isfinite(span))
            break;
        step = span / 10;
        newMax = std::ceil(hi / step) * step;
        newMin = newMax - span;
        found = true;
        if (!(newMin >= lo))
            break;
        ++k;
    }
    if (!found)
        return false;
    // Centring moves the span by whole steps: at most ten of them unless a step is lost
    // in the magnitude of the ends, when it stops.
    for (int turn = 0; turn < 20 && (lo - newMin) + (hi - newMax) > step; ++turn) {
        const double movedMin = newMin + step, movedMax = newMax + step;
        if (movedMin == newMin && movedMax == newMax)
            break;
        newMin = movedMin;
        newMax = movedMax;
    }
    if (!std::isfinite(newMin) || !std::isfinite(newMax) || !(newMin < newMax))
        return false;
    const bool changed = newMin != min || newMax != max;
    min = newMin;
    max = newMax;
    return changed;
}

void TruncateScale(double& min, double& max, double hi, double lo)
{
    if (std::isnan(hi) || std::isnan(lo))
        return;
    hi = clampToBound(hi);
    lo = clampToBound(lo);
    double r = hi - lo;
    if (!(r > 0))
        return;
    int n = 0;
    double base = 10;
    if (r > 1) {
        while (r > 1) {
            r /= 10;
            ++n;
        }
        n -= 2;
    } else {
        while (r < 1) {
            r *= 10;
            ++n;
        }
        base = 0.1;
        n += 1;
    }
    const double unit = std::pow(base, n);
    auto truncated = [unit](double v) {
        if (std::isnan(v))
            return v;
        const double hundredths = std::trunc(100 * clampToBound(v) / unit);
        return clampToBound(std::trunc(hundredths / 100) * unit);
    };
    min = truncated(min);
    max = truncated(max);
}

void DistributeScale(double lo, double hi, int n, int j, double& min, double& max)
{
    if (lo == hi) {
        lo -= 0.1;
        hi += 0.1;
    }
    double r = hi - lo;
    hi += 0.25 * r;
    lo -= 0.25 * r;
    r = hi - lo;
    min = lo - (n - j - 1) * r;
    max = hi + j * r;
    TruncateScale(min, max, hi, lo);
}
