// Plot scales: the end-of-run spans, the growth of automatic scales, the bands of
// distributed curves, and scales that must stay finite whatever the data.
#include "simulator/plot_scaling.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>

namespace {

constexpr double Inf = std::numeric_limits<double>::infinity();
const double NaN = std::nan("");

struct Span {
    double lo, hi, min, max;
};

} // namespace

// Data from 0 to 0.5 gets -0.05..0.55, not a span twice its size with half of it empty;
// data at round values (0..1, 1..99) keeps clear of the frame; constant data gets half a
// unit either way, or a tenth of its size.
TEST(PlotScaling, EndOfRunScalesEncloseTheDataWithAMarginAtRoundEnds)
{
    for (const Span& s : {Span{0, 0.5, -0.05, 0.55}, Span{0, 1, -0.1, 1.1}, Span{0.13, 0.87, 0.1, 0.9},
                          Span{1, 99, -10, 110}, Span{-1, 1, -1.2, 1.2}, Span{0, 10, -1, 11}, Span{3, 3, 2.5, 3.5},
                          Span{0, 0, -0.5, 0.5}, Span{1000, 1000, 900, 1100}, Span{-0.004, 0.0031, -0.005, 0.004},
                          Span{250, 380, 240, 400}, Span{0, 2.7, -0.5, 3}, Span{3, 3 + 4e-16, 2.5, 3.5}}) {
        SCOPED_TRACE(testing::Message() << s.lo << ".." << s.hi);
        double min = 0, max = 1;
        ASSERT_TRUE(RoundScaleRange(s.lo, s.hi, min, max));
        EXPECT_NEAR(min, s.min, 1e-12 * std::max(1.0, std::fabs(s.min)));
        EXPECT_NEAR(max, s.max, 1e-12 * std::max(1.0, std::fabs(s.max)));
    }
}

namespace {

/// The step of 1, 2 or 5 times a power of ten whose multiples both ends are, in at most 12
/// steps; 0 when there is none.
double roundStep(double min, double max)
{
    for (int e = -12; e <= 12; ++e)
        for (double k : {1.0, 2.0, 5.0}) {
            const double step = k * std::pow(10.0, e);
            const double steps = (max - min) / step, first = min / step;
            if (steps <= 12 + 1e-9 && std::fabs(steps - std::round(steps)) < 1e-9 &&
                std::fabs(first - std::round(first)) < 1e-9)
                return step;
        }
    return 0;
}

} // namespace

// Over data of every size and place: the ends are round, the data keeps 2 % of its range
// clear of either end, and it fills more than two thirds of the scale.
TEST(PlotScaling, EveryEndOfRunScaleIsRoundClearOfTheDataAndMostlyFilledByIt)
{
    std::uint64_t state = 88172645463325252ull;
    auto uniform = [&state] {
        state ^= state << 13, state ^= state >> 7, state ^= state << 17;
        return double(state >> 11) / double(1ull << 53);
    };
    for (int n = 0; n < 20000; ++n) {
        const double lo = 200 * uniform() - 100, range = std::pow(10.0, 6 * uniform() - 3), hi = lo + range;
        double min = 0, max = 0;
        ASSERT_TRUE(RoundScaleRange(lo, hi, min, max)) << lo << ".." << hi;
        const double step = roundStep(min, max);
        EXPECT_GT(step, 0) << lo << ".." << hi << " gives " << min << ".." << max;
        EXPECT_LE(min, lo - 0.02 * range * (1 - 1e-9)) << lo << ".." << hi;
        EXPECT_GE(max, hi + 0.02 * range * (1 - 1e-9)) << lo << ".." << hi;
        EXPECT_GT(range / (max - min), 0.65) << lo << ".." << hi << " gives " << min << ".." << max;
    }
}

TEST(PlotScaling, EndOfRunSpansStayFiniteForDataAtTheBoundOrLostInItsOwnMagnitude)
{
    struct Case {
        double lo, hi;
    };
    for (const Case& c : {Case{-PlotBound, PlotBound}, Case{-Inf, Inf}, Case{1e20, 1e20 + 16384}, Case{5e306, PlotBound},
                          Case{1e-300, 2e-300}, Case{-1e308, -1e307}}) {
        SCOPED_TRACE(testing::Message() << c.lo << ".." << c.hi);
        double min = 0, max = 1;
        RoundScaleRange(c.lo, c.hi, min, max);
        EXPECT_TRUE(std::isfinite(min) && std::isfinite(max));
        EXPECT_LT(min, max);
    }
    double min = 0, max = 1;
    EXPECT_FALSE(RoundScaleRange(NaN, 1, min, max));
    EXPECT_EQ(min, 0);
    EXPECT_EQ(max, 1);
}

