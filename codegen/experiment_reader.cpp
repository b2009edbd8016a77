// The experiment readers: the parameter file (.p), the run file (.r) and the plot file (.u),
// each read line by line and matched by name or key.
#include "codegen/experiment_reader.h"

#include "common/message_boxes.h"
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

/// The whole word as a number; infinities and NaN too, as the simulator writes them ("INF",
/// "-INF", "NAN"): a value the generated code cannot hold is refused by the writers, by name.
std::optional<double> parseNumber(const std::string& word)
{
    if (word.empty())
        return std::nullopt;
    char* end = nullptr;
    const double value = std::strtod(word.c_str(), &end);
    if (*end)
        return std::nullopt;
    return value;
}

bool isNumberStart(const std::string& word)
{
    return !word.empty() && (std::isdigit(static_cast<unsigned char>(word[0])) || word[0] == '-' ||
                             word[0] == '+' || word[0] == '.');
}

/// Where a value stands: a word that starts like a number, or an infinity or NaN.
bool isValueWord(const std::string& word)
{
    const std::optional<double> value = parseNumber(word);
    return isNumberStart(word) || (value && !std::isfinite(*value));
}

void reportSyntaxError(const std::string& heading, std::size_t line, const std::string& token)
{
    ShowMessage({heading, "error in line " + std::to_string(line + 1) + ": " + token + "."});
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
    if (!lines)
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
            reportSyntaxError(kParameterHeading, n, head);
            return false;
        }
        // Further names before the value are passed over; a quoted text is a string value.
        std::size_t v = 1;
        while (v < words.size() && !isValueWord(words[v]) && words[v][0] != '"')
            ++v;
        std::optional<double> value;
        if (v < words.size() && words[v][0] != '"') {
            value = parseNumber(words[v]);
            if (!value || v + 1 != words.size()) {
                reportSyntaxError(kParameterHeading, n, words[v]);
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
    if (!lines)
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
            std::optional<double> value = words.size() == 2 ? parseNumber(words[1]) : std::nullopt;
            if (!value || (!target && *value != std::trunc(*value))) {
                reportSyntaxError(kHeading, n, words.size() > 1 ? words[1] : key);
                return false;
            }
            if (target)
                *target = value;
            else
                method = static_cast<long>(std::clamp(*value, 0.0, 5.0));
        } else if (std::find(std::begin(kOtherKeys), std::end(kOtherKeys), key) == std::end(kOtherKeys)) {
            reportSyntaxError(kHeading, n, key);
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
    if (!lines)
        return false;
    long version = 3;
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
    for (std::size_t n = 0; n < lines->size(); ++n) {
        std::vector<std::string> words = splitWords((*lines)[n]);
        if (words.empty())
            continue;
        const std::string& key = words[0];
        if (key == "#Formatver" && words.size() == 2) {
            version = std::strtol(words[1].c_str(), nullptr, 10);
        } else if (key == "#Hclass") {
        } else if (key == "#Oxaxis" && words.size() >= 2) {
            if (words[1] != "#Otime")
                add(words[1]);
        } else if (key == "#Oyaxis" && words.size() >= 2) {
            std::size_t nameField = version >= 2 ? 2 : 1;
            if (version >= 2 && words[1] != "0") {
                fromFile = true;
                continue;
            }
            if (words.size() <= nameField) {
                reportSyntaxError(kHeading, n, key);
                return false;
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
            reportSyntaxError(kHeading, n, key);
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

bool ReadExperiment(GeneratorModel& model, const std::string& experimentBase, const std::string& experimentName)
{
    model.experimentName = experimentName;
    const std::string files[] = {experimentBase + ".p", experimentBase + ".r", experimentBase + ".u"};
    const bool read[] = {ReadParameterValues(model, files[0]), ReadRunValues(model, files[1]),
                         ReadOutputSpec(model, files[2])};
    if (!read[0] && !read[1] && !read[2])
        return false;
    // What the experiment did not give goes into the program as its default: the user is told.
    std::vector<std::string> unread{"These files of the experiment could not be read:"};
    for (std::size_t i = 0; i < std::size(files); ++i)
        if (!read[i])
            unread.push_back(files[i]);
    if (unread.size() > 1)
        ShowMessageLines(unread);
    reportWithoutValue(model.parameters, "parameter");
    reportWithoutValue(model.initialConditions, "initial condition");
    return true;
}
