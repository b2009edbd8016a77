// Submodel extraction: copy equations dissolved, the submodel's equations and
// quantities copied and renumbered, its boundary quantities classified.
#include "codegen/submodel_extraction.h"

#include "codegen/equation_translator.h"
#include "common/message_boxes.h"

#include <algorithm>
#include <cctype>
#include <iterator>
#include <map>
#include <optional>
#include <set>

namespace {

/// The kind letters in the order the quantities are copied.
constexpr char kCopyOrder[] = {'P', 'Z', 'V', 's', 'R', 'S', 'r', 'A', 'a', 'C'};

/// The kind letters whose records may be inputs or outputs, in the order they are tried.
constexpr char kCandidateOrder[] = {'V', 's', 'R', 'S', 'r', 'A', 'a'};

/// One array reference of a translated equation ("V[12]"): its letter, its number and
/// where the digits stand.
struct Reference {
    char letter;
    std::size_t number;
    std::size_t digits;
    std::size_t length;
};

bool isWordChar(char c)
{
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_';
}

/// Every reference of the text: a letter that has a list, not inside a longer word,
/// followed by '[', digits and ']'.
std::vector<Reference> references(const GeneratorModel& model, const std::string& text)
{
    std::vector<Reference> found;
    for (std::size_t i = 0; i + 3 < text.size(); ++i) {
        const char letter = text[i];
        if (text[i + 1] != '[' || letter == 'Z' || !model.list(letter) || (i > 0 && isWordChar(text[i - 1])))
            continue;
        std::size_t end = i + 2;
        std::size_t number = 0;
        while (end < text.size() && std::isdigit(static_cast<unsigned char>(text[end])) && end - i < 12)
            number = number * 10 + static_cast<std::size_t>(text[end++] - '0');
        if (end == i + 2 || end >= text.size() || text[end] != ']')
            continue;
        found.push_back(Reference{letter, number, i + 2, end - i - 2});
        i = end;
    }
    return found;
}

bool hasNameInside(const VariableRecord& record, const std::string& path)
{
    return std::any_of(record.names.begin(), record.names.end(),
                       [&](const std::string& name) { return InSubmodel(name, path); });
}

bool hasNameOutside(const VariableRecord& record, const std::string& path)
{
    return std::any_of(record.names.begin(), record.names.end(),
                       [&](const std::string& name) { return !InSubmodel(name, path); });
}

/// The record a reference names by position in its list, or null.
const VariableRecord* referenced(const GeneratorModel& model, const Reference& reference)
{
    const VariableList& records = *model.list(reference.letter);
    return reference.number < records.size() ? records[reference.number].get() : nullptr;
}

/// The number k when the text is exactly "<left-hand side> = V[k];".
std::optional<std::size_t> copiedVariable(const std::string& text)
{
    const std::size_t assign = text.find(" = ");
    if (assign == std::string::npos)
        return std::nullopt;
    const std::string right = text.substr(assign + 3);
    if (right.size() < 5 || right.compare(0, 2, "V[") != 0 || right.compare(right.size() - 2, 2, "];") != 0)
        return std::nullopt;
    const std::string digits = right.substr(2, right.size() - 4);
    if (digits.empty() || digits.size() > 9 ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); }))
        return std::nullopt;
    return static_cast<std::size_t>(std::stoul(digits));
}

