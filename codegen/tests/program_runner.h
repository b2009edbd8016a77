// Test support: builds a generated program with the system C compiler, runs it and
// reads its printed output.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace codegentest {

/// One "time = ..., steps = ..." block of the program's output and the lines after it.
struct OutputBlock {
    double time = 0.0;
    int steps = 0;
    std::map<std::string, double> values;
};

struct ProgramRun {
    int compileStatus = -1;
    std::string compileOutput;
    int runStatus = -1;
    std::string output;
    std::string errors;
    std::vector<OutputBlock> blocks;
};

/// Strict ANSI C, every warning an error.
extern const char* const kStrictFlags;
/// The strict flags with the address and undefined-behaviour sanitizers, stopping at the first report.
extern const char* const kSanitizerFlags;

/// Compiles the stand-alone program's files of the directory with the flags and runs it there.
ProgramRun compileAndRun(const std::string& directory, const std::string& flags);

/// Compiles the C files (blank-separated, relative to the directory or absolute) with the
/// flags into a program and runs it there with the arguments.
ProgramRun compileAndRunFiles(const std::string& directory, const std::string& flags, const std::string& files,
                              const std::string& arguments = {});

/// Runs a command through the shell; its exit status.
int runCommand(const std::string& command);

} // namespace codegentest
