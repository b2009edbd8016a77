// Test support: compiling and running generated programs.
#include "codegen/tests/program_runner.h"

#include "platform/testing/temp_dir.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <sys/wait.h>

namespace codegentest {

const char* const kStrictFlags = "-std=c89 -pedantic -Wall -Werror";
const char* const kSanitizerFlags =
    "-std=c89 -pedantic -Wall -Werror -g -fsanitize=address,undefined -fno-sanitize-recover=all";

int runCommand(const std::string& command)
{
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

namespace {

std::vector<OutputBlock> parseBlocks(const std::string& output)
{
    std::vector<OutputBlock> blocks;
    std::istringstream in(output);
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("time = ", 0) == 0) {
            OutputBlock block;
            std::sscanf(line.c_str(), "time = %lf, steps = %d", &block.time, &block.steps);
            blocks.push_back(block);
            continue;
        }
        const std::size_t equals = line.rfind(" = ");
        if (equals == std::string::npos || blocks.empty())
            continue;
        blocks.back().values[line.substr(0, equals)] = std::strtod(line.c_str() + equals + 3, nullptr);
    }
    return blocks;
}

} // namespace

ProgramRun compileAndRun(const std::string& directory, const std::string& flags)
{
    return compileAndRunFiles(directory, flags, "xxmain.c xxmodel.c xxinteg.c xxfuncs.c xxoutput.c");
}

ProgramRun compileAndRunFiles(const std::string& directory, const std::string& flags, const std::string& files,
                              const std::string& arguments)
{
    ProgramRun run;
    run.compileStatus = runCommand("cd '" + directory + "' && '" + CODEGEN_C_COMPILER + "' " + flags +
                                   " -o program " + files + " -lm > compile.txt 2>&1");
    run.compileOutput = testsupport::readText(directory + "/compile.txt");
    if (run.compileStatus != 0)
        return run;
    run.runStatus = runCommand("cd '" + directory + "' && ./program " + arguments + " > output.txt 2> errors.txt");
    run.output = testsupport::readText(directory + "/output.txt");
    run.errors = testsupport::readText(directory + "/errors.txt");
    run.blocks = parseBlocks(run.output);
    return run;
}

} // namespace codegentest
