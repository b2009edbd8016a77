// Expansion of a hierarchical model: arguments and their conditions, breadth-first
// flattening of the submodel hierarchy into one graph body.
#include "modelproc/expansion.h"

#include "common/model_file_names.h"
#include "common/settings_table.h"
#include "modelproc/class_copy.h"
#include "modelproc/display_hooks.h"
#include "modelproc/extension_rewrite.h"
#include "modelproc/graph_dissolution.h"
#include "modelproc/instance_application.h"
#include "modelproc/processing_pipeline.h"
#include "modelproc/record_release.h"
#include "modelproc/keldor_scanner.h"
#include "modelproc/semantic_checks.h"

#include <charconv>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace {

std::string g_errorFile;
int g_errorCount = 0;

void expansionError(const std::string& message)
{
    ++g_errorCount;
    DisplayHooks().error("Expansion error ", g_errorFile.c_str(), nullptr, -1, nullptr, message.c_str());
}

std::string firstDirectory(const std::string& list)
{
    return list.substr(0, list.find(';'));
}

bool isNameToken(int token)
{
    return token == TK_UNDEFINEDNAME || (token >= TK_PORTNAME && token < TK_IDENTIFIERNAME_END);
}

ArgRec* findArgument(ClassRec* cls, const std::string& name)
{
    for (ArgRec* arg : cls->args)
        if (arg->name == name)
            return arg;
    return nullptr;
}

/// Reads the lines "name [sign] integer" of an arguments file into the class's arguments.
bool readArgumentLines(ClassRec* cls, const std::string& file, const std::string& text)
{
    KeldorScanner scanner;
    scanner.reset(text);
    int token = scanner.next();
    while (token != 0) {
        if (!isNameToken(token)) {
            expansionError(formatMessage("in arguments file %s: argument name expected instead of %s.", file.c_str(),
                                         scanner.text().c_str()));
            return false;
        }
        ArgRec* arg = findArgument(cls, scanner.text());
        if (!arg) {
            expansionError(
                formatMessage("in arguments file %s: invalid argument name: %s.", file.c_str(), scanner.text().c_str()));
            return false;
        }
        if (arg->hasValue) {
            expansionError(formatMessage("argument %s of this model has value assigned already.", arg->name.c_str()));
            return false;
        }
        token = scanner.next();
        std::int64_t sign = 1;
        if (token == TK_MIN || token == TK_PLUS) {
            if (token == TK_MIN)
                sign = -1;
            token = scanner.next();
        }
        const std::string& digits = scanner.text();
        std::int64_t magnitude = 0;
        auto [end, status] = std::from_chars(digits.data(), digits.data() + digits.size(), magnitude);
        std::int64_t value = sign * magnitude;
        if (token != TK_DIGIT || status != std::errc() || end != digits.data() + digits.size() ||
            value < INT32_MIN || value > INT32_MAX) {
            expansionError(formatMessage("in arguments file %s: integer value expected instead of %s.", file.c_str(),
                                         digits.c_str()));
            return false;
        }
        arg->value = static_cast<std::int32_t>(value);
        arg->hasValue = 1;
        token = scanner.next();
        // The end of the file also ends the last line, so a file without a final newline reads.
        if (token != TK_NL && token != 0) {
            expansionError(formatMessage("in arguments file %s: newline expected instead of %s.", file.c_str(),
                                         scanner.text().c_str()));
            return false;
        }
        if (token == TK_NL)
            token = scanner.next();
    }
    return true;
}

void progress(const std::string& text)
{
    DisplayHooks().progress(text.c_str());
}

/// Reads and parses the description of the subclass's type; false after an error.
bool readSubmodelType(SubclassRec* sub)
{
    SubmodelType* type = sub->type;
    std::string name = formatMessage("%s%d", type->t_name.c_str(), type->t_vers);
    const std::string instance = instance_name(sub);
    int younger = 0;
    std::optional<std::string> file = FindYoungestModelFile(4, Settings().model_dirs, name, nullptr, &younger);
    if (!file) {
        expansionError(formatMessage("description of submodel %s:%s not found.", name.c_str(), instance.c_str()));
        return false;
    }
    if (younger == 1)
        progress(formatMessage("Warning: edit file of %s:%s is younger!", name.c_str(), instance.c_str()));
    progress(formatMessage(" . %s:%s", name.c_str(), instance.c_str()));
    // The parse installs its own error hook; ours comes back afterwards.
    ErrorHook hook = DisplayHooks().error;
    ClassRec* parsed = nullptr;
    int result = ttparse_file(*file, 3, parsed, hook);
    DisplayHooks().error = hook;
    if (result == -1) {
        expansionError(formatMessage("description of submodel %s:%s cannot be read.", name.c_str(), instance.c_str()));
        return false;
    }
    if (result != 0 || !parsed) {
        expansionError(formatMessage("parse error(s) in submodel %s:%s.", name.c_str(), instance.c_str()));
        return false;
    }
    std::string status = *file;
    ttchange_extension(status, "?3");
    if (status != *file)
        std::rename(file->c_str(), status.c_str());
    type->cls = parsed;
    return true;
}

bool hasErrors(int positionErrorsBefore)
{
    return g_errorCount > 0 || CurrentPosition().errorCount > positionErrorsBefore;
}

} // namespace

