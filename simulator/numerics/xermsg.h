// Error-report entry of the DAE integrator, and the Fortran number formats of its reports.
#pragma once

#include <string>

namespace numerics {

/// Composes a report (library, routine, text with explicit lengths; error number; level -1..2)
/// and returns; nothing is shown and nothing ends the process.
void XERMSG(const char *LIBRAR, const char *SUBROU, const char *MESSG, const int *NERR,
            const int *LEVEL, int librarLength, int subrouLength, int messgLength);

/// The lines of the last report XERMSG composed; empty after a call with an invalid number or level.
const std::string &xermsgLastReport();

/// An integer in the Fortran format (I8): right-aligned in 8 characters, asterisks when too wide.
std::string formatI8(long value);

/// A real in the Fortran format (1P,D15.6): "d.ddddddD+ee" right-aligned in 15 characters.
std::string format1PD15_6(double value);

} // namespace numerics
