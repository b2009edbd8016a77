// The plain-text description of the current experiment that the simulator prints or
// puts on the clipboard: model and experiment, date, the chosen sections of values,
// run specifications, multiple runs and plot specifications.
#pragma once

#include <ctime>
#include <string>
#include <vector>

/// The sections a description holds.
struct DescriptionSections {
    bool parameters = true;
    bool initialConditions = true;
    bool runSpecifications = true;
    bool multipleRuns = true;
    bool plotSpecifications = true;
};

/// The description's lines for the sections, dated `now` (local time).
std::vector<std::string> WriteExperimentDescription(const DescriptionSections& sections, std::time_t now);

/// One section of model values (kind 0 parameters, 1 initial conditions) appended to `lines`.
void WriteVariableSection(std::vector<std::string>& lines, int kind, const std::string& heading);

/// The lines joined for the clipboard, each followed by "\r\n".
std::string DescriptionClipboardText(const std::vector<std::string>& lines);

/// The lines a printed page holds: one fewer than fit on it, at least one.
int DescriptionLinesPerPage(int pageHeight, int lineHeight);

/// The first line of each printed page of `lineCount` lines; every line is on a page.
std::vector<int> DescriptionPageStarts(int lineCount, int linesPerPage);
