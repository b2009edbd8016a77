// The per-run output. Rows go to the data file as 8-byte little-endian reals with a
// line-feed byte after each row; the MATLAB data file gets " %.15G" columns. A new data
// file is written beside the old one and replaces it only when every write, the flush and
// the close succeeded, so a full disk never leaves the user with an empty result file; a
// continued run writes the old rows and its own into a new file in the same way. The MATLAB
// script waits beside its data file and the two replace the old pair together.
#include "simulator/run_output.h"

#include "common/message_boxes.h"
#include "common/model_file_names.h"
#include "common/number_words.h"
#include "common/text_helpers.h"
#include "platform/core/file_system.h"
#include "platform/core/vector_state.h"
#include "simulator/integration_methods.h"
#include "simulator/model_variables.h"
#include "simulator/multiple_runs.h"
#include "simulator/plot_buffers.h"
#include "simulator/plot_specs.h"
#include "simulator/run_specs.h"
#include "simulator/run_state.h"
#include "simulator/simulator_state.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>

#include <unistd.h>

namespace {

/// A token of a damaged file as a message shows it: at most 25 characters, and a byte
/// that is no printable character as '?'.
std::string shownToken(std::string_view text)
{
    std::string shown(text.substr(0, 25));
    for (char& c : shown)
        if (static_cast<unsigned char>(c) < 32 || static_cast<unsigned char>(c) > 126)
            c = '?';
    return shown;
}

/// A result file being written into a new file beside it, which replaces it when it is closed.
struct ResultFile {
    std::FILE* file = nullptr;
    std::string path;
    std::unique_ptr<platform::AtomicFile> fresh; ///< the new file until it replaces the old one
    /// A new file that belongs with this one (the MATLAB script beside its data): put in place
    /// after it and only with it, so that the two stay a pair.
    std::unique_ptr<platform::AtomicFile> companion;

    explicit operator bool() const { return file != nullptr; }

    /// Starts a new file; false when the new file cannot be made. A continued file begins with
    /// the rows of the old one and replaces it as a new file does (a link at the name is
    /// replaced, never written through).
    bool create(const std::string& target, platform::AtomicFile::Start start = platform::AtomicFile::Start::Empty)
    {
        discard();
        auto made = std::make_unique<platform::AtomicFile>(target, start);
        // The rows go through a stream of their own, which is closed before the file is put in place.
        file = made->openStream();
        if (!file)
            return false;
        path = target;
        fresh = std::move(made);
        return true;
    }

    /// Continues an existing file.
    bool append(const std::string& target) { return create(target, platform::AtomicFile::Start::WithOldContent); }

    /// Closes the file; true when everything written reached it. A new file then replaces
    /// the old one; on failure, or with `keep` false, the old file stays as it was.
    bool close(bool keep = true)
    {
        if (!file)
            return true;
        bool ok = std::ferror(file) == 0;
        ok = std::fflush(file) == 0 && ok;
        ok = std::fclose(file) == 0 && ok;
        file = nullptr;
        if (fresh) {
            // Both are linked beside their files before either is put in place; the data goes
            // first, which a reader of an unchanged script never sees out of step.
            if (ok && keep)
                ok = fresh->link() && (!companion || companion->link()) && fresh->replace() &&
                     (!companion || companion->replace());
            fresh.reset(); // what was not put in place is given up
        }
        companion.reset();
        return ok;
    }

