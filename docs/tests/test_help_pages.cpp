// The help pages as they are installed beside the programs: every link between
// them resolves and nothing is fetched from outside, the library's list has a
// line for every type of the library folder, and the demo page one for every
// bundled example.
#include "platform/testing/help_pages.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>

namespace {

namespace fs = std::filesystem;

const std::vector<std::string> kPages = {"help/orvanta.html", "help/orvantadmo.html", "tutorial/orvantatut.html"};

std::string installed(const std::string& page)
{
    return std::string(ORVANTA_BIN_DIR) + "/" + page;
}

std::string readPage(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

/// The names of a folder's model files (name, version digit, extension), with the digit or without.
std::set<std::string> modelNames(const std::string& folder, const std::regex& extension, bool withVersion)
{
    std::set<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
        const std::string file = entry.path().filename().string();
        std::smatch m;
        if (std::regex_match(file, m, std::regex("(.*)([1-9])\\.([a-z0-9]{3})")) && std::regex_match(m[3].str(), extension))
            names.insert(m[1].str() + (withVersion ? m[2].str() : ""));
    }
    return names;
}

/// The anchors of the page that begin with the prefix, the prefix taken off.
std::set<std::string> anchorsAfter(const std::string& page, const std::string& prefix)
{
    std::set<std::string> names;
    for (const std::string& id : testsupport::pageAnchors(readPage(installed(page))))
        if (id.rfind(prefix, 0) == 0)
            names.insert(id.substr(prefix.size()));
    return names;
}

} // namespace

TEST(HelpPages, EveryLinkStyleSheetAndPictureLeadsToAPageAndAnchorOfTheHelp)
{
    int links = 0;
    for (const std::string& page : kPages) {
        const std::string path = installed(page);
        const std::string html = readPage(path);
        ASSERT_FALSE(html.empty()) << path << " is not installed";
        EXPECT_EQ(html.find("<script"), std::string::npos) << page;
        EXPECT_NE(html.find("<meta charset=\"utf-8\">"), std::string::npos) << page;
        for (const std::string& link : testsupport::pageLinks(html)) {
            EXPECT_EQ(testsupport::helpAddressProblem(link, path), "") << page;
            ++links;
        }
    }
    EXPECT_GT(links, 50);
}

TEST(HelpPages, TheCheckOfAnAddressFindsAMissingPageAMissingAnchorAndAnOutsideAddress)
{
    const std::string contents = installed("help/orvanta.html");
    EXPECT_EQ(testsupport::helpAddressProblem("#using-help", contents), "");
    EXPECT_EQ(testsupport::helpAddressProblem("../tutorial/orvantatut.html#ccode", contents), "");
    EXPECT_NE(testsupport::helpAddressProblem("#no-such-anchor", contents), "");
    EXPECT_NE(testsupport::helpAddressProblem("orvantanone.html", contents), "");
    EXPECT_NE(testsupport::helpAddressProblem("https://example.org/page.html", contents), "");
    EXPECT_NE(testsupport::helpAddressProblem("/help/orvanta.html", contents), "");
    // A program's address in its own folder is looked for in the installed help.
    EXPECT_EQ(testsupport::helpAddressProblem("file:///opt/x/help/orvanta.html#context-5", {}, "/opt/x", ORVANTA_BIN_DIR),
              "");
}

TEST(HelpPages, TheLibraryListHasOneLineForEachTypeInTheLibraryFolder)
{
    const std::set<std::string> types = modelNames(ORVANTA_LIBRARY_DIR, std::regex("s[gf][g0-3f]"), false);
    ASSERT_GT(types.size(), 100u);
    EXPECT_EQ(anchorsAfter("help/orvanta.html", "lib-"), types)
        << "a type of examples/library has no line in the help's library list, or a line names no type";
}

TEST(HelpPages, TheDemoPageDescribesEveryBundledMainModel)
{
    const std::set<std::string> models = modelNames(ORVANTA_MODELS_DIR, std::regex("m[gf][g0-3f]"), true);
    ASSERT_GE(models.size(), 10u);
    EXPECT_EQ(anchorsAfter("help/orvantadmo.html", "demo-"), models);
}
