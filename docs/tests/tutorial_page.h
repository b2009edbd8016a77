// Test support for the tutorial: its page read by sections (the menu paths, the quoted
// texts, the code words and the shell lines each one gives), and a reader who follows
// one section at a time through the real windows: the menu paths of the section are
// chosen in a window's menu bar as the page names them, what the windows show is noted,
// and at the end of the section every path must have been chosen in the page's order,
// every quoted text seen, and every box shown quoted.
#pragma once

#include "platform/core/message_sink.h"

#include <string>
#include <vector>

class QAction;
class QWidget;

namespace tutorialtest {

/// One section of the page: from its heading on to the next.
struct PageSection {
    std::string html;
    std::string text; ///< without tags, the entities read
};

class TutorialPage {
public:
    explicit TutorialPage(const std::string& path);

    bool read() const { return !m_html.empty(); }
    /// The section whose heading has the id; empty when there is none.
    PageSection section(const std::string& id) const;
    /// The menu paths ("File > Save") of a section, each as its entries.
    std::vector<std::vector<std::string>> menuPaths(const std::string& id) const;
    /// The texts the section quotes ("...").
    std::vector<std::string> quotes(const std::string& id) const;
    /// The code words of the section in their order.
    std::vector<std::string> codes(const std::string& id) const;
    /// The first code word after the words `before` in the section's text; empty when none.
    std::string codeAfter(const std::string& id, const std::string& before) const;
    /// The first menu or button name after the words `before`; empty when none.
    std::string menuAfter(const std::string& id, const std::string& before) const;
    /// The section's shell lines (its pre blocks), in order.
    std::vector<std::string> shellBlocks(const std::string& id) const;
    /// The text a shell block writes with `cat > FILE <<'END'`; empty when none does.
    std::string hereDocument(const std::string& id, const std::string& file) const;

private:
    /// The texts of the section's elements that the pattern's first group takes.
    std::vector<std::string> elements(const std::string& id, const char* pattern) const;
    std::string firstAfter(const std::string& id, const std::string& before, const char* element) const;

    std::string m_html;
};

/// The tags taken out of a piece of the page, its entities read.
std::string PlainText(const std::string& html);

/// A menu entry's text as the page names it: without its '&' marks, its shortcut and "...".
std::string MenuEntryName(const std::string& text);

/// The action of a window's menu bar at the path; null when there is none.
QAction* FindMenuPath(const QWidget& window, const std::vector<std::string>& path);

/// Follows the page one section at a time.
class Reader {
public:
    Reader(const TutorialPage& page, const platform::ScriptedMessageSink& boxes) : m_page(page), m_boxes(boxes) {}

    const TutorialPage& page() const { return m_page; }
    /// Starts a section.
    void begin(const std::string& id);
    /// Chooses the menu path in the window's menu bar, as the page writes it ("File > Save"):
    /// the entry must be there and enabled. False when it was not.
    bool choose(QWidget& window, const std::string& path);
    /// Notes a text a window shows (a status line, a caption, a list line).
    void saw(const std::string& text) { m_seen.push_back(text); }
    /// Ends the section: its menu paths were chosen in its order, every text it quotes was
    /// seen (the boxes shown since it began count as seen), and every box shown since it
    /// began is told by the section, which quotes its first line.
    void end();

private:
    const TutorialPage& m_page;
    const platform::ScriptedMessageSink& m_boxes;
    std::string m_section;
    std::size_t m_firstBox = 0;
    std::vector<std::string> m_chosen;
    std::vector<std::string> m_seen;
};

} // namespace tutorialtest
