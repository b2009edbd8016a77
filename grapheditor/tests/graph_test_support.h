// Helpers of the graph editor's model-core tests: a view that lays objects out
// in fixed boxes and records the drawing calls, and a fixture that gives every
// test an empty current model, default settings and a scripted message sink.
#pragma once

#include "common/settings_table.h"
#include "grapheditor/graph_objects.h"
#include "grapheditor/graph_model_reader.h"
#include "grapheditor/graph_view.h"
#include "grapheditor/submodel_library.h"
#include "platform/core/message_sink.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace graphtest {

/// Submodels are 40 x 40 and PIOs 30 x 20 around their anchors; every call is recorded.
class RecordingView : public GraphView {
public:
    void drawSubmodel(Submodel& s, int draw) override { log.push_back(verb(draw) + " submodel " + s.name); }
    void drawPio(Pio& p, int draw) override { log.push_back(verb(draw) + " pio " + p.name); }
    void drawConnection(Connection& c, int draw) override
    {
        log.push_back(verb(draw) + " connection " + std::to_string(c.id));
    }
    void layoutSubmodel(Submodel& s) override
    {
        s.left = s.x - 20;
        s.top = s.y - 20;
        s.width = s.height = 40;
    }
    void layoutPio(Pio& p) override
    {
        p.left = p.x - 15;
        p.top = p.y - 10;
        p.width = 30;
        p.height = 20;
    }
    void startRubberBand(int x, int y) override { log.push_back(point("band from", x, y)); }
    void stopRubberBand() override { log.push_back("band stop"); }
    void drawTemporaryLine(int x0, int y0, int x1, int y1, int draw) override
    {
        log.push_back(verb(draw) + point(" line", x0, y0) + point(" to", x1, y1));
    }
    void showStatus(const std::string& text, int) override { status = text; }
    void editedChanged(int edited) override { log.push_back(edited ? "edited" : "unedited"); }
    int editorGuard(int action, const void*) override
    {
        guardActions.push_back(action);
        return allowActions;
    }

    std::vector<std::string> log;
    std::string status;
    std::vector<int> guardActions;
    int allowActions = 1;

private:
    static std::string verb(int draw) { return draw ? "draw" : "erase"; }
    static std::string point(const char* what, int x, int y)
    {
        return std::string(what) + " " + std::to_string(x) + "," + std::to_string(y);
    }
};

/// An empty current model with the recording view and the scripted sink in place.
class GraphTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetSettings();
        SetGraphView(&view);
        platform::setMessageSink(&sink);
        clear_model();
        LibraryLists().clear();
        ReaderRenaming() = ModelFileRenaming{};
        view.log.clear();
    }
    void TearDown() override
    {
        clear_model();
        SetGraphView(nullptr);
        platform::setMessageSink(nullptr);
    }

    /// The lines of every box shown so far, boxes separated by "--".
    std::vector<std::string> boxes() const { return sink.transcriptLines(); }

    RecordingView view;
    platform::ScriptedMessageSink sink;
};

/// A library entry of that file base name ("se1", "ctl1").
inline LibraryEntry entry(const std::string& text)
{
    LibraryEntry e;
    e.text = text;
    e.builtinIndex = text.empty() ? -1 : builtin_index(text.substr(0, text.size() - 1));
    return e;
}

} // namespace graphtest
