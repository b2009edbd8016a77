// Name and size checks of the attribute editors.
#include "grapheditor/name_validation.h"

#include "common/reserved_words.h"
#include "grapheditor/graph_model_scanner.h"
#include "grapheditor/graph_model_writer.h"
#include "grapheditor/graph_objects.h"

#include <cctype>

namespace {

bool isNameCharacter(unsigned char c)
{
    return std::isalnum(c) || c == '_';
}

/// A name the model file reads back as a name, in its lists and in index lists.
bool readsAsName(const std::string& name)
{
    return SingleToken(name) == GT_IDENTIFIER && SingleToken(name, true) == GT_IDENTIFIER;
}

} // namespace

int ValidateName(const std::string& name, const void* own, const NameErrorFunction& error)
{
    if (!name.empty() && name[0] == '_') {
        error("Name may not start with '_'.");
        return 0;
    }
    for (unsigned char c : name) {
        if (!isNameCharacter(c)) {
            error(std::string("Character '") + static_cast<char>(c) + "' not allowed in a name.");
            return 0;
        }
    }
    if (name.empty()) {
        error("A non-empty string is expected as name.");
        return 0;
    }
    if (const NameEntry* entry = CurrentModel().names.find(name); entry && entry->object != own) {
        error("Name " + name.substr(0, 20) + " already used in the model.");
        return 0;
    }
    // A saved file must read back: a number or a word of the model file is no name.
    if (!readsAsName(name)) {
        error("Name " + name.substr(0, 20) + " is read as a number or keyword in the model file.");
        return 0;
    }
    // The reserved-word test shows its own message.
    return IsReservedWord(name, 1) ? 0 : 1;
}

int ValidateModelBaseName(const std::string& modelName, const NameErrorFunction& error)
{
    std::string base;
    int version = 0;
    SplitModelName(modelName, base, version);
    if (base.empty() || readsAsName(base))
        return 1;
    error("Model name " + base.substr(0, 20) + " is read as a number or keyword in the model file.");
    return 0;
}

int CheckSizeText(const std::string& text, ExprList& list, const NameErrorFunction& error)
{
    list.clear();
    std::string parseError;
    if (ParseSizeList(text, list, CurrentModel().arguments, &parseError) != 0) {
        list.clear();
        error("Size expression error: " + parseError.substr(0, 60));
        return -1;
    }
    for (const ExprPtr& item : list) {
        if (!item)
            continue;
        int value = 0;
        std::string evaluation;
        const int code = Evaluate(evaluation, value, item.get());
        if (code == -3)
            continue; // an argument without a value yet
        if (code != 0) {
            list.clear();
            error("Expression evaluation error: " + evaluation);
            return -1;
        }
        if (value < 0) {
            list.clear();
            error("Expression has result < 0, not allowed.");
            return -1;
        }
    }
    if (static_cast<int>(list.size()) > kMaxListLength) {
        list.clear();
        error("Not more than " + std::to_string(kMaxListLength) + " expressions are allowed per list.");
        return -1;
    }
    return 0;
}
