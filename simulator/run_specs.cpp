// The run specifications: the live record with its per-method settings, the
// checks a run start makes, and the reading and writing of the ".r" file.
#include "simulator/run_specs.h"

#include "common/message_boxes.h"
#include "common/number_words.h"
#include "platform/core/file_system.h"
#include "simulator/model_variables.h"
#include "simulator/run_state.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

struct SettingDefault {
    int token;
    const char* key;
    double value;
    int switchable;
};

constexpr std::array<SettingDefault, SettingCount> SettingDefaults = {{
    {0x125, "#Iabserr", 1e-5, 0},   {0x126, "#Irelerr", 1e-5, 0},  {0x127, "#Ialpabserr", 1e-5, 0},
    {0x128, "#Ialprelerr", 1e-5, 0}, {0x137, "#Tstep  ", 0.01, 0}, {0x136, "#Tstinit", 0.001, 1},
    {0x138, "#Tstmax ", 1.0, 1},    {0x133, "#Tcomint", 0.1, 1},   {0x134, "#Tignwarn", 0.0, 1},
    {0x135, "#Tscaleode", 0.0, 1}}};

/// Bit r set: row r is in use for the method.
constexpr std::array<unsigned, MethodCount> RowsInUse = {
    (1u << RowStep) | (1u << RowComInterval),
    (1u << RowStep) | (1u << RowComInterval),
    (1u << RowStep) | (1u << RowComInterval),
    (1u << RowAbsErr) | (1u << RowRelErr) | (1u << RowAlgAbsErr) | (1u << RowInitialStep) | (1u << RowMaxStep) |
        (1u << RowComInterval) | (1u << RowIgnoreWarnings) | (1u << RowScaleOde),
    (1u << RowAbsErr) | (1u << RowRelErr) | (1u << RowMaxStep) | (1u << RowComInterval),
    (1u << RowAbsErr) | (1u << RowRelErr) | (1u << RowInitialStep) | (1u << RowMaxStep) | (1u << RowComInterval),
};

RunSpecification g_specs = RunSpecification::defaults();

const char* const NoSimulation = "No simulation is possible.";

int refuse(const std::string& line)
{
    ShowMessage({line, NoSimulation});
    return 0;
}

bool positive(double v) { return v > 0.0; } // false for NaN

/// A run whose times, steps or output interval are infinite would not end, or end in a
/// trap: refused before anything else (a NaN fails the checks that follow). Only the rows
/// the method uses count.
int checkFinite(const RunSpecification& specs)
{
    if (std::isinf(specs.startTime) || std::isinf(specs.finishTime))
        return refuse("Start and finish time must be finite.");
    for (int r : {RowStep, RowInitialStep, RowMaxStep})
        if (specs.given(r) && std::isinf(specs.row(r).value))
            return refuse("Stepsizes must be finite.");
    if (specs.given(RowComInterval) && std::isinf(specs.row(RowComInterval).value))
        return refuse("The output interval must be finite.");
    return 1;
}

/// Reads a number token (integer or real) as a finite decimal number.
bool numberToken(int token, const CodeFileLexer& lexer, double& value)
{
    return (token == TokenInteger || token == TokenReal) && ReadFiniteReal(lexer.tokenText(), value);
}

} // namespace

RunSpecification RunSpecification::defaults()
{
    RunSpecification specs;
    for (int m = 0; m < MethodCount; ++m)
        for (int r = 0; r < SettingCount; ++r) {
            const SettingDefault& d = SettingDefaults[r];
            specs.settings[m][r] = {d.token, d.key, d.value, d.switchable, 0, int((RowsInUse[m] >> r) & 1u)};
        }
    return specs;
}

RunSpecification& RunSpecs() { return g_specs; }

std::string FormatShortestReal(double value)
{
    char buffer[64];
    for (int digits = 1; digits <= 17; ++digits) {
        std::snprintf(buffer, sizeof buffer, "%.*G", digits, value);
        if (!std::isfinite(value) || std::strtod(buffer, nullptr) == value)
            break;
    }
    return buffer;
}