/// A submodel port that only copies an outside variable makes that variable a quantity
/// of the submodel: the port's inner name moves to it and the copy equation goes.
void dissolveCopyEquations(GeneratorModel& source, const std::string& path)
{
    std::vector<std::size_t> copies;
    for (std::size_t i = 0; i < source.outputEquations.size(); ++i) {
        EquationRecord& equation = *source.outputEquations[i];
        VariableRecord* target = equation.target;
        if (!target)
            continue;
        auto inner = std::find_if(target->names.begin(), target->names.end(),
                                  [&](const std::string& name) { return InSubmodel(name, path); });
        std::optional<std::size_t> k = copiedVariable(equation.text);
        if (inner == target->names.end() || !k || *k >= source.variables.size())
            continue;
        VariableRecord& copied = *source.variables[*k];
        if (&copied == target || hasNameInside(copied, path))
            continue;
        copied.names.push_back(*inner);
        target->names.erase(inner);
        copies.push_back(i);
    }
    for (auto at = copies.rbegin(); at != copies.rend(); ++at)
        source.outputEquations.erase(source.outputEquations.begin() + static_cast<std::ptrdiff_t>(*at));
}

bool belongs(const GeneratorModel& source, const EquationRecord& equation, const std::string& path)
{
    for (const Reference& reference : references(source, equation.text)) {
        const VariableRecord* record = referenced(source, reference);
        if (!record || !hasNameInside(*record, path))
            return false;
    }
    return true;
}

constexpr EquationList GeneratorModel::*kEquationLists[] = {
    &GeneratorModel::initialEquations,
    &GeneratorModel::inputEquations,
    &GeneratorModel::dynamicEquations,
    &GeneratorModel::outputEquations,
};

/// One extraction: the new model and the copy of each source record taken into it.
class Extraction {
public:
    Extraction(GeneratorModel& source, const std::string& path)
        : m_source(source), m_path(path), m_model(std::make_unique<GeneratorModel>(source.modelName))
    {
    }

    std::unique_ptr<GeneratorModel> run()
    {
        dissolveCopyEquations(m_source, m_path);
        copyEquations();
        copyQuantities();
        if (!pairedStates() || !renumber())
            return nullptr;
        classify();
        if (!computedInside())
            return nullptr;
        m_model->experimentName = m_source.experimentName;
        m_model->startTime = m_source.startTime;
        m_model->finishTime = m_source.finishTime;
        m_model->integrationMethod = m_source.integrationMethod;
        m_model->stepSize = m_source.stepSize;
        return std::move(m_model);
    }

private:
    void copyEquations()
    {
        for (EquationList GeneratorModel::*list : kEquationLists)
            for (const auto& equation : m_source.*list)
                if (belongs(m_source, *equation, m_path)) {
                    auto copy = std::make_unique<EquationRecord>();
                    copy->text = equation->text;
                    copy->readable = equation->readable;
                    m_copied.insert(equation.get());
                    ((*m_model).*list).push_back(std::move(copy));
                }
    }

    void copyQuantities()
    {
        for (char kind : kCopyOrder) {
            VariableList& to = *m_model->list(kind);
            for (const auto& record : *m_source.list(kind)) {
                if (!hasNameInside(*record, m_path))
                    continue;
                auto copy = std::make_unique<VariableRecord>(*record);
                copy->link = static_cast<std::int32_t>(to.size());
                m_copies[record.get()] = copy.get();
                to.push_back(std::move(copy));
            }
        }
    }

    /// The integrators take state i, rate i and initial condition i together: the
    /// submodel must hold the same positions of all three lists.
    bool pairedStates()
    {
        auto ordinals = [&](char kind) {
            std::vector<std::int32_t> taken;
            for (const auto& record : *m_model->list(kind))
                taken.push_back(record->ordinal);
            return taken;
        };
        const std::vector<std::int32_t> states = ordinals('s');
        for (char kind : {'R', 'Z'}) {
            const std::vector<std::int32_t> other = ordinals(kind);
            if (other == states)
                continue;
            std::vector<std::int32_t> unpaired;
            std::set_symmetric_difference(states.begin(), states.end(), other.begin(), other.end(),
                                          std::back_inserter(unpaired));
            const std::int32_t ordinal = unpaired.front();
            const char holder = std::binary_search(states.begin(), states.end(), ordinal) ? 's' : kind;
            std::string name = "no name";
            for (const auto& record : *m_model->list(holder))
                if (record->ordinal == ordinal)
                    name = record->firstName();
            ShowMessage({"The states, rates and initial conditions of the submodel do not pair up",
                         "submodel: " + m_path, "unpaired: " + name});
            return false;
        }
        return true;
    }

