// Loading the C-code generator for one call.
#include "common/code_generator_module.h"

#include "common/message_boxes.h"
#include "common/startup.h"
#include "platform/core/dynamic_library.h"
#include "platform/core/file_system.h"

std::string CodeGeneratorModulePath(const std::string& directory)
{
    std::string folder = directory;
    if (folder.empty())
        folder = Startup().InstallDirectory;
    if (folder.empty())
        folder = platform::executableDirectory();
    return platform::joinPath(folder, CodeGeneratorModuleFile);
}

int RunCodeGenerator(const char* model, const char* experiment, const char* submodel, const std::string& directory)
{
    const std::string file(CodeGeneratorModuleFile);
    platform::DynamicLibrary module;
    if (!module.open(CodeGeneratorModulePath(directory))) {
        ShowMessage({"Could not load '" + file + "'", module.error()});
        return -1;
    }
    auto entry = module.function<GenerateCCodePopupFunction>(std::string(CodeGeneratorEntry));
    if (!entry) {
        ShowMessage({"DLL '" + file + "' is corrupt", module.error()});
        return -1;
    }
    const int result = entry(model, experiment, submodel);
    module.close();
    return result;
}