std::string RunSpecFileText(const RunSpecification& specs, const std::string& className)
{
    std::string text = "#Hclass\t" + className + "\n";
    text += "#Iprocsr\t" + std::to_string(specs.processor) + "\n";
    text += "#Imethod\t" + std::to_string(specs.method) + "\n";
    text += "#Tstart \t" + FormatShortestReal(specs.startTime) + "\n";
    text += "#Tfinish\t" + FormatShortestReal(specs.finishTime) + "\n";
    for (const MethodSetting& row : specs.settings[specs.method]) {
        if (!row.inUse)
            continue;
        text += row.key;
        text += '\t';
        if (row.switchable)
            text += std::string(1, row.switchOn ? '1' : '0') + "\t";
        text += FormatShortestReal(row.value) + "\n";
    }
    return text;
}

int WriteRunSpecFile(const std::string& path, const std::string& className)
{
    if (!platform::writeFileAtomically(path, RunSpecFileText(g_specs, className))) {
        ShowMessage({"Can not open for writing:", path});
        return -1;
    }
    return 0;
}

void ReportReadError(const std::string& heading, const std::string& fileName, const CodeFileLexer& lexer, int token,
                     const char* reason)
{
    const bool atEnd = token == TokenEndOfLine || token == TokenEnd;
    ShowMessageLines(ReadErrorLines(heading, fileName, atEnd ? lexer.line() - 1 : lexer.line(),
                                    atEnd ? nullptr : &lexer.tokenText(), reason));
}

int ReadRunSpecs(CodeFileLexer& lexer, RunSpecification& target, const std::string& fileName)
{
    RunSpecification specs = target;
    ShowStatus("", false);
    int token = 0;
    const char* reason = nullptr;
    auto fail = [&]() {
        ReportReadError("While reading Run Specifications:", fileName, lexer, token, reason);
        return -1;
    };
    auto expect = [&](int wanted) { return (token = lexer.NextToken()) == wanted; };
    // A number token that is no finite number, or no integer within range where one is
    // meant, is refused as a token of another kind is.
    auto integer = [&](long& value) {
        token = lexer.NextToken();
        int read = 0;
        // A negative integer scans as a real token.
        if ((token != TokenInteger && token != TokenReal) || !ReadInteger32(lexer.tokenText(), read)) {
            reason = token == TokenInteger || token == TokenReal ? kIntegerRefusal : nullptr;
            return false;
        }
        value = read;
        return true;
    };
    auto number = [&](double& value) {
        token = lexer.NextToken();
        if (numberToken(token, lexer, value))
            return true;
        reason = token == TokenInteger || token == TokenReal ? kRealRefusal : nullptr;
        return false;
    };

    if (!expect(TokenClass))
        return fail();
    token = lexer.NextToken();
    if (token == TokenName)
        token = lexer.NextToken();
    if (token != TokenEndOfLine)
        return fail();
    long value = 0;
    if (!expect(0x124) || !integer(value) || !expect(TokenEndOfLine))
        return fail();
    specs.processor = int(std::clamp(value, 0L, 1L));
    if (!expect(0x123) || !integer(value) || !expect(TokenEndOfLine))
        return fail();
    specs.method = int(std::clamp(value, 0L, long(MethodCount - 1)));
    if (!expect(0x132) || !number(specs.startTime) || !expect(TokenEndOfLine))
        return fail();
    if (!expect(0x139) || !number(specs.finishTime) || !expect(TokenEndOfLine))
        return fail();
    while ((token = lexer.NextToken()) != TokenEnd) {
        MethodSetting* row = nullptr;
        for (MethodSetting& candidate : specs.settings[specs.method])
            if (candidate.token == token) {
                row = &candidate;
                break;
            }
        if (!row)
            return fail();
        if (row->switchable) {
            token = lexer.NextToken();
            const std::string& text = lexer.tokenText();
            if (token != TokenInteger || (text[0] != '0' && text[0] != '1'))
                return fail();
            row->switchOn = text[0] == '1';
        }
        if (!number(row->value))
            return fail();
        token = lexer.NextToken();
        if (token == TokenEnd)
            break;
        if (token != TokenEndOfLine)
            return fail();
    }
    target = specs;
    return 0;
}

