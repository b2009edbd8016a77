// The code generator's own model: quantities, equations and run values read
// from a processed model and an experiment.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

/// One model quantity.
struct VariableRecord {
    std::vector<std::string> names; ///< full hierarchical names, levels joined by '`'
    std::int32_t ordinal = 0;       ///< position within its kind, as the equations number it
    std::int32_t link = -1;
    std::string label;              ///< the plot label of an output curve
    double value = 0.0;
    bool valueGiven = false;        ///< an experiment gave the value
    /// 'P' parameter, 'Z' initial condition, 'V' variable, 's'/'R' independent state/rate,
    /// 'S'/'r' dependent state/rate, 'A'/'a' algebraic-loop output/input, 'C' constant.
    char kind = 'V';

    /// The first name, or "no name".
    const std::string& firstName() const;
};

/// One equation.
struct EquationRecord {
    std::string text;     ///< C text once translated, model text before
    std::string readable; ///< the equation with the quantities' names, for comments
    VariableRecord* target = nullptr;
};

using VariableList = std::vector<std::unique_ptr<VariableRecord>>;
using EquationList = std::vector<std::unique_ptr<EquationRecord>>;

/// The model the writers read; it owns its equations and the records of its kind lists.
struct GeneratorModel {
    explicit GeneratorModel(std::string name = "Noname");

    EquationList initialEquations;
    EquationList inputEquations;
    EquationList dynamicEquations;
    EquationList outputEquations;

    VariableList parameters;         // 'P'
    VariableList variables;          // 'V'
    VariableList initialConditions;  // 'Z'
    VariableList independentStates;  // 's'
    VariableList independentRates;   // 'R'
    VariableList dependentStates;    // 'S'
    VariableList dependentRates;     // 'r'
    VariableList algebraicOutputs;   // 'A'
    VariableList algebraicInputs;    // 'a'
    VariableList constants;          // 'C'

    std::vector<VariableRecord*> candidates; ///< submodel extraction, not owned
    std::vector<VariableRecord*> inputs;     ///< submodel inputs, not owned
    std::vector<VariableRecord*> outputs;    ///< submodel outputs, not owned
    std::vector<std::string> submodelNames;
    std::vector<VariableRecord*> outputList; ///< quantities printed by the program, not owned

    double startTime = 0.0;
    double finishTime = 10.0;
    double stepSize = 0.01;
    std::string integrationMethod = "Euler"; ///< "Euler" or "RungeKutta4"
    int simulationOutput = 0;                ///< 0 none, 1 during the run, 2 after the run
    std::string modelName;
    std::string experimentName;

    /// Per array kind ('P', 'V', 's', 'R'): one more than the largest ordinal an equation uses.
    std::map<char, std::int32_t> indexedExtent;

    /// The list of a kind letter ('Z' for initial conditions); null for a letter without one.
    VariableList* list(char kind);
    const VariableList* list(char kind) const;

    /// Frees every record and empties every list; run values keep their settings.
    void clear();
};

/// The record with a name equal to `name`, searching P, V, s, R, Z, S, r, A, a, C; else null.
VariableRecord* FindVariable(const GeneratorModel& model, std::string_view name);

/// The record a reference text such as "V[3]" names; null for a letter without a list,
/// a malformed text or a position past the list.
VariableRecord* FindReference(const GeneratorModel& model, std::string_view reference);

/// Rebuilds the submodel name list from every back-quote prefix of every name.
void BuildSubmodelList(GeneratorModel& model);
