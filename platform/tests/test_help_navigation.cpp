// Places of the HTML help: the page and anchor each help command opens, where
// links lead, the addresses handed to a browser, and the help window's history.
#include "platform/core/help_navigation.h"

#include <gtest/gtest.h>

using namespace platform;

namespace {

std::string shown(const std::optional<HelpPlace>& place)
{
    return place ? place->page + (place->anchor.empty() ? "" : "#" + place->anchor) : "(outside)";
}

std::string shown(const HelpHistory& history)
{
    return history.current() ? shown(*history.current()) : "(none)";
}

} // namespace

TEST(HelpNavigation, AHelpCommandOpensItsFilesPageAtTheTopicItAsks)
{
    EXPECT_EQ(htmlHelpFile("/opt/orvanta/help/orvanta.hlp"), "/opt/orvanta/help/orvanta.html");
    EXPECT_EQ(htmlHelpFile("/opt/orvanta/tutorial/orvantatut.HLP"), "/opt/orvanta/tutorial/orvantatut.html");
    EXPECT_EQ(htmlHelpFile("/opt/orvanta/help/orvanta.html"), "/opt/orvanta/help/orvanta.html");
    EXPECT_EQ(htmlHelpFile("/opt/orvanta.d/help/orvanta"), "/opt/orvanta.d/help/orvanta.html");

    const struct {
        unsigned command;
        long data;
        HelpPlace place;
    } cases[] = {
        {HELP_CONTEXT, 5, {"/h/orvanta.html", "context-5"}},
        {HELP_CONTEXT, 2, {"/h/orvanta.html", "context-2"}},
        {HELP_CONTENTS, 3, {"/h/orvanta.html", ""}},
        {HELP_HELPONHELP, 2, {"/h/orvanta.html", "using-help"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(helpPlace("/h/orvanta.hlp", c.command, c.data), c.place) << c.command << " " << c.data;
}

TEST(HelpNavigation, AnAddressIsTheFilesUrlWithItsPathEncodedAndReadBackAsTheSamePlace)
{
    EXPECT_EQ(helpAddress({"/h/orvanta.html", "context-5"}), "file:///h/orvanta.html#context-5");
    EXPECT_EQ(helpAddress({"/h/orvanta.html", ""}), "file:///h/orvanta.html");
    EXPECT_EQ(helpAddress({"/my help/50%/#1/m\xc3\xbchle.html", "using-help"}),
              "file:///my%20help/50%25/%231/m%C3%BChle.html#using-help");
    for (const HelpPlace& place : {HelpPlace{"/my help/50%/#1/m\xc3\xbchle.html", "using-help"},
                                   HelpPlace{"/opt/o/help/orvanta.html", ""}, HelpPlace{"/a b/c?d.html", "x y"}})
        EXPECT_EQ(shown(linkedPlace({"/elsewhere/page.html", ""}, helpAddress(place))), shown(place));
}

TEST(HelpNavigation, ALinkLeadsToAPlaceOfTheHelpOrOutsideIt)
{
    const HelpPlace from{"/opt/o/help/orvanta.html", "context-2"};
    const struct {
        const char* link;
        const char* place;
    } cases[] = {
        {"#using-help", "/opt/o/help/orvanta.html#using-help"},
        {"", "/opt/o/help/orvanta.html"},
        {"orvantadmo.html", "/opt/o/help/orvantadmo.html"},
        {"./orvantadmo.html#demo-msd1", "/opt/o/help/orvantadmo.html#demo-msd1"},
        {"../tutorial/orvantatut.html#ccode", "/opt/o/tutorial/orvantatut.html#ccode"},
        {"../tutorial/pictures/plot.png?size=2", "/opt/o/tutorial/pictures/plot.png"},
        {"my%20notes.html#a%20b", "/opt/o/help/my notes.html#a b"},
        {"/usr/share/orvanta/help/orvanta.html", "/usr/share/orvanta/help/orvanta.html"},
        {"file:///opt/o/help/orvanta.html#context-5", "/opt/o/help/orvanta.html#context-5"},
        {"FILE://localhost/opt/o%20x/help.html", "/opt/o x/help.html"},
        {"file://server/share/help.html", "(outside)"},
        {"https://www.orvanta.org/", "(outside)"},
        {"mailto:codegen@orvanta.org", "(outside)"},
        {"//www.orvanta.org/help.html", "(outside)"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(shown(linkedPlace(from, c.link)), c.place) << c.link;
}

TEST(HelpNavigation, BackForwardAndContentsWalkThePlacesShown)
{
    HelpHistory history;
    EXPECT_EQ(history.current(), nullptr);
    EXPECT_FALSE(history.back());
    EXPECT_FALSE(history.forward());
    EXPECT_FALSE(history.contents()) << "no help command ran: there is no contents page";

    history.open({"/h/orvanta.html", "context-2"});
    history.go({"/h/orvantadmo.html", ""});
    history.go({"/h/orvantadmo.html", ""}); // a link to the place shown adds nothing
    history.go({"/h/orvantadmo.html", "demo-msd1"});
    EXPECT_EQ(shown(history), "/h/orvantadmo.html#demo-msd1");
    EXPECT_TRUE(history.canGoBack());
    EXPECT_FALSE(history.canGoForward());

    ASSERT_TRUE(history.back());
    EXPECT_EQ(shown(history), "/h/orvantadmo.html");
    ASSERT_TRUE(history.back());
    EXPECT_EQ(shown(history), "/h/orvanta.html#context-2");
    EXPECT_FALSE(history.back());
    EXPECT_EQ(shown(history), "/h/orvanta.html#context-2");
    ASSERT_TRUE(history.forward());
    EXPECT_EQ(shown(history), "/h/orvantadmo.html");

    // A new place drops those ahead; Contents is the top of the help command's page, after it.
    history.go({"/t/orvantatut.html", "draw"});
    EXPECT_FALSE(history.canGoForward());
    ASSERT_TRUE(history.contents());
    EXPECT_EQ(shown(history), "/h/orvanta.html");
    ASSERT_TRUE(history.back());
    EXPECT_EQ(shown(history), "/t/orvantatut.html#draw");

    // The next help command's page is the contents from then on.
    history.open({"/t/orvantatut.html", ""});
    EXPECT_EQ(history.contentsPage(), "/t/orvantatut.html");
    history.go({"/h/orvanta.html", "library"});
    ASSERT_TRUE(history.contents());
    EXPECT_EQ(shown(history), "/t/orvantatut.html");
}
