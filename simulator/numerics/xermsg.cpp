// Error-report entry of the DAE integrator.
//
// XERMSG keeps the interface of the SLATEC error-message routine: three texts with explicit
// lengths (not zero-terminated), the error number and the level (-1 warning, 0 informative,
// 1 recoverable, 2 fatal). It shows nothing, and unlike the published routine no report ends the
// process (that would take the user's unsaved work with it and still exit with success): the
// integrator returns its illegal-input result instead and the simulator reacts to that.
// The report is composed in a file-scope buffer so that a test or a debugger can read it.
#include "simulator/numerics/xermsg.h"

#include "simulator/numerics/f2c_format.h"

#include <algorithm>
#include <cstdlib>

namespace numerics {

namespace {

std::string g_lastReport;

std::string fixedText(const char *text, int length, int limit)
{
    if (text == nullptr || length <= 0)
        return {};
    return std::string(text, static_cast<std::size_t>(std::min(length, limit)));
}

} // namespace

std::string formatI8(long value)
{
    return fortranWriteInteger("(I8)", value, 8);
}

std::string format1PD15_6(double value)
{
    return fortranWriteDouble("(1PD15.6)", value, 15);
}

void XERMSG(const char *LIBRAR, const char *SUBROU, const char *MESSG, const int *NERR,
            const int *LEVEL, int librarLength, int subrouLength, int messgLength)
{
    g_lastReport.clear();
    const int nerr = *NERR;
    const int level = *LEVEL;
    if (nerr < -9999999 || nerr > 99999999 || nerr == 0 || level < -1 || level > 2)
        return;

    std::string report = "MESSAGE FROM ROUTINE " + fixedText(SUBROU, subrouLength, 16) +
                         " IN LIBRARY " + fixedText(LIBRAR, librarLength, 16) + ".\n";
    if (level <= 0)
        report += "INFORMATIVE MESSAGE,";
    else if (level == 1)
        report += "POTENTIALLY RECOVERABLE ERROR,";
    else
        report += "FATAL ERROR,";
    report += level == 2 ? " PROGRAM ABORTED.\n" : " PROGRAM CONTINUES.\n";
    report += "ERROR NUMBER = " + formatI8(nerr) + "\n";

    // "$$" separates the lines of the report text.
    std::string text = fixedText(MESSG, messgLength, messgLength);
    for (std::size_t pos; (pos = text.find("$$")) != std::string::npos;)
        text.replace(pos, 2, "\n");
    report += text;
    g_lastReport = std::move(report);
}

const std::string &xermsgLastReport()
{
    return g_lastReport;
}

} // namespace numerics
