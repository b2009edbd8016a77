// The symbol bitmaps the renderer and the dialogs draw: one row per built-in
// library element (colour and black-and-white) and one per kind of connection
// in the connection editor's lists.
#pragma once

#include "grapheditor/drawing_layer.h"
#include "platform/core/bitmap.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct ElementSymbol {
    std::string name;     ///< the built-in library name
    std::string resource; ///< "BM_" and the name in capitals; "BW" follows for the other form
    int width = 0, height = 0;
    std::optional<platform::Bitmap> colour;
    std::optional<platform::Bitmap> blackAndWhite;
};

struct ConnectionSymbol {
    std::string name; ///< "mb", "mbl", ... "ssr"
    std::string resource;
    int width = 0, height = 0;
    std::optional<platform::Bitmap> bitmap;
};

/// The 122 element rows, in the order of the built-in names.
std::vector<ElementSymbol>& ElementSymbols();
/// The 18 connection rows.
std::vector<ConnectionSymbol>& ConnectionSymbols();

/// Finds a bitmap resource by name (the program's resources); none when missing.
using SymbolLoader = std::function<std::optional<platform::Bitmap>(std::string_view name)>;
/// Installs the loader `load_symbols` reads with (an empty one finds nothing).
void SetSymbolLoader(SymbolLoader loader);

/// Loads both tables once (rows that hold their bitmaps are skipped): 1, or 0
/// after "Error in creating Black&White bond-graph symbols." (an element row
/// failed; the connection table is then not loaded) or "Error in creating Color
/// bond-graph symbols.".
int load_symbols();

/// Forgets every bitmap of both tables.
void free_symbols();

/// The bitmap of the connection row of that name; null when there is none or it is not loaded.
const platform::Bitmap* connection_symbol(std::string_view name);

/// The symbol of a built-in element by its index; both forms null when not loaded.
SymbolBitmaps element_symbol(int builtinIndex);
/// Its size; 0 by 0 when not loaded.
void element_symbol_size(int builtinIndex, int& width, int& height);