    /// Closes without keeping a new file.
    void discard() { close(false); }
};

struct OutputState {
    double nextOutput = 0.0;
    bool useInterval = false;
    double interval = 0.0;
    double start = 0.0;
    ResultFile data;
    bool skipNextRow = false;
    ResultFile matlab;
} g;

std::array<std::optional<YAxisInput>, CurveCount> g_inputs;

double valueOf(int kind, int variable)
{
    const double* values = Variables().kinds[kind].values;
    return values && variable < Variables().kinds[kind].count ? values[variable] : 0.0;
}

std::vector<const PlotCurve*> curvesWith(int PlotCurve::*flag)
{
    std::vector<const PlotCurve*> out;
    for (const PlotCurve& c : PlotSpecs().curves)
        if (c.*flag && !c.fromFile && OutputVariableName(c.kind, c.variable, c.nameIndex))
            out.push_back(&c);
    return out;
}

std::string headerText()
{
    const PlotSpecification& specs = PlotSpecs();
    const auto stored = curvesWith(&PlotCurve::store);
    const bool xName = !specs.xIsTime && OutputVariableName(specs.x.kind, specs.x.variable, specs.x.nameIndex);
    std::string text = "#Formatver\t4\n#Hclass\t" + Experiment().modelName + "\t#Hexpmt\t" +
                       Experiment().experimentName + "\n#Nvariables\t" +
                       std::to_string(stored.size() + (xName ? 1 : 0)) + "\n";
    if (xName)
        text += std::string(OutputVariableName(specs.x.kind, specs.x.variable, specs.x.nameIndex)) + "\n";
    for (const PlotCurve* c : stored)
        text += std::string(OutputVariableName(c->kind, c->variable, c->nameIndex)) + "\n";
    return text;
}

void putReal(std::string& row, double value)
{
    std::uint64_t bits = std::bit_cast<std::uint64_t>(value);
    for (int i = 0; i < 8; ++i)
        row += char((bits >> (8 * i)) & 0xFF);
}

double xValue()
{
    const PlotSpecification& specs = PlotSpecs();
    return specs.xIsTime ? SimulationTime : valueOf(specs.x.kind, specs.x.variable);
}

bool experimentReady()
{
    if (Experiment().modelName.empty()) {
        ShowMessage({"No model loaded."});
        return false;
    }
    if (Experiment().experimentName.empty()) {
        ShowMessage({"No experiment given. Load or save experiment first."});
        return false;
    }
    const std::string& dir = Experiment().experimentDirectory;
    if (!platform::isDirectory(dir) && !platform::makeDirectories(dir)) {
        ShowStatus("Error: could not create " + dir, true);
        ShowMessage({"Error: could not create " + dir});
    }
    return true;
}

std::string dataFilePath()
{
    return MakeDataFileName(Experiment().experimentDirectory, Experiment().modelName, Experiment().experimentName);
}

bool openNewDataFile(const std::string& path)
{
    if (!g.data.create(path)) {
        ShowMessage({"Can not open file to write:", path});
        return false;
    }
    const std::string header = headerText();
    std::fwrite(header.data(), 1, header.size(), g.data.file);
    return true;
}

bool startDataFile(int continuing)
{
    const std::string path = dataFilePath();
    if (!continuing)
        return openNewDataFile(path);
    const std::optional<std::string> existing = platform::readFile(path);
    if (!existing) {
        ShowMessage({"Experiment's numerical-data file does not exist;", "a new file will be created."});
        return openNewDataFile(path);
    }
    const std::string header = headerText();
    const std::optional<DataFileContent> content = ReadDataFileContent(path, PlotSpecs().xIsTime != 0);
    // Consistent when the names and their number are those the output now writes.
    bool consistent = content && content->version >= 4;
    if (consistent) {
        std::string expected;
        for (const std::string& name : content->names)
            expected += name + "\n";
        consistent = header.size() >= expected.size() &&
                     header.compare(header.size() - expected.size(), std::string::npos, expected) == 0 &&
                     header.find("#Nvariables\t" + std::to_string(content->names.size()) + "\n") != std::string::npos;
    }
    if (consistent) {
        if (!g.data.append(path)) {
            ShowMessage({"Can not open file to append:", path});
            return false;
        }
        g.skipNextRow = true;
        return true;
    }
    if (!ShowConfirm("Cancel", "Overwrite",
                     {"The numerical-output spec's are not consistent with", "the existing output file. Overwrite the file? "}))
        return false;
    return openNewDataFile(path);
}

std::string matlabName(std::string name)
{
    std::replace(name.begin(), name.end(), '`', '_');
    return name;
}

std::string stemOf(const std::string& path)
{
    std::string name = path.substr(path.find_last_of('/') + 1);
    return name.substr(0, name.find_last_of('.'));
}

bool startMatlab()
{
    const ExperimentRecord& e = Experiment();
    auto script = MakeMatlabScriptFileName(e.experimentDirectory, e.modelName, e.experimentName);
    auto data = MakeMatlabDataFileName(e.experimentDirectory, e.modelName, e.experimentName);
    if (!script || !data) {
        ShowMessage({"Error: Could not create matlab output files"});
        return false;
    }
    // During a series every run has files of its own, and names of its own in them: the
    // run number goes before the extension of both files and after every name.
    const std::string run = MultipleRunSeriesActive() ? std::to_string(CurrentRunNumber()) : std::string();
    script->insert(script->find_last_of('.'), run);
    data->insert(data->find_last_of('.'), run);
    ShowStatus("Writing matlab script file:\r\n" + *script + "\r\n", true);
    ShowStatus("and corresponding matlab data file:\r\n" + *data, true);
    const std::string base = stemOf(*script), dataName = stemOf(*data);
    const PlotSpecification& specs = PlotSpecs();
    int column = 1;
    std::string text = "%MATLAB script file, generated by Orvanta Simulator PC Version 2.3 \n";
    text += "%Generated for model " + base + "\n";
    text += "%Load corresponding data file:\nload " + base + ".d\n";
    text += "%Time t" + run + ":\nt" + run + " = " + dataName + "(:," + std::to_string(column++) + ");\n";
    std::string xName = "t" + run;
    std::string available = "Variables available: t" + run;
    const char* xVariable = specs.xIsTime ? nullptr : OutputVariableName(specs.x.kind, specs.x.variable, specs.x.nameIndex);
    if (xVariable) {
        xName = matlabName(xVariable) + run;
        text += "%Variable on x-axis:\n" + xName + " = " + dataName + "(:," + std::to_string(column++) + ");\n";
        available += ", " + xName;
    }
    text += "%Variables on y-axis:\n";
    std::vector<std::string> yNames;
    for (const PlotCurve* c : curvesWith(&PlotCurve::matlab)) {
        const std::string name = matlabName(c->label.empty() ? OutputVariableName(c->kind, c->variable, c->nameIndex)
                                                             : c->label) + run;
        text += name + " = " + dataName + "(:," + std::to_string(column++) + ");\n";
        yNames.push_back(name);
        available += ", " + name;
    }
    text += "%Clear garbage\nclear " + dataName + "\npack\n";
    text += "disp ('" + available + "')\n";
    if (MultipleRunSeriesActive() && CurrentRunNumber() > 1)
        text += "%hold the current plot\nhold on;\n";
    text += "plot (" + xName + ", ";
    for (std::size_t i = 0; i < yNames.size(); ++i)
        text += (i ? ", " + xName + ", " : std::string()) + yNames[i];
    text += ")\n";
    // The script replaces the old one with the data at the end of the run, so that a run that
    // fails or is killed leaves the pair of the run before.
    auto pendingScript = std::make_unique<platform::AtomicFile>(*script);
    if (pendingScript->error() != 0) {
        ShowMessage({"Can not open file to write:", *script});
        return false;
    }
    const std::string_view pieces[] = {text};
    if (!pendingScript->write(pieces)) {
        ShowMessage({"Warning: an error occurred at writing Matlab script file.", *script});
        return false;
    }
    if (!g.matlab.create(*data)) {
        ShowMessage({"Can not open malab datafile to write:", *data});
        return false;
    }
    g.matlab.companion = std::move(pendingScript);
    return true;
}

void writeRows()
{
    if (g.data) {
        if (g.skipNextRow) {
            g.skipNextRow = false;
        } else {
            std::string row;
            putReal(row, xValue());
            for (const PlotCurve* c : curvesWith(&PlotCurve::store))
                putReal(row, valueOf(c->kind, c->variable));
            row += '\n';
            std::fwrite(row.data(), 1, row.size(), g.data.file);
        }
    }
    if (std::FILE* f = g.matlab.file) {
        const PlotSpecification& specs = PlotSpecs();
        std::fprintf(f, " %.15G", SimulationTime);
        if (!specs.xIsTime && OutputVariableName(specs.x.kind, specs.x.variable, specs.x.nameIndex))
            std::fprintf(f, " %.15G", xValue());
        for (const PlotCurve* c : curvesWith(&PlotCurve::matlab))
            std::fprintf(f, " %.15G", valueOf(c->kind, c->variable));
        std::fputc('\n', f);
    }
}

} // namespace

