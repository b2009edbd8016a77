// The arithmetic of plot scales: mapping a value into the plot area, growing an
// automatic scale while a run goes on, rounding a scale to round ends around the
// data when a run ends, and the bands of distributed curves.
#pragma once

/// Values beyond plus or minus this bound are clamped: a tenth of the largest double.
inline constexpr double PlotBound = 1.7976931348623157e307;
/// A scale range below this one is replaced by it before dividing.
inline constexpr double TinyRange = 2.225073858507201e-309;

/// Where v lies on the scale [min, max] as a fraction clamped to [0, 1]; NaN for a NaN value.
double ScaleFraction(double v, double min, double max);

/// A number rounded to two significant digits as "%.1e" prints it.
double RoundToTwoDigits(double value);

/// What growing a scale did.
struct ScaleGrowth {
    bool grew = false;    ///< the value lay outside the scale, which now holds it
    bool clamped = false; ///< an end had to be held at the plot bound
};

/// Widens [min, max] to hold v: half the old range beyond v (one unit either way for a
/// scale of no range), each end kept within the bound and rounded to two digits. A NaN
/// value changes nothing.
ScaleGrowth GrowScale(double& min, double& max, double v);

/// The share of the data's range left free beyond either end of an end-of-run scale.
inline constexpr double ScaleMargin = 0.02;
/// The most steps an end-of-run scale spans.
inline constexpr int MostScaleSteps = 12;

/// The end-of-run scale for data from lo to hi: ends at multiples of the smallest step of
/// 1, 2 or 5 times a power of ten that encloses the data, with `ScaleMargin` of its range
/// either way, in at most `MostScaleSteps` steps (constant data: half a unit either way,
/// or a tenth of its size). True when the scale changed; false, the scale as it was, when
/// no finite scale holds the data.
bool RoundScaleRange(double lo, double hi, double& min, double& max);

/// Coarsens both ends of a scale to whole hundredths of a unit that follows the size of
/// hi - lo. Ends beyond the bound are held at it; nothing changes when either limit is
/// NaN or hi is not above lo.
void TruncateScale(double& min, double& max, double hi, double lo);

/// The scale of the j-th of n distributed curves whose values run from lo to hi: its own
/// band, padded by a quarter of its range either way, with the first curve on top. Then
/// `TruncateScale` as for the band.
void DistributeScale(double lo, double hi, int n, int j, double& min, double& max);