// A jump past max by x grows max to v + half the old range, two digits kept.
TEST(PlotScaling, AnAutomaticScaleGrowsHalfItsRangeBeyondTheValueRoundedToTwoDigits)
{
    double min = 0, max = 10;
    ScaleGrowth g = GrowScale(min, max, 13.7);
    EXPECT_TRUE(g.grew);
    EXPECT_FALSE(g.clamped);
    EXPECT_EQ(min, 0);
    EXPECT_EQ(max, 19); // 13.7 + 5 = 18.7, as "%.1e" prints it
    g = GrowScale(min, max, -3.14159);
    EXPECT_EQ(min, -13); // -3.14159 - 9.5
    EXPECT_EQ(max, 19);
    EXPECT_FALSE(GrowScale(min, max, 5).grew);
    EXPECT_FALSE(GrowScale(min, max, NaN).grew);

    min = max = 2; // no range: one unit either way
    EXPECT_TRUE(GrowScale(min, max, 7).grew);
    EXPECT_EQ(min, 1);
    EXPECT_EQ(max, 3);
}

TEST(PlotScaling, AHugeValueWidensTheScaleOnlyToTheBound)
{
    for (double v : {1e308, Inf}) {
        double min = 0, max = 1;
        const ScaleGrowth g = GrowScale(min, max, v);
        EXPECT_TRUE(g.grew && g.clamped);
        EXPECT_EQ(max, 1.8e307);
        EXPECT_EQ(min, 0);
    }
    double min = -1, max = 1;
    EXPECT_TRUE(GrowScale(min, max, -Inf).clamped);
    EXPECT_EQ(min, -1.8e307);
}

// Two curves from 0 to 1 and from 10 to 20: -1.75..1.25 truncated to -1.7..1.2 (unit 0.1)
// on top, 7.5..37.5 truncated to 7..37 (unit 1) below.
TEST(PlotScaling, DistributedCurvesTakeBandsTruncatedToTheirUnit)
{
    double min = 0, max = 0;
    DistributeScale(0, 1, 2, 0, min, max);
    EXPECT_NEAR(min, -1.7, 1e-12);
    EXPECT_NEAR(max, 1.2, 1e-12);
    DistributeScale(10, 20, 2, 1, min, max);
    EXPECT_NEAR(min, 7, 1e-12);
    EXPECT_NEAR(max, 37, 1e-12);
    DistributeScale(5, 5, 1, 0, min, max); // equal ends get 0.1 either way: 4.85..5.15
    EXPECT_NEAR(min, 4.85, 0.011);
    EXPECT_NEAR(max, 5.15, 0.011);
}

TEST(PlotScaling, TruncatingEndsWithInfiniteOrNaNLimitsEndsAndKeepsTheScaleFinite)
{
    double min = -Inf, max = Inf;
    TruncateScale(min, max, Inf, -Inf);
    EXPECT_TRUE(std::isfinite(min) && std::isfinite(max));
    EXPECT_LE(max, PlotBound);
    EXPECT_GE(min, -PlotBound);

    min = -1.75, max = 1.25;
    TruncateScale(min, max, NaN, 0);
    EXPECT_EQ(min, -1.75);
    TruncateScale(min, max, 1, 1); // no range
    EXPECT_EQ(max, 1.25);

    min = 1e10, max = 1e10 + 3; // hundredths far beyond an int
    TruncateScale(min, max, 1e10 + 1.25, 1e10 - 0.25);
    EXPECT_NEAR(min, 1e10, 1);
    EXPECT_NEAR(max, 1e10 + 3, 1);
}

TEST(PlotScaling, FractionsAreClampedAndNaNStaysNaN)
{
    EXPECT_EQ(ScaleFraction(5, 0, 10), 0.5);
    EXPECT_EQ(ScaleFraction(-5, 0, 10), 0.0);
    EXPECT_EQ(ScaleFraction(Inf, 0, 10), 1.0);
    EXPECT_EQ(ScaleFraction(3, 3, 3), 0.0);
    EXPECT_EQ(ScaleFraction(4, 3, 3), 1.0);
    EXPECT_TRUE(std::isnan(ScaleFraction(NaN, 0, 1)));
}
