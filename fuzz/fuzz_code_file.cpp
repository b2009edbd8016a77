// Fuzz target of the code-file reader: any text is read, the stiff methods' Jacobian structure
// is read from the model it leaves (the sparse matrix forced, so that any table is grouped and
// ordered), and the model is evaluated once through all four tables.
#include "platform/core/message_sink.h"
#include "simulator/code_file_reader.h"
#include "simulator/data_tables.h"
#include "simulator/interpreter.h"
#include "simulator/jacobian_pattern.h"
#include "simulator/run_state.h"
#include "simulator/user_libraries.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static platform::SilentMessageSink sink;
    static bool ready = [] {
        platform::setMessageSink(&sink);
        SetStatusFunction([](const std::string&, bool) {});
        SetDataTableLocation("/nonexistent", "fuzz");
        SetJacobianChoice(JacobianChoice::Sparse);
        return true;
    }();
    (void)ready;
    LoadCodeText(std::string(reinterpret_cast<const char*>(data), size));
    if (numerics::SparseJacobian* bdf = BdfSparseJacobian())
        bdf->lu();
    if (numerics::SparseJacobian* vode = VodeSparseJacobian())
        vode->lu();
    ReleaseJacobianStructures();
    RunStopFlag = 0;
    FirstEvaluationFlag = 1;
    SelectModelEvaluators();
    ModelEvaluators.initialization();
    ModelEvaluators.excitation();
    EvaluateModel(0.5);
    FirstEvaluationFlag = 0;
    EvaluateModel(1.0);
    ModelEvaluators.output();
    ClearTableFileCache();
    TerminateUserDlls();
    return 0;
}
