// The experiment readers: the parameter file (.p), the run file (.r) and the plot file (.u),
// each read line by line and matched by name or key.
#include "codegen/experiment_reader.h"

#include "common/message_boxes.h"
#include "common/number_words.h"
#include "common/text_helpers.h"
#include "platform/core/file_system.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <iterator>
#include <optional>
#include <sstream>

namespace {

/// The heading of what the parameter file's reading tells.
const std::string kParameterHeading = "While reading Parameters or Initial Conditions:";

std::optional<std::vector<std::string>> readLines(const std::string& fileName)
{
    std::optional<std::string> text = platform::readFile(fileName);
    if (!text)
        return std::nullopt;
    std::vector<std::string> lines;
    std::istringstream in(std::string(platform::withoutByteOrderMark(*text)));
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

/// The whole word as a finite number, as every reader of the suite takes one.
std::optional<double> parseNumber(const std::string& word)
{
    double value = 0.0;
    if (!ReadFiniteReal(word, value))
        return std::nullopt;
    return value;
}

std::optional<int> parseInteger(const std::string& word)
{
    int value = 0;
    if (!ReadInteger32(word, value))
        return std::nullopt;
    return value;
}

bool isNumberStart(const std::string& word)
{
    return !word.empty() && (std::isdigit(static_cast<unsigned char>(word[0])) || word[0] == '-' ||
                             word[0] == '+' || word[0] == '.');
}

/// Where a value stands: a word that starts like a number, or that reads as an infinity or a
/// NaN ("INF", "nan"), which is no value the generated code can take.
bool isValueWord(const std::string& word)
{
    char* end = nullptr;
    const double value = std::strtod(word.c_str(), &end);
    return isNumberStart(word) || (!word.empty() && *end == '\0' && !std::isfinite(value));
}

/// The file's read error at the 0-based line: the heading, the file, the place and the reason.
void reportSyntaxError(const std::string& heading, const std::string& fileName, std::size_t line,
                       const std::string& token, const char* reason = nullptr)
{
    ShowMessageLines(ReadErrorLines(heading, fileName, int(line + 1), &token, reason));
}

/// A file of the experiment without a word in it is none: it is refused by name.
bool refuseEmpty(const std::vector<std::string>& lines, const std::string& heading, const std::string& fileName)
{
    for (const std::string& line : lines)
        if (!splitWords(line).empty())
            return false;
    ShowMessage({heading, fileName, "The file is empty."});
    return true;
}

/// Names of the file that the model lacks: "warning: %d <what> name%s not in model%s".
void reportMissingNames(const std::string& heading, const std::string& what, int count, const std::string& first)
{
    if (count == 0)
        return;
    std::vector<std::string> lines{heading, "warning: " + std::to_string(count) + " " + what +
                                                (count == 1 ? "" : "s") + " not in model" +
                                                (count == 1 ? ":" : ";")};
    if (count > 1)
        lines.push_back("first name is");
    lines.push_back(first);
    ShowMessageLines(lines);
}

VariableRecord* findByName(const VariableList& records, const std::string& name)
{
    for (const auto& record : records)
        for (const std::string& candidate : record->names)
            if (candidate == name)
                return record.get();
    return nullptr;
}

/// The quantities of the list that no experiment file gave a value, by name, as many as a box holds.
void reportWithoutValue(const VariableList& records, const std::string& what)
{
    constexpr std::size_t kShown = 5;
    std::vector<std::string> names;
    for (const auto& record : records)
        if (!record->valueGiven)
            names.push_back(record->firstName());
    if (names.empty())
        return;
    std::vector<std::string> lines{kParameterHeading, "warning: " + std::to_string(names.size()) + " " + what +
                                       (names.size() == 1 ? "" : "s") + " without a value, 0 is used:"};
    for (std::size_t i = 0; i < names.size() && i < kShown; ++i)
        lines.push_back(names[i]);
    if (names.size() > kShown)
        lines.push_back("and " + std::to_string(names.size() - kShown) + " more");
    ShowMessageLines(lines);
}

/// The array the generated program keeps a quantity of this kind in.
bool printable(char kind)
{
    return kind == 'P' || kind == 'Z' || kind == 's' || kind == 'V' || kind == 'R';
}

} // namespace

bool ReadParameterValues(GeneratorModel& model, const std::string& fileName)
{
    std::optional<std::vector<std::string>> lines = readLines(fileName);
    if (!lines || refuseEmpty(*lines, kParameterHeading, fileName))
        return false;
    std::vector<std::pair<VariableRecord*, double>> values;
    const VariableList* section = nullptr;
    int missing[2] = {0, 0};
    std::string firstMissing[2];
    for (std::size_t n = 0; n < lines->size(); ++n) {
        std::vector<std::string> words = splitWords((*lines)[n]);
        if (words.empty())
            continue;
        const std::string& head = words[0];
        if (head == "#Formatver" || head == "#Hclass")
            continue;
        if (head == "#DParam" || head == "#DIncond") {
            section = head == "#DParam" ? &model.parameters : &model.initialConditions;
            continue;
        }
        if (!section || head[0] == '#' || head[0] == '"' || isNumberStart(head)) {
            reportSyntaxError(kParameterHeading, fileName, n, head);
            return false;
        }
        // Further names before the value are passed over; a quoted text is a string value.
        std::size_t v = 1;
        while (v < words.size() && !isValueWord(words[v]) && words[v][0] != '"')
            ++v;
        std::optional<double> value;
        if (v < words.size() && words[v][0] != '"') {
            value = parseNumber(words[v]);
            if (!value) {
                reportSyntaxError(kParameterHeading, fileName, n, words[v], kRealRefusal);
                return false;
            }
            if (v + 1 != words.size()) {
                reportSyntaxError(kParameterHeading, fileName, n, words[v + 1]);
                return false;
            }
        }
        VariableRecord* record = findByName(*section, head);
        const int kind = section == &model.parameters ? 0 : 1;
        if (!record) {
            if (missing[kind]++ == 0)
                firstMissing[kind] = head.substr(0, 20);
        } else if (value) {
            values.emplace_back(record, *value);
        }
    }
    for (auto [record, value] : values) {
        record->value = value;
        record->valueGiven = true;
    }
    reportMissingNames(kParameterHeading, "parameter name", missing[0], firstMissing[0]);
    reportMissingNames(kParameterHeading, "initial condition name", missing[1], firstMissing[1]);
    return true;
}

bool ReadRunValues(GeneratorModel& model, const std::string& fileName)
{
    static const std::string kHeading = "While reading Run Specifications:";
    std::optional<std::vector<std::string>> lines = readLines(fileName);
    if (!lines || refuseEmpty(*lines, kHeading, fileName))
        return false;
    static const char* const kOtherKeys[] = {"#Hclass",   "#Iprocsr", "#Iabserr", "#Irelerr", "#Ialpabserr",
                                             "#Ialprelerr", "#Tstinit", "#Tstmax", "#Tcomint", "#Tignwarn",
                                             "#Tscaleode"};
    std::optional<double> start, finish, step;
    std::optional<long> method;
    for (std::size_t n = 0; n < lines->size(); ++n) {
        std::vector<std::string> words = splitWords((*lines)[n]);
        if (words.empty())
            continue;
        const std::string& key = words[0];
        std::optional<double>* target = key == "#Tstart" ? &start : key == "#Tfinish" ? &finish
                                      : key == "#Tstep"  ? &step  : nullptr;
        if (target || key == "#Imethod") {
            if (words.size() != 2) {
                reportSyntaxError(kHeading, fileName, n, words.size() > 2 ? words[2] : key);
                return false;
            }
            if (target) {
                *target = parseNumber(words[1]);
                if (!*target) {
                    reportSyntaxError(kHeading, fileName, n, words[1], kRealRefusal);
                    return false;
                }
            } else {
                const std::optional<int> number = parseInteger(words[1]);
                if (!number) {
                    reportSyntaxError(kHeading, fileName, n, words[1], kIntegerRefusal);
                    return false;
                }
                method = std::clamp(*number, 0, 5);
            }
        } else if (std::find(std::begin(kOtherKeys), std::end(kOtherKeys), key) == std::end(kOtherKeys)) {
            reportSyntaxError(kHeading, fileName, n, key);
            return false;
        }
    }
    model.integrationMethod = "Euler";
    if (method && *method == 2)
        model.integrationMethod = "RungeKutta4";
    else if (method && *method != 0)
        ShowMessage({"Only Euler and RK4 are supported as integration methods", "Euler will be used"});
    if (start)
        model.startTime = *start;
    if (finish)
        model.finishTime = *finish;
    if (step) {
        model.stepSize = *step;
    } else {
        std::ostringstream shown;
        shown << model.stepSize;
        ShowMessage({"The run specifications give no step size,", "the step size " + shown.str() + " will be used"});
    }
    return true;
}

bool ReadOutputSpec(GeneratorModel& model, const std::string& fileName)
{
    static const std::string kHeading = "While reading Plot or Stick specifications:";
    std::optional<std::vector<std::string>> lines = readLines(fileName);
    if (!lines || refuseEmpty(*lines, kHeading, fileName))
        return false;
    int version = 3;
    int missing = 0;
    std::string firstMissing;
    std::vector<std::string> leftOut;
    bool fromFile = false;
    auto add = [&](const std::string& name) -> VariableRecord* {
        VariableRecord* record = FindVariable(model, name);
        if (!record) {
            if (missing++ == 0)
                firstMissing = name.substr(0, 20);
        } else if (!printable(record->kind)) {
            leftOut.push_back(name);
            record = nullptr;
        } else {
            model.outputList.push_back(record);
        }
        return record;
    };
    // The numbers after a name: the reals, then the integers; a field that is missing, or
    // no number of its kind, is refused.
    auto numbers = [&](const std::vector<std::string>& words, std::size_t from, std::size_t reals,
                       std::size_t integers, std::size_t n) {
        for (std::size_t i = from; i < from + reals + integers; ++i) {
            const bool real = i < from + reals;
            if (i >= words.size()) {
                ShowMessageLines(ReadErrorLines(kHeading, fileName, int(n + 1), nullptr,
                                                real ? kRealRefusal : kIntegerRefusal));
                return false;
            }
            if (real ? !parseNumber(words[i]) : !parseInteger(words[i])) {
                reportSyntaxError(kHeading, fileName, n, words[i], real ? kRealRefusal : kIntegerRefusal);
                return false;
            }
        }
        return true;
    };
    for (std::size_t n = 0; n < lines->size(); ++n) {
        std::vector<std::string> words = splitWords((*lines)[n]);
        if (words.empty())
            continue;
        const std::string& key = words[0];
        if (key == "#Formatver" && words.size() == 2) {
            const std::optional<int> read = parseInteger(words[1]);
            if (!read) {
                reportSyntaxError(kHeading, fileName, n, words[1], kIntegerRefusal);
                return false;
            }
            version = *read;
        } else if (key == "#Hclass") {
        } else if (key == "#Oxaxis" && words.size() >= 2) {
            // min and max, and from version 2 the scaling
            if (!numbers(words, 2, 2, version >= 2 ? 1 : 0, n))
                return false;
            if (words[1] != "#Otime")
                add(words[1]);
        } else if (key == "#Oyaxis" && words.size() >= 2) {
            std::size_t nameField = version >= 2 ? 2 : 1;
            if (version >= 2 && !parseInteger(words[1])) {
                reportSyntaxError(kHeading, fileName, n, words[1], kIntegerRefusal);
                return false;
            }
            if (words.size() <= nameField) {
                reportSyntaxError(kHeading, fileName, n, key);
                return false;
            }
            // min and max, then index, display and store, and from version 2 scaling and matlab
            if (!numbers(words, nameField + 1, 2, version >= 2 ? 5 : 3, n))
                return false;
            if (version >= 2 && words[1] != "0") {
                fromFile = true;
                continue;
            }
            VariableRecord* record = add(words[nameField]);
            // name, min, max, index, display, store, scaling, matlab, then the label
            const std::size_t matlabField = nameField + 7;
            if (record && version >= 2 && words.size() > matlabField + 1) {
                std::string label;
                for (std::size_t i = matlabField + 1; i < words.size(); ++i)
                    label += words[i];
                if (words[matlabField] == "0")
                    std::replace(label.begin(), label.end(), '_', ' ');
                record->label = label;
            }
        } else {
            reportSyntaxError(kHeading, fileName, n, key);
            return false;
        }
    }
    if (fromFile)
        ShowMessage({"Warning: Reading from file not supported yet", "curves read from a file are left out"});
    if (missing > 0) {
        std::vector<std::string> message{kHeading, "warning: " + std::to_string(missing) +
                                                       " variable-name combination" + (missing == 1 ? "" : "s") +
                                                       " not in model" + (missing == 1 ? ":" : ";")};
        if (missing > 1)
            message.push_back("first name is");
        message.push_back(firstMissing);
        ShowMessageLines(message);
    }
    if (!leftOut.empty())
        ShowMessage({"Outputs without an array in the generated code are left out;", "first name is",
                     leftOut.front()});
    return true;
}

bool ReadExperiment(GeneratorModel& model, const std::string& experimentBase, const std::string& experimentName,
                    std::vector<std::string>& unread)
{
    model.experimentName = experimentName;
    unread.clear();
    const std::string files[] = {experimentBase + ".p", experimentBase + ".r", experimentBase + ".u"};
    const bool read[] = {ReadParameterValues(model, files[0]), ReadRunValues(model, files[1]),
                         ReadOutputSpec(model, files[2])};
    for (std::size_t i = 0; i < std::size(files); ++i)
        if (!read[i])
            unread.push_back(files[i]);
    return read[0] || read[1] || read[2];
}

void ReportValuesNotGiven(const GeneratorModel& model)
{
    reportWithoutValue(model.parameters, "parameter");
    reportWithoutValue(model.initialConditions, "initial condition");
}
