// Help: the suite's help commands open its HTML help in the desktop's
// browser when it is installed, and say so in a box when it is not.
#pragma once

#include "platform/core/window_handle.h"

#include <functional>
#include <string>

namespace platform {

/// The help commands of the suite's help menus.
inline constexpr unsigned HELP_CONTEXT = 1;    ///< a topic by its context number
inline constexpr unsigned HELP_QUIT = 2;       ///< the help window is no longer needed
inline constexpr unsigned HELP_CONTENTS = 3;   ///< the contents
inline constexpr unsigned HELP_HELPONHELP = 4; ///< how to use the help

/// The HTML help of a help file: "help/orvanta.hlp" is "help/orvanta.html";
/// a path that ends in ".html" is its own.
std::string htmlHelpFile(const std::string& helpFile);

/// The address a command opens: the file's URL, with "#context-<n>" for a
/// topic by context number and "#using-help" for help on help.
std::string helpAddress(const std::string& htmlFile, unsigned command, long data);

/// Runs a help command for a help file: nonzero when the help was opened (and
/// for HELP_QUIT, which has nothing to close); else the box "Help is not
/// available." naming the missing file, owned by `owner`, and 0.
int showHelp(WindowHandle owner, const std::string& helpFile, unsigned command, long data);

/// Opens an address; true when it was opened. The desktop's browser by
/// default, and again after an empty opener is set.
using HelpOpener = std::function<bool(const std::string& address)>;
void setHelpOpener(HelpOpener opener);

/// Opens an address (a page, a mail link) through the opener set; true when it was opened.
bool openAddress(const std::string& address);

} // namespace platform
