// Fuzzes the graph editor's model-file reader and its expression parsers: the first
// byte chooses a reading depth (1-3) or the expression parsers (0), the rest is the
// text. A model read completely is written and read again, and must give the same text.
#include "grapheditor/graph_model_reader.h"
#include "grapheditor/graph_model_writer.h"
#include "grapheditor/graph_objects.h"
#include "grapheditor/integer_expressions.h"
#include "platform/core/message_sink.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace {

void readExpressions(const std::string& text)
{
    static const ArgumentList arguments = [] {
        ArgumentList list;
        for (const char* name : {"n", "k"}) {
            auto argument = std::make_unique<Argument>();
            argument->name = name;
            argument->hasValue = 1;
            argument->value = 3;
            list.push_back(std::move(argument));
        }
        return list;
    }();
    for (bool ranges : {false, true}) {
        ExprList list;
        const int result = ranges ? ParseRangeList(text, list, arguments) : ParseSizeList(text, list, arguments);
        if (result != 0)
            continue;
        for (const ExprPtr& item : list) {
            std::string error;
            int low = 0, high = 0;
            EvaluateRange(error, low, high, item.get());
        }
        ExprList again;
        const std::string printed = ListText(list);
        const int reread = ranges ? ParseRangeList(printed, again, arguments) : ParseSizeList(printed, again, arguments);
        if (reread != 0 || ListText(again) != printed)
            __builtin_trap();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static platform::SilentMessageSink sink;
    static bool ready = [] {
        platform::setMessageSink(&sink);
        return true;
    }();
    (void)ready;
    const int choice = size > 0 ? data[0] % 4 : 3;
    const std::string text(reinterpret_cast<const char*>(data) + (size > 0 ? 1 : 0), size > 0 ? size - 1 : 0);
    if (choice == 0) {
        readExpressions(text);
        return 0;
    }
    GraphModel record;
    std::string error;
    if (parse_model_text(text, choice, record, &error) != 0) {
        if (error.find(" in line ") == std::string::npos)
            __builtin_trap();
        return 0;
    }
    if (choice == READ_ALL && ModelFileProblems(record).empty()) {
        const std::string written = GraphModelText(record, 1);
        GraphModel again;
        if (parse_model_text(written, READ_ALL, again, &error) != 0 || GraphModelText(again, 1) != written)
            __builtin_trap();
    }
    return 0;
}
