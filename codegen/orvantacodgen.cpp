// Command-line driver of the code generator: writes the stand-alone program, the
// submodel function or the S-function of a processed model without the dialog.
#include "codegen/generation.h"
#include "codegen/sfunction_writer.h"
#include "codegen/standalone_writer.h"
#include "codegen/submodel_writer.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

int usage()
{
    std::fprintf(stderr,
                 "usage: orvantacodgen [-experiment BASE] [-output none|during|after]\n"
                 "                     [-submodel PATH -function NAME [-sfunction]] MODEL.e DIRECTORY\n"
                 "  BASE is the experiment's path without extension (BASE.p, BASE.r, BASE.u); when one\n"
                 "  of them cannot be read, nothing is written and the status is 1\n"
                 "  -submodel writes the submodel at PATH (levels joined by `) as the function NAME,\n"
                 "  with -sfunction as the S-function NAME\n");
    return 2;
}

/// The experiment name: the base's last path element.
std::string baseName(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

int main(int argc, char** argv)
{
    GenerationRequest request;
    BlockRequest block;
    std::vector<std::string> positional;
    bool submodel = false;
    bool sfunction = false;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "-experiment" && i + 1 < argc) {
            request.experimentBase = argv[++i];
            request.experimentName = baseName(request.experimentBase);
            // Asked for by name: without all of it the program would compute with values nobody gave.
            request.experimentRequired = true;
        } else if (argument == "-output" && i + 1 < argc) {
            const std::string mode = argv[++i];
            if (mode == "none")
                request.simulationOutput = 0;
            else if (mode == "during")
                request.simulationOutput = 1;
            else if (mode == "after")
                request.simulationOutput = 2;
            else
                return usage();
        } else if (argument == "-submodel" && i + 1 < argc) {
            block.submodel = argv[++i];
            submodel = true;
        } else if (argument == "-function" && i + 1 < argc) {
            block.functionName = argv[++i];
        } else if (argument == "-sfunction") {
            sfunction = true;
        } else if (!argument.empty() && argument[0] == '-') {
            return usage();
        } else {
            positional.push_back(argument);
        }
    }
    if (positional.size() != 2 || (sfunction && !submodel))
        return usage();
    request.modelFile = positional[0];
    request.outputDirectory = positional[1];
    std::vector<std::string> written;
    if (sfunction) {
        if (!GenerateSFunction(request, block))
            return 1;
        written = SFunctionFileNames(block.functionName);
    } else if (submodel) {
        if (!GenerateSubmodelFunction(request, block))
            return 1;
        written = SubmodelFileNames();
    } else {
        if (!GenerateStandAlone(request))
            return 1;
        written = StandAloneFileNames();
    }
    for (const std::string& file : written)
        std::printf("%s\n", file.c_str());
    return 0;
}