    /// References take the positions of the new lists; a reference that finds no
    /// quantity would write a wrong index into the code and ends the extraction.
    bool renumber()
    {
        for (EquationList GeneratorModel::*list : kEquationLists)
            for (const auto& equation : (*m_model).*list) {
                std::vector<Reference> found = references(*m_model, equation->text);
                for (auto reference = found.rbegin(); reference != found.rend(); ++reference) {
                    const VariableList& records = *m_model->list(reference->letter);
                    std::int32_t link = -1;
                    for (const auto& record : records)
                        if (record->ordinal == static_cast<std::int32_t>(reference->number))
                            link = record->link;
                    if (link < 0) {
                        ShowMessage({"There is an error in the determination of the submodel variables",
                                     "no quantity " + std::string(1, reference->letter) + "[" +
                                         std::to_string(reference->number) + "] in: " + equation->readable});
                        return false;
                    }
                    equation->text.replace(reference->digits, reference->length, std::to_string(link));
                    std::int32_t& extent = m_model->indexedExtent[reference->letter];
                    extent = std::max(extent, link + 1);
                }
            }
        for (char kind : kCopyOrder)
            for (const auto& record : *m_model->list(kind))
                record->ordinal = record->link;
        for (EquationList GeneratorModel::*list : kEquationLists)
            for (const auto& equation : (*m_model).*list)
                FindLeftHandSide(*equation, *m_model);
        return true;
    }

    bool isTarget(const VariableRecord* record) const
    {
        for (EquationList GeneratorModel::*list : kEquationLists)
            for (const auto& equation : (*m_model).*list)
                if (equation->target == record)
                    return true;
        return false;
    }

    /// Quantities the submodel computes and its boundary states are outputs; boundary
    /// quantities that nothing inside computes are inputs.
    void classify()
    {
        for (char kind : kCandidateOrder)
            for (const auto& record : *m_model->list(kind))
                if (hasNameOutside(*record, m_path))
                    m_model->candidates.push_back(record.get());
        for (VariableRecord* record : m_model->candidates) {
            if (isTarget(record))
                m_model->outputs.push_back(record);
            else if (record->kind != 's')
                m_model->inputs.push_back(record);
            else if (record->firstName().find("_indep_state") == std::string::npos)
                m_model->outputs.push_back(record);
        }
    }

    /// A quantity of the submodel that is no input must not be left to an equation that
    /// stayed outside: the block would compute with a value nothing sets.
    bool computedInside() const
    {
        for (EquationList GeneratorModel::*list : kEquationLists)
            for (const auto& equation : m_source.*list) {
                if (m_copied.count(equation.get()) || !equation->target)
                    continue;
                auto copy = m_copies.find(equation->target);
                if (copy == m_copies.end() || std::find(m_model->inputs.begin(), m_model->inputs.end(),
                                                        copy->second) != m_model->inputs.end())
                    continue;
                ShowMessage({"The submodel " + m_path + " uses quantities outside it",
                             "in equation: " + equation->readable});
                return false;
            }
        return true;
    }

    GeneratorModel& m_source;
    const std::string& m_path;
    std::unique_ptr<GeneratorModel> m_model;
    std::map<const VariableRecord*, VariableRecord*> m_copies;
    std::set<const EquationRecord*> m_copied;
};

} // namespace

bool InSubmodel(std::string_view name, std::string_view path)
{
    return path.empty() || (name.size() > path.size() && name.starts_with(path) && name[path.size()] == '`');
}

std::unique_ptr<GeneratorModel> ExtractSubmodel(GeneratorModel& source, const std::string& path)
{
    return Extraction(source, path).run();
}