void spreadFixedOrder(ClassRec* cls)
{
    if (cls->type != CLASS_DYN || !cls->equations)
        return;
    bool any = false;
    for (EquationRec* eq : cls->equations->equations)
        any = any || eq->fixed;
    if (!any)
        return;
    for (EquationRec* eq : cls->equations->equations)
        eq->fixed = 1;
    cls->equations->equations.first()->blockstart = 1;
}

int expand_model(ClassRec* cls, const std::string& modelFile)
{
    g_errorFile = modelFile;
    g_errorCount = 0;
    const int positionErrors = CurrentPosition().errorCount;
    if (!cls->args.empty()) {
        progress("Reading and checking arguments.");
        std::optional<std::vector<std::int32_t>> values = read_model_arguments(cls);
        if (!values || !set_arguments(cls, *values)) {
            expansionError("inconsistent argument(s) given for this model.");
            return 0;
        }
        progress("Arguments read and checked successfully.");
        apply_instance(cls, ExprList{}, expansionError);
    }
    if (hasErrors(positionErrors) || !cls->graph)
        return 0;
    cls->argsub = 1;
    progress("Expanding submodel:");
    GraphBody* body = cls->graph;
    for (SubclassRec* sub = body->subclasses.first(); sub;) {
        if (Pipeline().aborted)
            return 0;
        SectionLink* before = sub->prev;
        expand_submodel(cls, sub);
        // A dissolved subclass has left the list; its parts were appended at the end.
        SectionLink* next = sub->next ? sub->next : before->next;
        sub = next->end ? nullptr : static_cast<SubclassRec*>(next);
    }
    SubmodelType* last = body->types.last();
    for (SubmodelType* type = body->types.first(); type && type != last;) {
        SubmodelType* next = SectionList<SubmodelType>::after(type);
        if (type->users.empty())
            releaseSubmodelType(type);
        type = next;
    }
    if (!hasErrors(positionErrors))
        cls->expand = 1;
    return cls->expand;
}

void expand_submodel(ClassRec* cls, SubclassRec* sub)
{
    GraphBody* body = cls->graph;
    SubmodelType* type = sub->type;
    if (!type)
        return;
    if (!type->cls && !readSubmodelType(sub))
        return;
    spreadFixedOrder(type->cls);
    sub->cls = copyClass(type->cls);
    if (!sub->cls) {
        expansionError("memory allocation failure (may be out of memory).");
        return;
    }
    const std::string name = formatMessage("%s%d", type->t_name.c_str(), type->t_vers);
    const std::string instance = instance_name(sub);
    if (!sub->args.empty()) {
        std::vector<std::int32_t> values;
        for (const ExprNode* arg : sub->args) {
            std::int32_t value = 0;
            if (!evaluateInteger(arg, value)) {
                expansionError(formatMessage("error in evaluation of arguments for submodel %s:%s.", name.c_str(),
                                             instance.c_str()));
                return;
            }
            values.push_back(value);
        }
        if (!set_arguments(sub->cls, values)) {
            expansionError(formatMessage("inconsistent argument(s) given for submodel %s:%s.", name.c_str(),
                                         instance.c_str()));
            return;
        }
    }
    apply_instance(sub->cls, sub->dim, expansionError);
    if (sub->cls->type == CLASS_TOP) {
        dissolveGraphSubmodel(body, sub, expansionError);
    } else if (Pipeline().depth < 5) {
        ttfree_class(sub->cls);
        sub->cls = nullptr;
    }
}

void setExpansionErrorFile(const std::string& modelFile)
{
    g_errorFile = modelFile;
}

std::optional<std::vector<std::int32_t>> read_model_arguments(ClassRec* cls)
{
    std::string name = formatMessage("%s%d", cls->name.c_str(), cls->version);
    std::string file = MakeModelFileName(10, firstDirectory(Settings().model_dirs), name, 1);
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        expansionError(formatMessage("arguments file %s not found for this model.", file.c_str()));
        return std::nullopt;
    }
    std::ostringstream text;
    text << in.rdbuf();
    if (!readArgumentLines(cls, file, text.str()))
        return std::nullopt;
    bool complete = true;
    std::vector<std::int32_t> values;
    for (ArgRec* arg : cls->args) {
        if (!arg->hasValue) {
            expansionError(formatMessage("no value assigned to argument %s of this model.", arg->name.c_str()));
            complete = false;
        }
        values.push_back(arg->value);
    }
    if (!complete)
        return std::nullopt;
    return values;
}

int set_arguments(ClassRec* cls, const std::vector<std::int32_t>& values)
{
    std::size_t n = 0;
    for (ArgRec* arg : cls->args) {
        if (n == values.size())
            return 0;
        arg->value = values[n++];
        arg->hasValue = 1;
    }
    for (ExprNode* condition : cls->conds)
        if (!check_condition(cls, condition))
            return 0;
    return 1;
}

int check_condition(ClassRec* cls, const ExprNode* condition)
{
    if (!condition) {
        expansionError(formatMessage("<error: no argument condition derived for %s%d>", cls->name.c_str(), cls->version));
        return 0;
    }
    std::int32_t left = 0;
    std::int32_t right = 0;
    if (!evaluateInteger(condition->left, left) || !evaluateInteger(condition->right, right))
        return 0;
    switch (condition->kind) {
    case TK_EQ: return left == right;
    case TK_NE: return left != right;
    case TK_LT: return left < right;
    case TK_LE: return left <= right;
    case TK_GT: return left > right;
    case TK_GE: return left >= right;
    default: return 0;
    }
}
