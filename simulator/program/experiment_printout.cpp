// The experiment description's printout.
#include "simulator/program/experiment_printout.h"

#include "simulator/experiment_description.h"

#include <algorithm>

ExperimentPrintout::ExperimentPrintout(std::vector<std::string> lines)
    : Printout("Orvanta Simulator"), m_lines(std::move(lines))
{
}

bool ExperimentPrintout::hasPage(int page) { return page == 1 || std::size_t(page) <= m_starts.size(); }

void ExperimentPrintout::printPage(int page, platform::DeviceContext& dc, int, int pageHeight)
{
    const int lineHeight = std::max(1, dc.textMetrics().height);
    const int perPage = DescriptionLinesPerPage(pageHeight, lineHeight);
    if (page == 1)
        m_starts = DescriptionPageStarts(int(m_lines.size()), perPage);
    if (std::size_t(page) > m_starts.size())
        return;
    const int first = m_starts[std::size_t(page - 1)];
    const int end = std::min(first + perPage, int(m_lines.size()));
    for (int i = first; i < end; ++i)
        dc.textOut(0, (i - first) * lineHeight, m_lines[std::size_t(i)]);
}
