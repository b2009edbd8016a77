// The run specifications: start and finish time, the integration method and each
// method's settings, their checks before a run, and the ".r" file.
#pragma once

#include "simulator/code_file_lexer.h"

#include <array>
#include <string>

inline constexpr int MethodCount = 6;
inline constexpr int SettingCount = 10;

enum IntegrationMethodIndex { MethodEuler = 0, MethodAdamsBashforth = 1, MethodRungeKutta4 = 2, MethodBdf = 3,
                              MethodRkf = 4, MethodVode = 5 };

/// Row numbers of a method's settings.
enum SettingRow { RowAbsErr = 0, RowRelErr = 1, RowAlgAbsErr = 2, RowAlgRelErr = 3, RowStep = 4,
                  RowInitialStep = 5, RowMaxStep = 6, RowComInterval = 7, RowIgnoreWarnings = 8, RowScaleOde = 9 };

/// One setting of one method.
struct MethodSetting {
    int token = 0;
    const char* key = "";
    double value = 0.0;
    int switchable = 0;
    int switchOn = 0;
    int inUse = 0;
};

struct IntegrationMethodRow {
    const char* name;
    int isBdf;
};
inline constexpr std::array<IntegrationMethodRow, MethodCount> IntegrationMethods = {{
    {"Euler", 0}, {"Adams-Bashfort", 0}, {"Runge-Kutta-4", 0}, {"BackwDiffForm", 1},
    {"Runge-Kutta-Fehlberg", 0}, {"Vode-Stiff", 0}}};

/// Descriptions of the ten settings, in row order (the experiment description's texts).
inline constexpr std::array<const char*, SettingCount> SettingDescriptions = {
    "Absolute Integr. Error", "Relative Integr. Error", "Absolute Alg. Loop Error", "Relative Alg. Loop Error",
    "Step Size", "Initial Step Size", "Maximum Step Size", "Communication Interval", "Ignore Integr. Warnings",
    "Scale ODE Part"};

struct RunSpecification {
    double startTime = 0.0;
    double finishTime = 5.0;
    int method = MethodRungeKutta4;
    int processor = 0;
    int storeStates = 0;
    std::array<std::array<MethodSetting, SettingCount>, MethodCount> settings{};

    /// The record with every default.
    static RunSpecification defaults();

    MethodSetting& row(int r) { return settings[method][r]; }
    const MethodSetting& row(int r) const { return settings[method][r]; }
    /// The row's value when it is in use and (for a switchable row) switched on.
    bool given(int r) const { return row(r).inUse && (!row(r).switchable || row(r).switchOn); }
};

/// The live record of the process.
RunSpecification& RunSpecs();

/// The shortest "%G"-style text that reads back as exactly the value ("0.01", "1E-05").
std::string FormatShortestReal(double value);

/// Text of the ".r" file for the record (only the current method's rows in use).
std::string RunSpecFileText(const RunSpecification& specs, const std::string& className);

/// Writes the live record atomically; 0, or -1 after "Can not open for writing:".
int WriteRunSpecFile(const std::string& path, const std::string& className);

/// Reads the scanner's text, that of the file named, into the target; 0, or -1 after
/// reporting the offending token. The target changes only when the whole file was read.
int ReadRunSpecs(CodeFileLexer& lexer, RunSpecification& target, const std::string& fileName);

/// Reads the file into the target; -1 (after "Can not open for reading:") when it cannot be read.
int ReadRunSpecFile(const std::string& path, RunSpecification& target);

/// One row of the current method as "description : value" text; empty for a row not in use.
std::string FormatRunSpecRow(const RunSpecification& specs, int row);

// The checks before a run: 1 good, 0 after showing the two lines of the refusal.
int CheckFixedStepSpecs(const RunSpecification& specs);
int CheckBdfStepSpecs(const RunSpecification& specs);
int CheckBdfToleranceSpecs(const RunSpecification& specs);
/// Every parameter (kind 0) or initial condition (kind 1) has a value.
int CheckValuesPresent(int kind);
/// No numerical parameter (kind 0) or initial condition (kind 1) is NaN; the refusal names
/// the first that is. Infinity passes: it can stand for a bound.
int CheckValuesAreNumbers(int kind);

/// Reports a read error of the file at the scanner's token under the heading, with the
/// reason when one is given.
void ReportReadError(const std::string& heading, const std::string& fileName, const CodeFileLexer& lexer, int token,
                     const char* reason = nullptr);
