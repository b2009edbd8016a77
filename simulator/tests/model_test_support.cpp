// Test support for the simulator's model code.
#include "model_test_support.h"

#include <gtest/gtest.h>

#include <cstring>

namespace modeltest {

std::string lines(std::initializer_list<std::string> text)
{
    std::string out;
    for (const std::string& line : text)
        out += line + "\n";
    return out;
}

std::string codeFile(std::initializer_list<std::string> body)
{
    return "#Hclass\tmodel\n#Hversion\t1\n" + lines(body);
}

StatusCapture::StatusCapture()
{
    SetStatusFunction([this](const std::string& text, bool) { texts.push_back(text); });
}

StatusCapture::~StatusCapture() { SetStatusFunction(nullptr); }

double& cell(char kind, int index)
{
    std::string error;
    double* address = CellAddress(KindOfLetter(kind), index, error);
    if (!address) {
        ADD_FAILURE() << "no cell " << kind << index << ": " << error;
        static double dummy;
        return dummy;
    }
    return *address;
}

void loadClean(const std::string& text)
{
    StatusCapture status;
    ASSERT_EQ(LoadCodeText(text), 0) << LastCodeFileReport();
    resetRunFlags();
    SelectModelEvaluators();
}

std::vector<std::uint64_t> cellBits()
{
    std::vector<std::uint64_t> out;
    auto put = [&out](double value) {
        std::uint64_t bits;
        std::memcpy(&bits, &value, sizeof bits);
        out.push_back(bits);
    };
    const ModelVariables& model = Variables();
    for (const VariableKind& kind : model.kinds)
        if (kind.values)
            for (int i = 0; i <= kind.count; ++i)
                put(kind.values[i]);
    for (const std::vector<double>* v : {&model.y, &model.yPrime, &model.rates, &model.dependentStates, &model.loopResults})
        for (double x : *v)
            put(x);
    return out;
}

void restoreCellBits(const std::vector<std::uint64_t>& bits)
{
    std::size_t at = 0;
    ModelVariables& model = Variables();
    auto put = [&](double& value) { std::memcpy(&value, &bits.at(at++), sizeof value); };
    for (VariableKind& kind : model.kinds)
        if (kind.values)
            for (int i = 0; i <= kind.count; ++i)
                put(kind.values[i]);
    for (std::vector<double>* v : {&model.y, &model.yPrime, &model.rates, &model.dependentStates, &model.loopResults})
        for (double& x : *v)
            put(x);
}

void resetRunFlags()
{
    RunStopFlag = 0;
    RestartFlag = 0;
    FirstEvaluationFlag = 0;
    EvaluationCount = 0;
    SimulationTime = 0.0;
}

} // namespace modeltest
