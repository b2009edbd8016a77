// The element and connection symbol tables, loaded from the program's bitmap resources.
#include "grapheditor/symbol_tables.h"

#include "common/message_boxes.h"
#include "grapheditor/submodel_library.h"

#include <cctype>

namespace {

SymbolLoader& loader()
{
    static SymbolLoader function;
    return function;
}

std::string resourceName(std::string_view name)
{
    std::string upper(name);
    for (char& c : upper)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return "BM_" + upper;
}

std::optional<platform::Bitmap> loadResource(const std::string& name)
{
    if (!loader())
        return std::nullopt;
    return loader()(name);
}

} // namespace

std::vector<ElementSymbol>& ElementSymbols()
{
    static std::vector<ElementSymbol> rows = [] {
        std::vector<ElementSymbol> table;
        for (const char* name : BuiltinNames)
            table.push_back({name, resourceName(name), 0, 0, std::nullopt, std::nullopt});
        return table;
    }();
    return rows;
}

std::vector<ConnectionSymbol>& ConnectionSymbols()
{
    static std::vector<ConnectionSymbol> rows = [] {
        std::vector<ConnectionSymbol> table;
        for (const char* name : {"mb", "mbl", "mbllc", "mblrc", "mbr", "mbrlc", "mbrrc", "msl", "msr", "sb", "sbl",
                                 "sbllc", "sblrc", "sbr", "sbrlc", "sbrrc", "ssl", "ssr"})
            table.push_back({name, resourceName(name), 0, 0, std::nullopt});
        return table;
    }();
    return rows;
}

void SetSymbolLoader(SymbolLoader function)
{
    loader() = std::move(function);
}

int load_symbols()
{
    for (ElementSymbol& row : ElementSymbols()) {
        if (row.colour && row.blackAndWhite)
            continue;
        std::optional<platform::Bitmap> colour = loadResource(row.resource);
        std::optional<platform::Bitmap> blackAndWhite = loadResource(row.resource + "BW");
        if (!colour || !blackAndWhite) {
            ShowMessage({"Name not found", colour ? row.resource + "BW" : row.resource});
            ShowMessage({"Error in creating Black&White bond-graph symbols."});
            return 0;
        }
        row.width = colour->width();
        row.height = colour->height();
        row.colour = std::move(colour);
        row.blackAndWhite = std::move(blackAndWhite);
    }
    for (ConnectionSymbol& row : ConnectionSymbols()) {
        if (row.bitmap)
            continue;
        std::optional<platform::Bitmap> bitmap = loadResource(row.resource);
        if (!bitmap) {
            ShowMessage({"Error in creating Color bond-graph symbols."});
            return 0;
        }
        row.width = bitmap->width();
        row.height = bitmap->height();
        row.bitmap = std::move(bitmap);
    }
    return 1;
}

void free_symbols()
{
    for (ElementSymbol& row : ElementSymbols()) {
        row.colour.reset();
        row.blackAndWhite.reset();
        row.width = row.height = 0;
    }
    for (ConnectionSymbol& row : ConnectionSymbols()) {
        row.bitmap.reset();
        row.width = row.height = 0;
    }
}

const platform::Bitmap* connection_symbol(std::string_view name)
{
    for (const ConnectionSymbol& row : ConnectionSymbols())
        if (row.name == name)
            return row.bitmap ? &*row.bitmap : nullptr;
    return nullptr;
}

SymbolBitmaps element_symbol(int builtinIndex)
{
    const auto& rows = ElementSymbols();
    if (builtinIndex < 0 || builtinIndex >= static_cast<int>(rows.size()))
        return {};
    const ElementSymbol& row = rows[static_cast<std::size_t>(builtinIndex)];
    return {row.colour ? &*row.colour : nullptr, row.blackAndWhite ? &*row.blackAndWhite : nullptr};
}

void element_symbol_size(int builtinIndex, int& width, int& height)
{
    const auto& rows = ElementSymbols();
    width = height = 0;
    if (builtinIndex < 0 || builtinIndex >= static_cast<int>(rows.size()))
        return;
    const ElementSymbol& row = rows[static_cast<std::size_t>(builtinIndex)];
    if (row.colour) {
        width = row.width;
        height = row.height;
    }
}