const char* OutputVariableName(int kind, int variable, int nameIndex)
{
    if (kind < 4 || kind > 10 || kind == 7)
        return nullptr;
    return GetVariableName(kind, variable, nameIndex);
}

bool PrepareOutput(int continuing)
{
    const MethodSetting& interval = RunSpecs().row(RowComInterval);
    g.useInterval = RunSpecs().given(RowComInterval) && interval.value > 0.0;
    g.interval = interval.value;
    g.start = RunSpecs().startTime;
    if (g.useInterval)
        g.nextOutput = continuing ? SimulationTime : RunSpecs().startTime;
    g.skipNextRow = false;
    // A series that shows nothing is asked about at its first run only: its answer holds for
    // the series, whose criterion and result files are its output.
    const bool firstOfSeries = !MultipleRunSeriesActive() || CurrentRunNumber() <= 1;
    if (PlotSpecsInForce && !continuing && !CheckPlotSpecs(PlotSpecs(), firstOfSeries))
        return false;
    CountPlotCurves(PlotSpecs());
    const bool wantsData = PlotSpecs().stored > 0 || PlotSpecs().matlabCount > 0;
    if (wantsData && !experimentReady())
        return false;
    if (wantsData && !curvesWith(&PlotCurve::store).empty() && !startDataFile(continuing))
        return false;
    if (!BeginPlotOutput(continuing)) {
        AbandonOutput();
        return false;
    }
    if (!wantsData)
        return true;
    if (!curvesWith(&PlotCurve::matlab).empty() && RunWritesMatlabFiles() && !startMatlab()) {
        AbandonOutput();
        return false;
    }
    if (!StartYAxisInputs()) {
        AbandonOutput();
        return false;
    }
    return true;
}

