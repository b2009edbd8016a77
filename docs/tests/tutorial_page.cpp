// Reading the tutorial's page and following it through the windows' menus.
#include "docs/tests/tutorial_page.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QWidget>

#include <algorithm>
#include <fstream>
#include <regex>
#include <sstream>

namespace tutorialtest {

namespace {

std::vector<std::string> matches(const std::string& text, const std::regex& pattern, int group = 1)
{
    std::vector<std::string> found;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), pattern); it != std::sregex_iterator(); ++it)
        found.push_back((*it)[group].str());
    return found;
}

std::string joined(const std::vector<std::string>& path)
{
    std::string text;
    for (const std::string& entry : path)
        text += (text.empty() ? "" : " > ") + entry;
    return text;
}

std::vector<std::string> splitPath(const std::string& path)
{
    std::vector<std::string> entries;
    std::size_t from = 0;
    for (std::size_t at; (at = path.find(" > ", from)) != std::string::npos; from = at + 3)
        entries.push_back(path.substr(from, at - from));
    entries.push_back(path.substr(from));
    return entries;
}

} // namespace

std::string PlainText(const std::string& html)
{
    const std::string bare = std::regex_replace(html, std::regex("<[^>]*>"), "");
    std::string text;
    static const std::vector<std::pair<std::string, char>> entities = {
        {"&gt;", '>'}, {"&lt;", '<'}, {"&amp;", '&'}, {"&quot;", '"'}, {"&#39;", '\''}};
    for (std::size_t i = 0; i < bare.size();) {
        bool entity = false;
        for (const auto& [name, c] : entities)
            if (bare.compare(i, name.size(), name) == 0) {
                text += c;
                i += name.size();
                entity = true;
                break;
            }
        if (!entity)
            text += bare[i++];
    }
    return text;
}

std::string MenuEntryName(const std::string& text)
{
    std::string name;
    for (std::size_t i = 0; i < text.size() && text[i] != '\t'; ++i) {
        if (text[i] == '&' && i + 1 < text.size() && text[i + 1] != '&')
            continue;
        if (text[i] == '&')
            ++i; // "&&" shows as one '&'
        name += text[i];
    }
    while (!name.empty() && (name.back() == ' ' || name.back() == '.'))
        name.pop_back();
    return name;
}

TutorialPage::TutorialPage(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    m_html = text.str();
}

PageSection TutorialPage::section(const std::string& id) const
{
    const std::size_t begin = m_html.find("<h2 id=\"" + id + "\"");
    if (begin == std::string::npos)
        return {};
    std::size_t end = m_html.find("<h2 ", begin + 1);
    if (end == std::string::npos)
        end = m_html.find("</body>", begin);
    PageSection s;
    s.html = m_html.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
    s.text = PlainText(s.html);
    return s;
}

std::vector<std::vector<std::string>> TutorialPage::menuPaths(const std::string& id) const
{
    std::vector<std::vector<std::string>> paths;
    for (const std::string& span : matches(section(id).html, std::regex("<span class=\"menu\">([^<]*)</span>"))) {
        const std::string path = std::regex_replace(PlainText(span), std::regex("\\s+"), " ");
        if (path.find(" > ") != std::string::npos)
            paths.push_back(splitPath(path));
    }
    return paths;
}

std::vector<std::string> TutorialPage::quotes(const std::string& id) const
{
    return matches(section(id).text, std::regex("\"([^\"]+)\""));
}

std::vector<std::string> TutorialPage::elements(const std::string& id, const char* pattern) const
{
    std::vector<std::string> texts;
    for (const std::string& element : matches(section(id).html, std::regex(pattern)))
        texts.push_back(PlainText(element));
    return texts;
}

std::vector<std::string> TutorialPage::codes(const std::string& id) const
{
    return elements(id, "<code>([^<]*)</code>");
}

std::string TutorialPage::codeAfter(const std::string& id, const std::string& before) const
{
    return firstAfter(id, before, "<code>([^<]*)</code>");
}

std::string TutorialPage::menuAfter(const std::string& id, const std::string& before) const
{
    return firstAfter(id, before, "<span class=\"menu\">([^<]*)</span>");
}

