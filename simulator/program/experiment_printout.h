// The experiment description on paper: as many lines on a page as fit, less one, and
// every line on some page.
#pragma once

#include "platform/qt/printing.h"

#include <string>
#include <vector>

class ExperimentPrintout : public platform::Printout {
public:
    explicit ExperimentPrintout(std::vector<std::string> lines);

    bool hasPage(int page) override;
    void printPage(int page, platform::DeviceContext& dc, int pageWidth, int pageHeight) override;

private:
    std::vector<std::string> m_lines;
    std::vector<int> m_starts; ///< the first line of each page, laid out on page 1
};
