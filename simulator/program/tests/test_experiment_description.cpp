// The experiment description of the processed mass-spring-damper and its default
// experiment against a golden text, the sections left out, and its pages.
#include "simulator_harness.h"

#include "platform/core/device_context.h"
#include "platform/testing/temp_dir.h"
#include "simulator/program/experiment_printout.h"
#include "simulator/experiment_description.h"
#include "simulator/plot_specs.h"
#include "simulator/run_specs.h"
#include "simulator/simulator_commands.h"
#include "simulator/simulator_state.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <fstream>

using simtest::Simulator;

namespace {

/// 2023-11-14 22:13:20 UTC.
constexpr std::time_t Noon = 1700000000;

/// Local time is UTC while the test runs.
class UtcClock : public ::testing::Test {
protected:
    void SetUp() override { tzset(); }
    testsupport::ScopedEnvironment m_timeZone{"TZ", "UTC"};
};

std::string joined(const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& line : lines)
        text += line + "\n";
    return text;
}

/// The lines from the heading up to the next empty line after its underline block.
std::vector<std::string> section(const std::vector<std::string>& lines, const std::string& heading)
{
    auto it = std::find(lines.begin(), lines.end(), heading);
    if (it == lines.end())
        return {};
    std::vector<std::string> out;
    for (it += 3; it != lines.end(); ++it) {
        out.push_back(*it);
        if (it->empty() && out.size() > 1)
            break;
    }
    return out;
}

} // namespace

TEST_F(UtcClock, TheDescriptionOfTheDefaultExperimentIsTheGoldenText)
{
    Simulator s;
    s.openExperiment("default");
    PlotSpecs().curves[1].display = 0; // a curve switched off is listed with " (Off)"
    MultipleRuns().description = [] { return std::vector<std::string>{"", "Multiple Runs:", "(none)"}; };
    const std::string text = joined(WriteExperimentDescription(DescriptionSections{}, Noon));
    const std::string golden = ORVANTA_SOURCE_DIR "/simulator/program/tests/golden/experiment_description.txt";
    if (std::getenv("ORVANTA_UPDATE_GOLDEN"))
        std::ofstream(golden) << text;
    EXPECT_EQ(text, testsupport::readText(golden));
}

TEST_F(UtcClock, SectionsLeftOutUntitledExperimentsAndModelsWithoutParameters)
{
    Simulator s("-model loop1");
    DescriptionSections sections;
    sections.runSpecifications = sections.plotSpecifications = false;
    const std::vector<std::string> lines = WriteExperimentDescription(sections, Noon);
    EXPECT_EQ(lines[3], "Model:\t\tloop1");
    EXPECT_EQ(lines[4], "Experiment:\tuntitled");
    EXPECT_EQ(lines[6], "Date:\t\t11/14/23");
    EXPECT_EQ(lines[7], "Time:\t\t22:13:20");
    // No parameters: the heading, its underline and one empty line.
    const auto at = std::find(lines.begin(), lines.end(), "Parameters:");
    ASSERT_NE(at, lines.end());
    EXPECT_EQ(std::vector<std::string>(at, at + 5),
              (std::vector<std::string>{"Parameters:", "===========", "", "", ""}));
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "Run Specifications:"), 0);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "Plot Specifications:"), 0)
        << "an unchecked plot section is left out";

    // Only the plot section: the time axis and no curves.
    sections = {false, false, false, false, true};
    const std::vector<std::string> plot = WriteExperimentDescription(sections, Noon);
    EXPECT_EQ(plot.back(), "X-Axis\tTime \t0 \t5");
}

TEST_F(UtcClock, TheRunSpecificationsListTheRowsTheMethodUses)
{
    Simulator s;
    RunSpecs().method = MethodBdf;
    RunSpecs().settings[MethodBdf][RowInitialStep].switchOn = 1;
    DescriptionSections sections{false, false, true, false, false};
    EXPECT_EQ(section(WriteExperimentDescription(sections, Noon), "Run Specifications:"),
              (std::vector<std::string>{"Integration Method    \tBackwDiffForm", "Start Time            \t0",
                                        "Finish Time           \t5", "Absolute Integr. Error\t1e-05",
                                        "Relative Integr. Error\t1e-05", "Initial Step Size     \t0.001", ""}));
}

TEST(DescriptionPages, EveryLineIsPrintedWhenOneIsLeftForTheLastPage)
{
    EXPECT_EQ(DescriptionLinesPerPage(1000, 50), 19) << "one fewer than fit";
    EXPECT_EQ(DescriptionLinesPerPage(40, 50), 1) << "a page shorter than a line still takes one";
    EXPECT_EQ(DescriptionLinesPerPage(1000, 0), 1);
    EXPECT_EQ(DescriptionPageStarts(39, 19), (std::vector<int>{0, 19, 38})) << "the 39th line gets its page";
    EXPECT_EQ(DescriptionPageStarts(38, 19), (std::vector<int>{0, 19}));
    EXPECT_EQ(DescriptionPageStarts(0, 19), (std::vector<int>{0}));
    EXPECT_EQ(DescriptionClipboardText({"a", "", "b"}), "a\r\n\r\nb\r\n");
}

// The printout on a device of 13-pixel lines: a page of 20 lines holds 19; 39 lines
// make three pages, the last with one line, and no line is left out.
TEST(DescriptionPages, ThePrintoutPutsTheLastLineOnAPageOfItsOwn)
{
    for (int count : {39, 38, 20, 1}) {
        std::vector<std::string> lines;
        for (int i = 0; i < count; ++i)
            lines.push_back("line " + std::to_string(i));
        ExperimentPrintout printout(lines);
        platform::RecordingDeviceContext dc;
        const int printed = platform::printPages(printout, dc, 600, 13 * 20, [] { return true; });
        std::vector<std::string> all;
        for (const std::string& call : dc.calls())
            if (call.rfind("text ", 0) == 0)
                all.push_back(call.substr(call.find("line ")));
        EXPECT_EQ(all, lines) << count << " lines";
        EXPECT_EQ(printed, (count + 18) / 19) << count << " lines";
        // Each page starts at its top.
        int tops = 0;
        for (const std::string& call : dc.calls())
            tops += call.rfind("text 0 0 ", 0) == 0;
        EXPECT_EQ(tops, printed) << count << " lines";
    }
}
