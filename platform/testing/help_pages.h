// Test support for the HTML help: the anchors and links of a page, and whether
// an address a help command opens leads to an existing page and anchor.
#pragma once

#include <set>
#include <string>
#include <vector>

namespace testsupport {

/// The ids of a page's elements: the anchors an address can name after its "#".
std::set<std::string> pageAnchors(const std::string& html);

/// The addresses a page's links, style sheets and pictures name (href and src).
std::vector<std::string> pageLinks(const std::string& html);

/// Why the address does not lead to an existing page and anchor: empty when it
/// does. `address` is a file:// address, or a link relative to the page
/// `fromPage`. A file under `programDirectory` is looked for under
/// `installDirectory` instead (the programs' folder of the build, where a test
/// program does not run).
std::string helpAddressProblem(const std::string& address, const std::string& fromPage = {},
                               const std::string& programDirectory = {}, const std::string& installDirectory = {});

/// What is wrong with the addresses a program's four help commands opened, in the
/// order Contents, Demo Models, Tutorial, Using help, for help installed in
/// `installDirectory`: Contents at "#context-<context>", each page and anchor
/// existing. Empty when nothing is.
std::vector<std::string> helpCommandProblems(const std::vector<std::string>& opened,
                                             const std::string& installDirectory, int context);

} // namespace testsupport
