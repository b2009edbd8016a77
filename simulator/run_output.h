// The per-run output: the communication interval, the numerical data file (".n")
// and the MATLAB script and data files (".m", ".d").
#pragma once

#include <optional>
#include <string>
#include <vector>

/// Prepares the run's output sinks; false refuses the run (after its message).
bool PrepareOutput(int continuing);
/// After each accepted step: one output row when the communication interval allows.
void OutputStep();
/// At the end of a run: closes every sink; a new result file then replaces the old one unless
/// writing it failed (which is reported).
void FinishOutput();
/// When the run could not start: closes every sink and keeps no new result file.
void AbandonOutput();

/// Connects these to the integration methods' output hooks.
void InstallRunOutput();

/// The (time, value) pairs of a Y-axis input file: finite numbers separated by white space.
class YAxisInput {
public:
    /// Reads the file; false when it cannot be opened, or, with `refusal` saying where and why,
    /// when it holds a word that is no finite number, a time without its value or no pair.
    bool open(const std::string& path);
    /// The lines of a message that tells what is wrong where in the file last refused.
    const std::vector<std::string>& refusal() const { return m_refusal; }
    /// The straight line through the pairs around T; 0 past the last pair.
    double valueAt(double t);

private:
    std::vector<std::pair<double, double>> m_pairs;
    std::size_t m_next = 0;
    std::pair<double, double> m_previous{}, m_nextPair{};
    bool m_exhausted = false;
    std::vector<std::string> m_refusal;
};

/// Opens the input file of every displayed file curve; false refuses the run.
bool StartYAxisInputs();
/// The input value of curve `index` at time T (0 for a curve without one).
double YAxisInputValue(int index, double t);
void FinishYAxisInputs();

/// The content of a data file.
struct DataFileContent {
    int version = 0;
    std::string modelName;
    std::string experimentName;
    std::vector<std::string> names;       ///< the x name first when the x axis is not time
    std::vector<std::vector<double>> rows; ///< x (or time), then one value per name after the x name
};

/// Reads a data file of any version (rows hold a time column first when the x axis is time).
/// Nothing after "Can not open for reading:"; nothing either for a file that is damaged, or
/// whose rows are not as wide as its names say, when `damage` gets the lines that say what is
/// wrong where: the heading, the file and the place.
std::optional<DataFileContent> ReadDataFileContent(const std::string& path, bool xIsTime,
                                                   std::vector<std::string>* damage = nullptr);

/// The variable's name when it may be written to the output files (kinds 4 to 10 but 7), else null.
const char* OutputVariableName(int kind, int variable, int nameIndex);