bool YAxisInput::open(const std::string& path)
{
    m_refusal.clear();
    const std::optional<std::string> text = platform::readFile(path);
    if (!text)
        return false;
    // The file holds pairs of finite numbers and nothing else: a word that is none, "nan" and
    // "inf" among them, or a time without its value, is told with its line, so that no curve is
    // cut short or drawn from a file that holds no pairs at all.
    m_pairs.clear();
    const std::string_view b = *text;
    const char* reason = nullptr;
    std::string token;
    int line = 0;
    bool haveTime = false; // a time read, its value not yet
    double time = 0.0;
    for (std::size_t pos = 0; pos < b.size() && !reason;) {
        const std::size_t end = std::min(b.find('\n', pos), b.size());
        ++line;
        for (const std::string& word : splitWords(b.substr(pos, end - pos))) {
            double value = 0.0;
            if (!ReadFiniteReal(word, value)) {
                token = shownToken(word);
                reason = kRealRefusal;
                break;
            }
            if (haveTime)
                m_pairs.emplace_back(time, value);
            else
                time = value;
            haveTime = !haveTime;
        }
        pos = end + 1;
    }
    if (!reason && haveTime)
        reason = "the value of the last time is missing";
    else if (!reason && m_pairs.empty())
        reason = "the file holds no pair of a time and a value";
    if (reason) {
        m_pairs.clear();
        m_refusal = ReadErrorLines("While reading the Yaxis specification's input file:", path, std::max(line, 1),
                                   token.empty() ? nullptr : &token, reason);
        return false;
    }
    m_previous = m_nextPair = m_pairs[0];
    m_next = 1;
    m_exhausted = false;
    return true;
}

