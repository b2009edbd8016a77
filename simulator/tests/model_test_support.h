// Test support for the simulator's model code: code-file texts, status capture
// and running the four evaluators.
#pragma once

#include "simulator/code_file_reader.h"
#include "simulator/interpreter.h"
#include "simulator/model_variables.h"
#include "simulator/run_state.h"

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace modeltest {

/// The lines joined with line feeds, with a final line feed.
std::string lines(std::initializer_list<std::string> text);

/// The code text with the equation sections it leaves out put in their places, empty, as the
/// model processor writes them.
std::string withEquationSections(const std::string& text);

/// "#Hclass\tname\n#Hversion\t1\n" followed by the lines, with the equation sections they
/// leave out.
std::string codeFile(std::initializer_list<std::string> body);

/// Collects status texts while it lives.
class StatusCapture {
public:
    StatusCapture();
    ~StatusCapture();
    std::vector<std::string> texts;
};

/// Value cell `index` of a kind (the kind letter of "PICTVsRaASrU").
double& cell(char kind, int index);

/// Loads the text and expects a clean load.
void loadClean(const std::string& text);

/// Every value cell of the loaded model (each kind's, the states', the rates' and the
/// loops'), as bits; and the same cells put back from such bits.
std::vector<std::uint64_t> cellBits();
void restoreCellBits(const std::vector<std::uint64_t>& bits);

/// Puts the run flags back to the start of a run.
void resetRunFlags();

} // namespace modeltest
