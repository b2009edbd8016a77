// Fuzzes the graph editor's model-file reader and its expression parsers: the first
// byte chooses a reading depth (1-3) or the expression parsers (0), the rest is the
// text. A model read must keep the rules every reader of model files shares, and a model
// read completely is written and read again, and must give the same text.
#include "common/model_file_rules.h"
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

/// The size of an expression that names no argument; none for one that does.
std::optional<std::int64_t> known(const Expr* node)
{
    std::string error;
    int value = 0;
    return node && Evaluate(error, value, node) == 0 ? std::optional<std::int64_t>(value) : std::nullopt;
}

/// Every size the record declares known and within the bounds, as the shared rules refuse the rest.
bool declaresWithinBounds(const ExprList& sizes, std::int64_t& declared)
{
    KnownSizes known_;
    for (const ExprPtr& size : sizes)
        known_.push_back(known(size.get()));
    return DeclaredQuantityRefusal("q", known_, "", declared).empty();
}

/// The shared rules hold for what the reader took: a text that goes on after a NUL is refused, and
/// a record read keeps the names, versions and sizes a model may have.
void checkSharedRules(const std::string& text, int depth, const GraphModel& record)
{
    if (SplitModelFileText(text).rest)
        __builtin_trap();
    if (!ModelNameRefusal(record.name).empty() || !VersionRefusal(record.name, record.version).empty())
        __builtin_trap();
    for (const SubmodelType& type : record.types)
        if (!TypeNameRefusal(type.name).empty() || !VersionRefusal(type.name, type.version).empty())
            __builtin_trap();
    std::int64_t declared = static_cast<std::int64_t>(record.arguments.size());
    for (const Pio& pio : record.pios)
        if (!declaresWithinBounds(pio.size, declared))
            __builtin_trap();
    if (depth == READ_INTERFACE)
        return;
    for (const Submodel& submodel : record.submodels)
        if (!declaresWithinBounds(submodel.size, declared))
            __builtin_trap();
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
    checkSharedRules(text, choice, record);
    if (choice == READ_ALL && ModelFileProblems(record).empty()) {
        const std::string written = GraphModelText(record, 1);
        GraphModel again;
        if (parse_model_text(written, READ_ALL, again, &error) != 0 || GraphModelText(again, 1) != written)
            __builtin_trap();
    }
    return 0;
}