std::string TutorialPage::firstAfter(const std::string& id, const std::string& before, const char* element) const
{
    const std::string html = section(id).html;
    const std::size_t at = html.find(before);
    if (at == std::string::npos)
        return {};
    std::smatch m;
    const std::string rest = html.substr(at + before.size());
    return std::regex_search(rest, m, std::regex(element)) ? PlainText(m[1].str()) : std::string();
}

std::vector<std::string> TutorialPage::shellBlocks(const std::string& id) const
{
    return elements(id, "<pre>([^<]*)</pre>");
}

std::string TutorialPage::hereDocument(const std::string& id, const std::string& file) const
{
    const std::string start = "cat > " + file + " <<'END'\n";
    for (const std::string& block : shellBlocks(id)) {
        const std::size_t at = block.find(start);
        if (at == std::string::npos)
            continue;
        const std::size_t from = at + start.size();
        const std::size_t end = block.find("\nEND\n", from - 1);
        if (end != std::string::npos)
            return block.substr(from, end + 1 - from);
    }
    return {};
}

QAction* FindMenuPath(const QWidget& window, const std::vector<std::string>& path)
{
    const QMenuBar* bar = window.findChild<QMenuBar*>();
    if (!bar || path.empty())
        return nullptr;
    QList<QAction*> actions = bar->actions();
    for (std::size_t i = 0; i < path.size(); ++i) {
        QAction* found = nullptr;
        for (QAction* action : actions)
            if (!action->isSeparator() && MenuEntryName(action->text().toStdString()) == path[i])
                found = action;
        if (!found || i + 1 == path.size())
            return found;
        if (!found->menu())
            return nullptr;
        actions = found->menu()->actions();
    }
    return nullptr;
}

void Reader::begin(const std::string& id)
{
    m_section = id;
    m_firstBox = m_boxes.transcript().size();
    m_chosen.clear();
    m_seen.clear();
    EXPECT_FALSE(m_page.section(id).html.empty()) << "the page has no section " << id;
}

bool Reader::choose(QWidget& window, const std::string& path)
{
    QAction* action = FindMenuPath(window, splitPath(path));
    if (!action) {
        ADD_FAILURE() << "no menu entry " << path << " in " << window.windowTitle().toStdString();
        return false;
    }
    if (!action->isEnabled()) {
        ADD_FAILURE() << path << " is greyed";
        return false;
    }
    m_chosen.push_back(path);
    // A submenu opens; a command runs.
    if (!action->menu())
        action->trigger();
    QApplication::processEvents();
    return true;
}

void Reader::end()
{
    // The page's paths in its order, among those chosen.
    std::size_t next = 0;
    for (const std::vector<std::string>& path : m_page.menuPaths(m_section)) {
        const std::string named = joined(path);
        const auto found = std::find(m_chosen.begin() + std::ptrdiff_t(std::min(next, m_chosen.size())),
                                     m_chosen.end(), named);
        EXPECT_TRUE(found != m_chosen.end()) << "section " << m_section << " names " << named
                                             << ", which the reader did not choose there in the page's order; "
                                             << "chosen in order: " << testing::PrintToString(m_chosen);
        if (found != m_chosen.end())
            next = std::size_t(found - m_chosen.begin()) + 1;
    }
    const std::vector<std::string> quotes = m_page.quotes(m_section);
    std::vector<std::string> seen = m_seen;
    for (std::size_t i = m_firstBox; i < m_boxes.transcript().size(); ++i) {
        const std::vector<std::string>& lines = m_boxes.transcript()[i].lines;
        seen.insert(seen.end(), lines.begin(), lines.end());
        EXPECT_TRUE(!lines.empty() && std::find(quotes.begin(), quotes.end(), lines.front()) != quotes.end())
            << "section " << m_section << " does not tell the box the reader meets: "
            << testing::PrintToString(lines);
    }
    for (const std::string& quote : quotes) {
        bool found = false;
        for (const std::string& text : seen)
            found |= text.find(quote) != std::string::npos;
        EXPECT_TRUE(found) << "section " << m_section << " quotes \"" << quote << "\", which no window showed; seen: "
                           << testing::PrintToString(seen);
    }
}

} // namespace tutorialtest