int ReadRunSpecFile(const std::string& path, RunSpecification& target)
{
    const std::optional<std::string> text = path.empty() ? std::nullopt : platform::readFile(path);
    if (!text) {
        ShowMessage({"Can not open for reading:", path});
        return -1;
    }
    CodeFileLexer lexer;
    lexer.ResetScanner(std::string(platform::withoutByteOrderMark(*text)));
    return ReadRunSpecs(lexer, target, path);
}

std::string FormatRunSpecRow(const RunSpecification& specs, int r)
{
    if (r < 0 || r >= SettingCount || !specs.row(r).inUse)
        return {};
    const MethodSetting& row = specs.row(r);
    std::string text = std::string(SettingDescriptions[r]) + " : ";
    if (r >= RowIgnoreWarnings)
        return text + (row.switchOn ? "on" : "off");
    if (row.switchable && !row.switchOn)
        return text + "automatic";
    return text + FormatShortestReal(row.value);
}

int CheckFixedStepSpecs(const RunSpecification& specs)
{
    if (!checkFinite(specs))
        return 0;
    if (!(specs.startTime < specs.finishTime))
        return refuse("Start time must be smaller than finish time.");
    if (specs.method == MethodRkf || specs.method == MethodVode)
        return 1;
    const double step = specs.row(RowStep).value;
    if (!positive(step))
        return refuse("Stepsizes must be positive.");
    if (step > specs.finishTime - specs.startTime)
        return refuse("Stepsize may not exceed finish time minus start time.");
    return 1;
}

int CheckBdfStepSpecs(const RunSpecification& specs)
{
    if (!checkFinite(specs))
        return 0;
    if (!(specs.startTime < specs.finishTime))
        return refuse("Start time must be smaller than finish time.");
    const MethodSetting& initial = specs.row(RowInitialStep);
    const MethodSetting& maximum = specs.row(RowMaxStep);
    if (initial.switchOn && !positive(initial.value))
        return refuse("Stepsizes must be positive.");
    if (!maximum.switchOn)
        return 1;
    if (!positive(maximum.value))
        return refuse("Stepsizes must be positive.");
    if (maximum.value > specs.finishTime - specs.startTime)
        return refuse("Max. step may not exceed finish time minus start time.");
    if (initial.switchOn && !(initial.value < maximum.value))
        return refuse("Initial step must be smaller than maximum step.");
    return 1;
}

int CheckBdfToleranceSpecs(const RunSpecification& specs)
{
    // The integrator refuses negative tolerances and an all-zero pair, so they are refused here.
    const double absolute = specs.row(RowAbsErr).value;
    const double relative = specs.row(RowRelErr).value;
    if (!(absolute >= 0.0) || (absolute == 0.0 && relative == 0.0))
        return refuse("Maximum absolute integration error must be positive.");
    if (!(relative >= 0.0))
        return refuse("Maximum relative integration error must be positive.");
    return 1;
}

int CheckValuesPresent(int kind)
{
    const VariableKind& k = Variables().kinds[kind];
    for (int i = 0; i < k.count; ++i)
        if (i >= int(k.hasValue.size()) || !k.hasValue[i]) {
            ShowMessage({kind == KindParameter ? "Some parameters have no value yet."
                                               : "Some initial conditions have no value yet.",
                         NoSimulation});
            return 0;
        }
    return 1;
}

int CheckValuesAreNumbers(int kind)
{
    const VariableKind& k = Variables().kinds[kind];
    for (int i = 0; i < k.count && k.values; ++i) {
        if (GetVariableType(kind, i) == TypeString || !std::isnan(k.values[i]))
            continue;
        const char* name = GetVariableName(kind, i, 0);
        ShowMessage({std::string(kind == KindParameter ? "Parameter " : "Initial condition ") + (name ? name : "?") +
                         " is not a number (NaN).",
                     NoSimulation});
        return 0;
    }
    return 1;
}
