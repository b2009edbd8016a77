// The code generator's model, its name lookups and its submodel name list.
#include "codegen/generator_model.h"

#include <algorithm>
#include <cctype>

namespace {

const std::string kNoName = "no name";

/// The kind letters in the order `FindVariable` searches them.
constexpr char kSearchOrder[] = {'P', 'V', 's', 'R', 'Z', 'S', 'r', 'A', 'a', 'C'};

/// The kind letters in the order the submodel name list walks them.
constexpr char kListOrder[] = {'P', 'V', 'Z', 's', 'R', 'S', 'r', 'A', 'a', 'C'};

} // namespace

const std::string& VariableRecord::firstName() const
{
    return names.empty() ? kNoName : names.front();
}

GeneratorModel::GeneratorModel(std::string name) : modelName(std::move(name)) {}

VariableList* GeneratorModel::list(char kind)
{
    return const_cast<VariableList*>(static_cast<const GeneratorModel*>(this)->list(kind));
}

const VariableList* GeneratorModel::list(char kind) const
{
    switch (kind) {
    case 'P': return &parameters;
    case 'V': return &variables;
    case 'Z': return &initialConditions;
    case 's': return &independentStates;
    case 'R': return &independentRates;
    case 'S': return &dependentStates;
    case 'r': return &dependentRates;
    case 'A': return &algebraicOutputs;
    case 'a': return &algebraicInputs;
    case 'C': return &constants;
    default: return nullptr;
    }
}

void GeneratorModel::clear()
{
    for (EquationList* equations : {&initialEquations, &inputEquations, &dynamicEquations, &outputEquations})
        equations->clear();
    candidates.clear();
    inputs.clear();
    outputs.clear();
    outputList.clear();
    submodelNames.clear();
    indexedExtent.clear();
    for (char kind : kSearchOrder)
        list(kind)->clear();
}

VariableRecord* FindVariable(const GeneratorModel& model, std::string_view name)
{
    for (char kind : kSearchOrder)
        for (const auto& record : *model.list(kind))
            if (std::find(record->names.begin(), record->names.end(), name) != record->names.end())
                return record.get();
    return nullptr;
}

VariableRecord* FindReference(const GeneratorModel& model, std::string_view reference)
{
    if (reference.size() < 3 || reference[1] != '[' || reference.back() != ']')
        return nullptr;
    const VariableList* records = reference[0] == 'Z' ? nullptr : model.list(reference[0]);
    if (!records)
        return nullptr;
    std::string_view digits = reference.substr(2, reference.size() - 3);
    if (digits.empty() || digits.size() > 9)
        return nullptr;
    std::size_t position = 0;
    for (char c : digits) {
        if (!std::isdigit(static_cast<unsigned char>(c)))
            return nullptr;
        position = position * 10 + static_cast<std::size_t>(c - '0');
    }
    return position < records->size() ? (*records)[position].get() : nullptr;
}

void BuildSubmodelList(GeneratorModel& model)
{
    model.submodelNames.clear();
    for (char kind : kListOrder)
        for (const auto& record : *model.list(kind))
            for (const std::string& name : record->names)
                for (std::size_t cut = name.rfind('`'); cut != std::string::npos && cut > 0;
                     cut = name.rfind('`', cut - 1)) {
                    std::string prefix = name.substr(0, cut);
                    if (std::find(model.submodelNames.begin(), model.submodelNames.end(), prefix) ==
                        model.submodelNames.end())
                        model.submodelNames.push_back(std::move(prefix));
                }
}
