// Test support for the simulator's model code.
#include "model_test_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <iterator>
#include <string_view>

namespace modeltest {

std::string lines(std::initializer_list<std::string> text)
{
    std::string out;
    for (const std::string& line : text)
        out += line + "\n";
    return out;
}

std::string withEquationSections(const std::string& text)
{
    static const char* const sections[] = {"#EInitial", "#Einputs", "#Edynamic", "#Eoutputs"};
    std::string out;
    std::size_t next = 0;
    const auto emptyUpTo = [&](std::size_t section) {
        for (; next < section; ++next)
            out += std::string(sections[next]) + "\t0\n";
    };
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        end = end == std::string::npos ? text.size() : end + 1;
        const std::string_view line(text.data() + start, end - start);
        for (std::size_t k = next; k < std::size(sections); ++k)
            if (line.starts_with(sections[k])) {
                emptyUpTo(k);
                ++next;
                break;
            }
        out += line;
        start = end;
    }
    if (!out.empty() && out.back() != '\n')
        out += '\n';
    emptyUpTo(std::size(sections));
    return out;
}

std::string codeFile(std::initializer_list<std::string> body)
{
    return withEquationSections("#Hclass\tmodel\n#Hversion\t1\n" + lines(body));
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
