// The suite's HTML help as places on its pages: which page and anchor a help
// command opens, where a link on a page leads, and the help window's history.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace platform {

/// The help commands of the suite's help menus.
inline constexpr unsigned HELP_CONTEXT = 1;    ///< a topic by its context number
inline constexpr unsigned HELP_QUIT = 2;       ///< the help window is no longer needed
inline constexpr unsigned HELP_CONTENTS = 3;   ///< the contents
inline constexpr unsigned HELP_HELPONHELP = 4; ///< how to use the help

/// A place in the help: a page (a file path) and an anchor on it, empty for the page's top.
struct HelpPlace {
    std::string page;
    std::string anchor;

    bool operator==(const HelpPlace&) const = default;
};

/// The HTML help of a help file: "help/orvanta.hlp" is "help/orvanta.html";
/// a path that ends in ".html" is its own.
std::string htmlHelpFile(const std::string& helpFile);

/// The place a help command opens in a help file's page: a topic by context
/// number at "context-<n>", help on help at "using-help", the contents at the top.
HelpPlace helpPlace(const std::string& helpFile, unsigned command, long data);

/// The place as a file:// address, the path percent-encoded, the anchor after "#".
std::string helpAddress(const HelpPlace& place);

/// Where a link on the page of `from` leads: an anchor of the same page, a page
/// relative to it (with or without an anchor) or a file:// address. None for an
/// address outside the help (another scheme, such as https: or mailto:).
std::optional<HelpPlace> linkedPlace(const HelpPlace& from, const std::string& link);

/// The places the help window has shown, with the one shown now, and the page
/// its Contents shows: that of the help command last run.
class HelpHistory {
public:
    /// A help command's place: shown now, and its page becomes the contents.
    void open(const HelpPlace& place);

    /// Shows a place after the current one; the places ahead of it are dropped.
    /// The place shown now again changes nothing.
    void go(const HelpPlace& place);

    bool canGoBack() const { return m_current > 0; }
    bool canGoForward() const { return m_current + 1 < m_places.size(); }

    /// Steps back or forward; false (and nothing changes) when there is no place there.
    bool back();
    bool forward();

    /// Shows the top of the contents page after the current place; false while no help command ran.
    bool contents();

    /// The place shown now; none before the first place.
    const HelpPlace* current() const { return m_places.empty() ? nullptr : &m_places[m_current]; }
    const std::string& contentsPage() const { return m_contents; }

private:
    std::vector<HelpPlace> m_places;
    std::size_t m_current = 0;
    std::string m_contents;
};

} // namespace platform
