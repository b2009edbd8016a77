// Reading the help pages' anchors and links for the tests.
#include "platform/testing/help_pages.h"

#include "platform/core/file_system.h"
#include "platform/core/help_navigation.h"

#include <fstream>
#include <regex>
#include <sstream>

namespace testsupport {

namespace {

std::vector<std::string> attributeValues(const std::string& html, const char* names)
{
    const std::regex attribute(std::string("\\b(?:") + names + ")\\s*=\\s*\"([^\"]*)\"", std::regex::icase);
    std::vector<std::string> values;
    for (auto it = std::sregex_iterator(html.begin(), html.end(), attribute); it != std::sregex_iterator(); ++it)
        values.push_back((*it)[1].str());
    return values;
}

std::string fileText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace

std::set<std::string> pageAnchors(const std::string& html)
{
    const std::vector<std::string> ids = attributeValues(html, "id");
    return {ids.begin(), ids.end()};
}

std::vector<std::string> pageLinks(const std::string& html)
{
    return attributeValues(html, "href|src");
}

std::string helpAddressProblem(const std::string& address, const std::string& fromPage,
                               const std::string& programDirectory, const std::string& installDirectory)
{
    const bool fileAddress = address.size() >= 5 && platform::equalsNoCase(std::string_view(address).substr(0, 5), "file:");
    if (!fileAddress && address.find(':') == std::string::npos && address.rfind("//", 0) != 0) {
        if (fromPage.empty())
            return address + ": names no page";
        if (address[0] == '/')
            return address + ": not relative to its page";
    }
    std::optional<platform::HelpPlace> place = platform::linkedPlace({fromPage, {}}, address);
    if (!place)
        return address + ": leads outside the help";
    std::string file = place->page;
    if (!programDirectory.empty() && file.rfind(programDirectory + "/", 0) == 0)
        file = installDirectory + file.substr(programDirectory.size());
    if (!platform::fileExists(file) || platform::isDirectory(file))
        return address + ": no file " + file;
    if (!place->anchor.empty() && !pageAnchors(fileText(file)).count(place->anchor))
        return address + ": no anchor '" + place->anchor + "' in " + file;
    return {};
}

std::vector<std::string> helpCommandProblems(const std::vector<std::string>& opened,
                                             const std::string& installDirectory, int context)
{
    const std::string help = "file://" + installDirectory;
    const std::vector<std::string> wanted = {help + "/help/orvanta.html#context-" + std::to_string(context),
                                             help + "/help/orvantadmo.html", help + "/tutorial/orvantatut.html",
                                             help + "/help/orvanta.html#using-help"};
    std::vector<std::string> problems;
    if (opened.size() != wanted.size())
        problems.push_back(std::to_string(opened.size()) + " pages opened, not " + std::to_string(wanted.size()));
    for (std::size_t i = 0; i < opened.size() && i < wanted.size(); ++i) {
        if (opened[i] != wanted[i])
            problems.push_back(opened[i] + ": not " + wanted[i]);
        if (std::string problem = helpAddressProblem(opened[i]); !problem.empty())
            problems.push_back(problem);
    }
    return problems;
}

} // namespace testsupport
