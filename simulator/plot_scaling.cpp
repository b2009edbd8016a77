// Plot scales. Every loop here is bounded: a scale that cannot be improved in
// finite numbers is left as it was.
#include "simulator/plot_scaling.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

double clampToBound(double v) { return std::clamp(v, -PlotBound, PlotBound); }

/// units times ten to the power e, so that a short decimal ("0.3") is the double nearest to it.
double decimal(double units, int e)
{
    if (e >= 0)
        return units * std::pow(10.0, e);
    if (e >= -300)
        return units / std::pow(10.0, -e);
    return units * std::pow(10.0, e);
}

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
    if (hi < lo)
        std::swap(lo, hi);
    double low = lo, high = hi;
    // Data that varies only in its last digits counts as constant: no decimal step would
    // tell its ends apart.
    if (hi - lo <= std::max(TinyRange, 1e-12 * std::max(std::fabs(lo), std::fabs(hi)))) {
        // Constant data: half a unit either way, or a tenth of its size when that is more.
        const double half = std::max(0.5, 0.1 * std::fabs(lo));
        low = lo - half;
        high = hi + half;
    } else {
        const double margin = ScaleMargin * (hi - lo);
        low = lo - margin;
        high = hi + margin;
    }
    low = clampToBound(low);
    high = clampToBound(high);
    static constexpr double Steps[] = {1, 2, 5};
    // The smallest step of 1, 2 or 5 times a power of ten that spans the data in at most
    // `MostScaleSteps` steps; the span has that step's multiples at both ends.
    int e = int(std::floor(std::log10((high - low) / MostScaleSteps)));
    for (int turn = 0; turn < 8; ++turn, ++e)
        for (double k : Steps) {
            const double step = decimal(k, e);
            if (!(step > 0) || !std::isfinite(step))
                continue;
            const double first = std::floor(low / step), last = std::ceil(high / step);
            if (last - first > MostScaleSteps)
                continue;
            const double newMin = decimal(first * k, e), newMax = decimal(last * k, e);
            // A step lost in the magnitude of the ends gives no scale.
            if (!std::isfinite(newMin) || !std::isfinite(newMax) || !(newMin < newMax) || newMin > lo || newMax < hi)
                return false;
            const bool changed = newMin != min || newMax != max;
            min = newMin;
            max = newMax;
            return changed;
        }
    return false;
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
