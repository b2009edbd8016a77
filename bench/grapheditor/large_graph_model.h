// The large drawing of the graph editor's benchmarks: 5,000 submodels and 10,000
// bonds made through the object API in the current model.
#pragma once

#include "grapheditor/graph_model_reader.h"
#include "grapheditor/graph_objects.h"
#include "grapheditor/submodel_library.h"

#include <cstdlib>
#include <string>
#include <vector>

inline constexpr int kLargeModelSubmodels = 5000;
inline constexpr int kLargeModelBonds = 10000;

/// Submodels of five built-in types on a grid of 100 columns (column and row steps
/// apart), each joined to the next and to the seventh after it: every fifth bond a
/// multibond of size n + 1 (the argument n is 2), every third with a midpoint.
inline void BuildLargeGraphModel(int columnStep, int rowStep)
{
    clear_model();
    GraphModel& model = CurrentModel();
    auto n = std::make_unique<Argument>();
    n->name = "n";
    n->hasValue = 1;
    n->value = 2;
    model.names.add("n", NAME_ARGUMENT, n.get());
    model.arguments.push_back(std::move(n));
    LibraryEntry entries[5];
    const char* texts[] = {"1j1", "0j1", "c1", "i1", "r1"};
    for (int i = 0; i < 5; ++i) {
        entries[i].text = texts[i];
        entries[i].builtinIndex = builtin_index(std::string(texts[i]).substr(0, std::string(texts[i]).size() - 1));
    }
    std::vector<Submodel*> submodels;
    for (int i = 0; i < kLargeModelSubmodels; ++i) {
        submodels.push_back(create_submodel(columnStep + columnStep * (i % 100), rowStep + rowStep * (i / 100),
                                            entries[i % 5]));
        if (!submodels.back())
            std::abort(); // the grid is too tight for the boxes
    }
    ExprList size;
    ParseSizeList("n + 1", size, model.arguments);
    for (int b = 0; b < kLargeModelBonds; ++b) {
        const int from = b / 2;
        const int to = (from + (b % 2 ? 7 : 1)) % kLargeModelSubmodels;
        std::vector<Midpoint> midpoints;
        if (b % 3 == 0)
            midpoints.push_back({submodels[from]->x + 20, submodels[to]->y + 20});
        Connection* bond = AddConnection(model, {END_SUBMODEL, submodels[from]}, {END_SUBMODEL, submodels[to]},
                                         std::move(midpoints), 0, 1, b % 5 == 0 ? CopyList(size) : ExprList{});
        bond->ends[0].portName = b % 2 ? "p3" : "p1";
        bond->ends[1].portName = b % 2 ? "p4" : "p2";
    }
}
