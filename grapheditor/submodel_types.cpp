// Submodel type interfaces: the type's file found in the model directories, read
// up to its interface and held until that file changes.
#include "grapheditor/submodel_types.h"

#include "common/message_boxes.h"
#include "common/model_file_names.h"
#include "common/settings_table.h"
#include "grapheditor/graph_model_reader.h"
#include "grapheditor/graph_objects.h"
#include "grapheditor/graph_view.h"
#include "platform/core/file_system.h"

int read_submodel_type(SubmodelType* type, int useCached)
{
    if (!type)
        return -5;
    const std::string fileName = type->name.substr(0, 10) + std::to_string(type->version);
    std::optional<std::string> file =
        FindYoungestSubmodelFile(Settings().model_dirs, fileName, type->isEquationModel != 0);
    std::optional<std::int64_t> modified = file ? platform::modificationTime(*file) : std::nullopt;
    const bool readable = modified.has_value();
    const std::int64_t time = modified.value_or(0);
    // The held interface stays while it came from the same file with the same time.
    if (useCached && type->interface && readable && *file == type->filePath && time == type->fileTime)
        return 0;
    if (!View().editorGuard(10, type))
        return -4;
    type->interface.reset();
    if (!readable)
        return -1;
    auto record = std::make_unique<GraphModel>();
    std::string error;
    const int result = parse_model_file(*file, READ_INTERFACE, *record, &error);
    if (result == -2)
        return -1;
    if (result != 0) {
        ShowMessage({"There are errors reading submodel " + type->name.substr(0, 9) + std::to_string(type->version) +
                         ".",
                     error, *file});
        return -2;
    }
    type->interface = std::move(record);
    type->fileTime = time;
    type->filePath = *file;
    return 0;
}

int type_has_only_signals(Submodel& submodel)
{
    SubmodelType* type = submodel.type;
    if (!type)
        return 0;
    if (!type->interface && read_submodel_type(type, 0) != 0)
        return 0;
    for (const Pio& pio : type->interface->pios)
        if (pio.kind == PIO_PORT)
            return 0;
    return 1;
}