double YAxisInput::valueAt(double t)
{
    while (!m_exhausted && t >= m_nextPair.first) {
        m_previous = m_nextPair;
        if (m_next >= m_pairs.size())
            m_exhausted = true;
        else
            m_nextPair = m_pairs[m_next++];
    }
    if (m_exhausted || m_previous.first == m_nextPair.first)
        return 0.0;
    return m_previous.second +
           (m_nextPair.second - m_previous.second) * (t - m_previous.first) / (m_nextPair.first - m_previous.first);
}

bool StartYAxisInputs()
{
    FinishYAxisInputs();
    if (PlotSpecs().stored == 0)
        return true;
    for (int i = 0; i < CurveCount; ++i) {
        PlotCurve& c = PlotSpecs().curves[std::size_t(i)];
        if (!c.display || !c.fromFile)
            continue;
        const std::string path = Experiment().experimentDirectory + "/" + c.fileName;
        YAxisInput input;
        if (!input.open(path)) {
            const std::vector<std::string> lines = input.refusal().empty()
                ? std::vector<std::string>{"Yaxis specification's input file:,", path, "cannot be opened for reading."}
                : input.refusal();
            if (ShowConfirmLines("Cancel", "Ignore this specification", lines))
                return false;
            c.display = 0;
            continue;
        }
        g_inputs[std::size_t(i)] = std::move(input);
    }
    return true;
}

double YAxisInputValue(int index, double t)
{
    if (index < 0 || index >= CurveCount || !g_inputs[std::size_t(index)])
        return 0.0;
    return g_inputs[std::size_t(index)]->valueAt(t);
}

void FinishYAxisInputs()
{
    for (auto& input : g_inputs)
        input.reset();
}

void OutputStep()
{
    if (g.useInterval && !RunStopFlag) {
        // Grid points are compared with a tolerance of the interval, so that a time such as
        // 60 x 0.01 (just below 0.6) neither misses its point nor outputs it twice.
        const double slack = 1e-9 * g.interval;
        if (g.nextOutput - slack > SimulationTime)
            return;
        g.nextOutput = g.start + (std::floor((SimulationTime - g.start + slack) / g.interval) + 1) * g.interval;
    }
    CollectPlotStep();
    writeRows();
    // The library code the sinks ran may leave the vector registers as the run's own
    // arithmetic must not find them.
    platform::clearUpperVectorState();
}

void FinishOutput()
{
    FinishPlotOutput();
    FinishYAxisInputs();
    if (g.data) {
        const std::string path = g.data.path;
        if (!g.data.close())
            ShowMessage({"Warning: an error occurred at writing to data file.", path});
    }
    if (g.matlab) {
        const std::string path = g.matlab.path;
        if (!g.matlab.close())
            ShowMessage({"Warning: an error occurred at writing to matlab data file.", path});
    }
}

void AbandonOutput()
{
    FinishYAxisInputs();
    g.data.discard();
    g.matlab.discard();
}

void InstallRunOutput()
{
    RunOutput().prepare = [](int continuing) { return PrepareOutput(continuing) ? 1 : 0; };
    RunOutput().step = OutputStep;
    RunOutput().ended = FinishOutput;
    RunOutput().abandoned = AbandonOutput;
}

