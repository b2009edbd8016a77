// Places of the HTML help: the pages and anchors of help commands and links, and their history.
#include "platform/core/help_navigation.h"

#include "platform/core/file_system.h"

#include <cctype>
#include <filesystem>

namespace platform {

namespace {

/// "%20" and the like back to their bytes; a "%" without two hex digits stays as it is.
std::string percentDecoded(const std::string& text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
            std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
            out += char(std::stoi(text.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

/// The bytes an address keeps as they are in its path and anchor; every other one is written %XX.
bool keptInAddress(unsigned char c)
{
    return std::isalnum(c) || std::string_view("-._~/!$&'()*+,;=:@").find(char(c)) != std::string_view::npos;
}

std::string percentEncoded(const std::string& text)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        if (keptInAddress(c)) {
            out += char(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

/// The length of the address's scheme with its ":" ("file:", "https:"); 0 when it has none.
std::size_t schemeLength(const std::string& link)
{
    if (link.empty() || !std::isalpha(static_cast<unsigned char>(link[0])))
        return 0;
    for (std::size_t i = 1; i < link.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(link[i]);
        if (c == ':')
            return i + 1;
        if (!std::isalnum(c) && c != '+' && c != '-' && c != '.')
            return 0;
    }
    return 0;
}

} // namespace

std::string htmlHelpFile(const std::string& helpFile)
{
    std::size_t slash = helpFile.rfind('/');
    std::size_t dot = helpFile.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return helpFile + ".html";
    if (equalsNoCase(std::string_view(helpFile).substr(dot), ".html"))
        return helpFile;
    return helpFile.substr(0, dot) + ".html";
}

HelpPlace helpPlace(const std::string& helpFile, unsigned command, long data)
{
    HelpPlace place{htmlHelpFile(helpFile), {}};
    if (command == HELP_CONTEXT)
        place.anchor = "context-" + std::to_string(data);
    else if (command == HELP_HELPONHELP)
        place.anchor = "using-help";
    return place;
}

std::string helpAddress(const HelpPlace& place)
{
    std::string address = "file://" + percentEncoded(place.page);
    if (!place.anchor.empty())
        address += "#" + percentEncoded(place.anchor);
    return address;
}

std::optional<HelpPlace> linkedPlace(const HelpPlace& from, const std::string& link)
{
    const std::size_t hash = link.find('#');
    std::string target = link.substr(0, hash);
    const std::string anchor = hash == std::string::npos ? std::string() : percentDecoded(link.substr(hash + 1));
    if (const std::size_t scheme = schemeLength(target); scheme > 0) {
        if (!equalsNoCase(std::string_view(target).substr(0, scheme), "file:"))
            return std::nullopt;
        target = target.substr(scheme);
        // file:///path and file://localhost/path name a file of this machine; any other host does not.
        if (target.rfind("//", 0) == 0) {
            const std::size_t path = target.find('/', 2);
            const std::string host = target.substr(2, path == std::string::npos ? std::string::npos : path - 2);
            if (!host.empty() && !equalsNoCase(host, "localhost"))
                return std::nullopt;
            target = path == std::string::npos ? std::string("/") : target.substr(path);
        }
        return HelpPlace{percentDecoded(target), anchor};
    }
    if (target.rfind("//", 0) == 0)
        return std::nullopt;
    target = target.substr(0, target.find('?'));
    if (target.empty())
        return HelpPlace{from.page, anchor};
    namespace fs = std::filesystem;
    fs::path page = percentDecoded(target);
    if (page.is_relative())
        page = fs::path(from.page).parent_path() / page;
    return HelpPlace{page.lexically_normal().string(), anchor};
}

void HelpHistory::open(const HelpPlace& place)
{
    go(place);
    m_contents = place.page;
}

void HelpHistory::go(const HelpPlace& place)
{
    if (const HelpPlace* now = current(); now && *now == place)
        return;
    if (!m_places.empty())
        m_places.erase(m_places.begin() + static_cast<std::ptrdiff_t>(m_current) + 1, m_places.end());
    m_places.push_back(place);
    m_current = m_places.size() - 1;
}

bool HelpHistory::back()
{
    if (!canGoBack())
        return false;
    --m_current;
    return true;
}

bool HelpHistory::forward()
{
    if (!canGoForward())
        return false;
    ++m_current;
    return true;
}

bool HelpHistory::contents()
{
    if (m_contents.empty())
        return false;
    go({m_contents, {}});
    return true;
}

} // namespace platform
