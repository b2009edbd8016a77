// The generator model's lookups and its submodel name list.
#include "codegen/generator_model.h"

#include <gtest/gtest.h>

namespace {

VariableRecord* add(GeneratorModel& model, char kind, std::vector<std::string> names)
{
    VariableList& list = *model.list(kind);
    auto record = std::make_unique<VariableRecord>();
    record->names = std::move(names);
    record->kind = kind;
    record->ordinal = static_cast<std::int32_t>(list.size());
    list.push_back(std::move(record));
    return list.back().get();
}

TEST(GeneratorModel, FindVariableSearchesTheKindsInOrderAndEveryName)
{
    GeneratorModel model;
    VariableRecord* rate = add(model, 'R', {"shared"});
    VariableRecord* variable = add(model, 'V', {"x", "shared", "alias"});
    VariableRecord* initial = add(model, 'Z', {"x0"});
    EXPECT_EQ(FindVariable(model, "shared"), variable) << "V is searched before R";
    EXPECT_EQ(FindVariable(model, "alias"), variable);
    EXPECT_EQ(FindVariable(model, "x0"), initial);
    EXPECT_EQ(FindVariable(model, "X"), nullptr) << "names are compared case-sensitively";
    EXPECT_EQ(FindVariable(model, "shar"), nullptr) << "whole names only";
    (void)rate;
}

TEST(GeneratorModel, FindReferenceTakesTheTranslatorsForm)
{
    GeneratorModel model;
    VariableRecord* v0 = add(model, 'V', {"a"});
    VariableRecord* v1 = add(model, 'V', {"b"});
    VariableRecord* p0 = add(model, 'P', {"c"});
    struct Case {
        const char* text;
        VariableRecord* expected;
    } cases[] = {
        {"V[0]", v0}, {"V[1]", v1}, {"P[0]", p0}, {"V[2]", nullptr}, {"V1", nullptr},  {"U[0]", nullptr},
        {"V[]", nullptr}, {"V[x]", nullptr}, {"Q[0]", nullptr}, {"V[", nullptr}, {"", nullptr},
        {"V[99999999999999999999]", nullptr},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FindReference(model, c.text), c.expected) << c.text;
}

TEST(GeneratorModel, SubmodelListHoldsEveryPrefixOnceFromLongestToShortest)
{
    GeneratorModel model;
    add(model, 'V', {"plant`motor`speed", "plant`motor`omega"});
    add(model, 'P', {"plant`gain"});
    add(model, 's', {"top"});
    add(model, 'Z', {"ctrl`pid`i`x"});
    BuildSubmodelList(model);
    // P first, then V, then Z, s ...
    EXPECT_EQ(model.submodelNames,
              (std::vector<std::string>{"plant", "plant`motor", "ctrl`pid`i", "ctrl`pid", "ctrl"}));
    model.clear();
    EXPECT_TRUE(model.variables.empty());
    BuildSubmodelList(model);
    EXPECT_TRUE(model.submodelNames.empty());
}

} // namespace
