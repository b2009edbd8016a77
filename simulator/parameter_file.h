// The parameter file (".p"): the values an experiment gives the model's parameters
// and initial conditions.
#pragma once

#include <optional>
#include <string>
#include <vector>

/// One entry of a read: the value (or text) and whether the file gave one.
struct ParameterValue {
    double value = 0.0;
    std::string text;
    bool isText = false;
    int hasValue = 0;
};

/// Text of the file for the current values of kinds P and I.
std::string ParameterFileText(const std::string& className);

/// Writes the file atomically; 0, or -1 after "Can not open for writing:", or after naming a
/// value that is not a finite number (which no reader would take back).
int WriteParameterFile(const std::string& path, const std::string& className);

/// Reads one section (kind 0 parameters, 1 initial conditions) into a buffer of the
/// kind's count; nothing after a message that names the file, the line and the token.
std::optional<std::vector<ParameterValue>> ReadParameterSection(const std::string& path, int kind);

/// The parameter or initial-condition values of a file, for the editors' Import; the
/// model's values are left alone. Nothing after a message.
std::optional<std::vector<ParameterValue>> ReadParameterValues(const std::string& path);
std::optional<std::vector<ParameterValue>> ReadInitialConditionValues(const std::string& path);

/// Reads the section and gives every variable of the kind its value and has-value flag; 0 or -1.
int ReadParameterFile(const std::string& path);
int ReadInitialConditionFile(const std::string& path);

/// Copies a read buffer into the kind's values and flags.
void ApplyParameterValues(int kind, const std::vector<ParameterValue>& values);