std::optional<DataFileContent> ReadDataFileContent(const std::string& path, bool xIsTime,
                                                   std::vector<std::string>* damage)
{
    const std::optional<std::string> bytes = platform::readFile(path);
    if (!bytes) {
        ShowMessage({"Can not open for reading:", path});
        return std::nullopt;
    }
    const std::string& b = *bytes;
    std::size_t pos = 0;
    int lineNumber = 0;
    auto line = [&]() {
        const std::size_t end = b.find('\n', pos);
        std::string text = b.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
        pos = end == std::string::npos ? b.size() : end + 1;
        ++lineNumber;
        if (!text.empty() && text.back() == '\r')
            text.pop_back();
        return text;
    };
    // What is wrong, where: the line and the word (none at the line's end), and why.
    auto refuse = [&](const std::vector<std::string>& words, std::size_t item, const char* reason) {
        if (damage) {
            const std::string token = item < words.size() ? shownToken(words[item]) : std::string();
            *damage = ReadErrorLines("While reading the numerical data file:", path, lineNumber,
                                     item < words.size() ? &token : nullptr, reason);
        }
        return std::nullopt;
    };
    DataFileContent content;
    const auto first = splitWords(line());
    if (first.empty() || first[0] != "#Formatver")
        return refuse(first, 0, "\"#Formatver\" is meant here");
    if (first.size() < 2 || !ReadInteger32(first[1], content.version))
        return refuse(first, 1, kIntegerRefusal);
    const auto second = splitWords(line());
    if (second.empty() || second[0] != "#Hclass")
        return refuse(second, 0, "\"#Hclass\" is meant here");
    if (second.size() >= 2)
        content.modelName = second[1];
    if (second.size() >= 4)
        content.experimentName = second[3];
    const auto third = splitWords(line());
    if (third.empty() || third[0] != "#Nvariables")
        return refuse(third, 0, "\"#Nvariables\" is meant here");
    int count = -1;
    if (third.size() < 2 || !ReadInteger32(third[1], count) || count < 0)
        return refuse(third, 1, "the number of variables is meant here");
    // Each name takes a line: a count the file cannot hold is refused before it is believed.
    if (std::size_t(count) > b.size() - pos)
        return refuse(third, 1, "the file holds fewer names than that");
    for (int i = 0; i < count; ++i) {
        if (pos >= b.size())
            return refuse({}, 0, "the file ends before the names of its variables");
        std::string name = line();
        if (splitWords(name).size() != 1)
            return refuse(splitWords(name), 1, "one name is meant on each line");
        content.names.push_back(std::move(name));
    }
    // The time column of a time x axis is not among the names.
    const std::size_t columns = std::size_t(count) + (xIsTime ? 1 : 0);
    if (columns == 0)
        return content;
    const std::string wrongRows = "the rows do not hold " + std::to_string(columns) + " numbers each";
    if (content.version >= 4) {
        const std::size_t rowBytes = columns * 8 + 1;
        content.rows.reserve((b.size() - pos) / rowBytes);
        for (std::size_t row = 1; pos < b.size(); ++row) {
            const std::string where = " (row " + std::to_string(row) + ")";
            if (pos + rowBytes > b.size() || b[pos + rowBytes - 1] != '\n') {
                if (damage)
                    *damage = {"While reading the numerical data file:", path, wrongRows + where + "."};
                return std::nullopt;
            }
            std::vector<double> values(columns);
            for (std::size_t c = 0; c < columns; ++c) {
                std::uint64_t bits = 0;
                for (int k = 0; k < 8; ++k)
                    bits |= std::uint64_t(static_cast<unsigned char>(b[pos + c * 8 + std::size_t(k)])) << (8 * k);
                values[c] = std::bit_cast<double>(bits);
                if (!std::isfinite(values[c])) {
                    if (damage)
                        *damage = {"While reading the numerical data file:", path,
                                   "a value that is not a finite number" + where + "."};
                    return std::nullopt;
                }
            }
            content.rows.push_back(std::move(values));
            pos += rowBytes;
        }
    } else {
        // The old text form: numbers between blanks and line ends, rows of `columns` numbers.
        std::vector<double> numbers;
        while (pos < b.size()) {
            const std::vector<std::string> words = splitWords(line());
            for (std::size_t w = 0; w < words.size(); ++w) {
                double value = 0.0;
                if (!ReadFiniteReal(words[w], value))
                    return refuse(words, w, kRealRefusal);
                numbers.push_back(value);
            }
        }
        if (numbers.size() % columns != 0) {
            if (damage)
                *damage = {"While reading the numerical data file:", path, wrongRows + "."};
            return std::nullopt;
        }
        for (std::size_t i = 0; i + columns <= numbers.size(); i += columns)
            content.rows.emplace_back(numbers.begin() + long(i), numbers.begin() + long(i + columns));
    }
    return content;
}
