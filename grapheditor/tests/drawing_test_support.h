// Helpers of the drawing tests: a canvas whose context records every call, plain
// symbols of fixed sizes (so that recorded drawings do not depend on fonts), and a
// fixture with the canvas view installed over an empty current model.
#pragma once

#include "common/settings_table.h"
#include "grapheditor/canvas_view.h"
#include "grapheditor/drawing_layer.h"
#include "grapheditor/editor_guard.h"
#include "grapheditor/graph_model_reader.h"
#include "grapheditor/graph_objects.h"
#include "grapheditor/submodel_library.h"
#include "grapheditor/symbol_tables.h"
#include "platform/core/message_sink.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

namespace drawtest {

/// A canvas of 800 by 600 pixels whose context records; it may scroll.
class RecordingSurface : public DrawingSurface {
public:
    platform::DeviceContext* beginDrawing() override
    {
        ++begun;
        return &context;
    }
    void endDrawing(int left, int top, int right, int bottom) override
    {
        changed.push_back({left, top, right, bottom});
    }
    int clientWidth() const override { return width; }
    int clientHeight() const override { return height; }
    platform::FontSpec font() const override { return {}; }
    bool hasScroller() const override { return scrolls; }
    platform::Point scrollerPosition() const override { return scroll; }
    void setScrollerRange(int xRange, int yRange, int xLine, int yLine) override
    {
        range = {xRange, yRange};
        lineSteps = {xLine, yLine};
    }
    void scrollerScrollTo(int x, int y) override
    {
        scroll = {std::clamp(x, 0, range.x), std::clamp(y, 0, range.y)};
    }
    void setCursorPosition(int x, int y) override { cursor = {x, y}; }
    bool putPicture(int left, int top, int w, int h, int unitsPerInch,
                    const std::function<void(platform::DeviceContext&)>& draw) override
    {
        if (!clipboardFree)
            return false;
        picture = {left, top, w, h};
        pictureUnitsPerInch = unitsPerInch;
        pictureCalls.clear();
        draw(pictureCalls);
        return true;
    }

    /// The calls recorded from the n-th on.
    std::vector<std::string> callsFrom(std::size_t n) const
    {
        const auto& all = context.calls();
        return {all.begin() + static_cast<std::ptrdiff_t>(std::min(n, all.size())), all.end()};
    }

    platform::RecordingDeviceContext context;
    int begun = 0;
    std::vector<std::vector<int>> changed;
    int width = 800, height = 600;
    bool scrolls = false;
    platform::Point scroll, range, lineSteps, cursor;
    bool clipboardFree = true;
    std::vector<int> picture;
    int pictureUnitsPerInch = 0;
    platform::RecordingDeviceContext pictureCalls;
};

/// Plain symbols: bond-graph elements 16 by 15, signal blocks 30 by 22, connections 30 by 14.
inline std::optional<platform::Bitmap> plainSymbol(std::string_view name)
{
    std::string base(name);
    const bool blackAndWhite = base.size() > 2 && base.substr(base.size() - 2) == "BW";
    if (blackAndWhite)
        base.resize(base.size() - 2);
    std::string builtin = base.substr(3);
    for (char& c : builtin)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const int index = builtin_index(builtin);
    if (index < 0) {
        for (const ConnectionSymbol& row : ConnectionSymbols())
            if (row.resource == base)
                return platform::Bitmap(30, 14, 0x000000);
        return std::nullopt;
    }
    const bool element = index < 25;
    platform::Bitmap bitmap(element ? 16 : 30, element ? 15 : 22);
    for (int x = 2; x < bitmap.width() - 2; ++x)
        bitmap.setPixel(x, bitmap.height() / 2, blackAndWhite ? 0x000000 : platform::rgb(0, 64, 192));
    return bitmap;
}

/// The canvas view with the status line kept.
class StatusView : public CanvasView {
public:
    void showStatus(const std::string& text, int) override { statuses.push_back(text); }
    std::vector<std::string> statuses;
};

/// An empty current model drawn on the recording canvas through the canvas view,
/// the symbols loaded, the example library as the model directory.
class DrawingTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetSettings();
        Settings().model_dirs = ORVANTA_LIBRARY_DIR;
        SetGraphView(&view);
        platform::setMessageSink(&sink);
        clear_model();
        LibraryLists().clear();
        SetSymbolLoader(plainSymbol);
        gdi_setup(surface);
        ASSERT_EQ(load_symbols(), 1);
    }
    void TearDown() override
    {
        clear_model();
        gdi_teardown();
        SetSymbolLoader({});
        GuardedEditorTable() = GuardedEditors{};
        SetGraphView(nullptr);
        platform::setMessageSink(nullptr);
    }
    /// Everything the graph draws, as a fresh recording.
    std::vector<std::string> render()
    {
        platform::RecordingDeviceContext fresh;
        draw_into(&fresh);
        return fresh.calls();
    }

    StatusView view;
    RecordingSurface surface;
    platform::ScriptedMessageSink sink;
};

} // namespace drawtest
