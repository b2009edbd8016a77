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
#include "modelproc/template_writer.h"
#include "platform/core/file_system.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

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

/// The whole range 1 .. size of a dimension as an index entry; null when memory is exhausted.
ExprNode* wholeRange(const ExprNode* size)
{
    const std::int64_t value = literalSize(size);
    ExprNode* upper = value > 0 ? makeIntegerConstant(static_cast<std::int32_t>(value))
                                : ttcopy_1_expr(size, nullptr);
    ExprNode* lower = makeIntegerConstant(1);
    return upper && lower ? makeOperator(lower, upper, TK_UPTO) : nullptr;
}

/// Gives the index list one entry for each of `dims`: the entries it has, then the whole range of
/// each further dimension. The list gets nodes of its own, as others may share its nodes.
bool completeIndexList(ExprList& list, const std::vector<const ExprNode*>& dims)
{
    const std::size_t have = static_cast<std::size_t>(list.count());
    if (have >= dims.size())
        return true;
    ExprList complete;
    for (ExprNode* e : list)
        if (!complete.append(e))
            return false;
    for (std::size_t k = have; k < dims.size(); ++k) {
        ExprNode* range = wholeRange(dims[k]);
        if (!range || !complete.append(range))
            return false;
    }
    list = complete;
    return true;
}

std::vector<const ExprNode*> entriesOf(const ExprList& list, std::size_t skip = 0)
{
    std::vector<const ExprNode*> entries;
    for (const ExprNode* e : list)
        if (skip > 0)
            --skip;
        else
            entries.push_back(e);
    return entries;
}

/// The text of a bond end at the subclass: "name[instance indices]`port[port indices]".
std::string bondEndText(const SubclassRec* sub, const ConnEnd& end)
{
    return instance_name(sub) + (end.nodeindex.empty() ? "" : indexListText(end.nodeindex)) + "`" + end.name +
           (end.index.empty() ? "" : indexListText(end.index));
}

/// Every bond end at the equation subclass names all it reaches: an end without indices reaches
/// every element of an instance array and of a vector port, as if it named their whole ranges.
/// Then each element of each port may have one bond at most, and the indices must stay inside the
/// array and the port.
void completeAndCheckBondEnds(SubclassRec* sub, const std::string& typeName)
{
    ClassRec* cls = sub->cls;
    // What the messages call the submodel, made only for a message.
    std::string labelText;
    auto label = [&]() -> const std::string& {
        if (labelText.empty())
            labelText = typeName + ":" + instance_name(sub);
        return labelText;
    };
    const std::vector<const ExprNode*> instanceDims = entriesOf(sub->dim);
    std::vector<ConnectionEndAt<BondRec>> ends;
    for (PortRec* port : cls->ports) {
        connectionEndsAt(sub, END_SUB, port->name, ends);
        if (ends.empty())
            continue;
        // The port's dimensions begin with those of the instance array.
        const std::vector<const ExprNode*> ownDims = entriesOf(port->dim, instanceDims.size());
        std::vector<std::int64_t> sizes;
        bool literal = true;
        for (const ExprNode* d : port->dim) {
            sizes.push_back(literalSize(d));
            literal = literal && sizes.back() > 0;
        }
        // How often each element is reached; a scalar's one count needs no table of its own.
        unsigned char scalarUses = 0;
        std::vector<unsigned char> table;
        unsigned char* uses = nullptr;
        if (literal && sizes.empty()) {
            uses = &scalarUses;
        } else if (literal && elementCount(port->dim) <= (std::int64_t{1} << 24)) {
            table.assign(static_cast<std::size_t>(elementCount(port->dim)), 0);
            uses = table.data();
        }
        bool twice = false;
        bool againstOrientation = false;
        for (const ConnectionEndAt<BondRec>& at : ends) {
            ConnEnd& end = at.conn->con[at.end];
            // Seen from this end: the bond's power enters the submodel, leaves it, or has no direction.
            const unsigned char dir = at.conn->dir;
            const bool entering = (dir == 1 && at.end == 1) || (dir == 2 && at.end == 0);
            const bool leaving = (dir == 1 && at.end == 0) || (dir == 2 && at.end == 1);
            againstOrientation = againstOrientation || (port->orientation == 2 && leaving) ||
                                 (port->orientation == 1 && entering);
            if (!completeIndexList(end.nodeindex, instanceDims) || !completeIndexList(end.index, ownDims)) {
                expansionError("memory allocation failure (may be out of memory).");
                return;
            }
            if (!uses)
                continue;
            const std::vector<const ExprNode*> covered = coveredIndexEntries(end, sub);
            bool inside = covered.size() <= sizes.size();
            for (std::size_t k = 0; k < covered.size() && inside; ++k) {
                std::int64_t lo = 0, hi = 0;
                if (!literalBounds(covered[k], lo, hi))
                    break; // computed indices are checked where they are used
                inside = lo >= 1 && lo <= hi && hi <= sizes[k];
            }
            if (!inside) {
                expansionError(formatMessage("bond connected with %s, which lies outside port %s of submodel %s.",
                                             bondEndText(sub, end).c_str(), port->name.c_str(), label().c_str()));
                continue;
            }
            forEachCoveredElement(sizes, covered, [&](std::int64_t element) {
                twice = twice || uses[static_cast<std::size_t>(element)]++ > 0;
            });
        }
        if (twice)
            expansionError(formatMessage("more than one bond connected with port %s of submodel %s.",
                                         port->name.c_str(), label().c_str()));
        // The equations assume the fixed direction: a bond against it changes a sign. The graph
        // editor's check refuses it; here the processing goes on after the warning.
        if (againstOrientation)
            DisplayHooks().diag(formatMessage("Warning: wrong bond orientation for power port %s of submodel %s.",
                                              port->name.c_str(), label().c_str())
                                    .c_str());
    }
    // Signal ends reach every element of an instance array the same way.
    for (std::int16_t type : {END_SINP, END_SOUT})
        for (SigconRec* sig : ConnectionsAt<SigconRec>(sub, type))
            for (ConnEnd& end : sig->con)
                if ((end.type == END_SINP || end.type == END_SOUT) && end.node == sub &&
                    !completeIndexList(end.nodeindex, instanceDims)) {
                    expansionError("memory allocation failure (may be out of memory).");
                    return;
                }
}

/// Whether every size of the dimension list is a literal integer or range.
bool literalDimensions(const ExprList& dim)
{
    for (const ExprNode* size : dim) {
        const bool literal = size && (size->kind == TK_INTEGER ||
                                      (size->kind == TK_UPTO && size->left() && size->right() &&
                                       size->left()->kind == TK_INTEGER && size->right()->kind == TK_INTEGER));
        if (!literal)
            return false;
    }
    return true;
}

template <class T>
bool literalDimensions(const SectionList<T>& list)
{
    for (const T* record : list)
        if (!literalDimensions(record->dim))
            return false;
    return true;
}

/// Whether the instance adds nothing to its type's equation class, so that it can take the type's
/// class until its equations are reshaped and its copy then needs nothing of what expansion does
/// to a copy: no arguments of the instance or the class, no instance array, no inputs or outputs
/// (which keep what is connected with them), and literal sizes only.
bool takesTypeClass(const SubclassRec* sub)
{
    ClassRec* cls = sub->type ? sub->type->cls : nullptr;
    if (!cls || cls->type != CLASS_DYN || !cls->equations || !sub->args.empty() || !sub->dim.empty() ||
        !cls->args.empty() || !cls->inputs.empty() || !cls->outputs.empty() || !literalDimensions(cls->ports))
        return false;
    for (ClassSection which : {CLASS_PARAMETERS, CLASS_INITCONDS, CLASS_VARIABLES, CLASS_CONSTANTS})
        if (!literalDimensions(cls->section(which)))
            return false;
    for (int which = BODY_INDEP_STATES; which <= BODY_ALGLOOP_OUT; ++which)
        if (!literalDimensions(cls->equations->section(static_cast<BodySection>(which))))
            return false;
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
    startInstanceCount();
    const int positionErrors = CurrentPosition().errorCount;
    if (!cls->args.empty()) {
        progress("Reading and checking arguments.");
        std::optional<std::vector<std::int32_t>> values = read_model_arguments(cls);
        if (!values || !set_arguments(cls, *values)) {
            expansionError("inconsistent argument(s) given for this model.");
            return 0;
        }
        progress("Arguments read and checked successfully.");
        if (!apply_instance(cls, ExprList{}, expansionError, " of model " + cls->name + std::to_string(cls->version)))
            return 0;
    }
    if (hasErrors(positionErrors) || !cls->graph)
        return 0;
    cls->argsub = 1;
    progress("Expanding submodel:");
    GraphBody* body = cls->graph;
    auto* top = GraphArena().make<EnclosingModel>();
    if (!top || !top->cls.assign(cls->name + std::to_string(cls->version))) {
        expansionError("memory allocation failure (may be out of memory).");
        return 0;
    }
    for (SubclassRec* sub : body->subclasses)
        sub->within = top;
    {
        LaterUserRemoval removal(body);
        for (SubclassRec* sub = body->subclasses.first(); sub;) {
            if (Pipeline().aborted)
                return 0;
            SectionLink* before = sub->prev;
            expand_submodel(cls, sub);
            // A dissolved subclass has left the list; its parts were appended at the end.
            SectionLink* next = sub->next ? sub->next : before->next;
            sub = next->isEnd() ? nullptr : static_cast<SubclassRec*>(next);
        }
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
    // A model that holds itself, directly or through others, would be dissolved without end.
    const std::string typeName = type->t_name + std::to_string(type->t_vers);
    // The outermost enclosing model of the type begins the chain.
    const EnclosingModel* again = nullptr;
    for (const EnclosingModel* model = sub->within; model; model = model->outer)
        if (model->cls == typeName)
            again = model;
    if (again) {
        std::string chain = typeName;
        for (const EnclosingModel* model = sub->within;; model = model->outer) {
            chain.insert(0, model->cls.str() + " -> ");
            if (model == again)
                break;
        }
        expansionError(formatMessage("submodel %s:%s contains itself: %s.", typeName.c_str(),
                                     instance_name(sub).c_str(), chain.c_str()));
        return;
    }
    if (!type->cls && !readSubmodelType(sub))
        return;
    spreadFixedOrder(type->cls);
    const std::string where = " of submodel " + typeName + ":" + instance_name(sub);
    if (takesTypeClass(sub)) {
        // Its copy is made when its equations are reshaped and goes once they are taken out,
        // so that the copies of all instances never live at once.
        if (!countInstance(typeFootprint(type->cls, where), where, expansionError))
            return;
        sub->cls = type->cls;
        completeAndCheckBondEnds(sub, typeName);
        if (Pipeline().depth < 5)
            sub->cls = nullptr;
        return;
    }
    sub->cls = copyClass(type->cls);
    if (!sub->cls) {
        expansionError("memory allocation failure (may be out of memory).");
        return;
    }
    const std::string& name = typeName;
    if (!sub->args.empty()) {
        const std::string instance = instance_name(sub);
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
        // The values bind to the arguments in order and extra ones bind to none: the model is
        // processed as if they were not there, which is said, since they were meant for something.
        const auto takes = static_cast<std::size_t>(sub->cls->args.count());
        if (values.size() > takes)
            progress(formatMessage("Warning: %zu argument(s) given for submodel %s:%s, which takes %zu; the last "
                                   "%zu are ignored.",
                                   values.size(), name.c_str(), instance.c_str(), takes, values.size() - takes));
        if (!set_arguments(sub->cls, values)) {
            expansionError(formatMessage("inconsistent argument(s) given for submodel %s:%s.", name.c_str(),
                                         instance.c_str()));
            return;
        }
    }
    if (!apply_instance(sub->cls, sub->dim, expansionError, where))
        return;
    if (sub->cls->type == CLASS_TOP) {
        dissolveGraphSubmodel(body, sub, expansionError);
        return;
    }
    // The bonds at an equation subclass are final: a bond reaches it only from the body that
    // held it, which was dissolved before the subclass came up in the walk.
    completeAndCheckBondEnds(sub, name);
    if (Pipeline().depth < 5) {
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
    int error = 0;
    const std::optional<std::string> text = platform::readFile(file, &error);
    if (!text) {
        if (platform::isRefusedFile(error))
            expansionError(formatMessage("arguments file %s can not be read: %s.", file.c_str(),
                                         platform::fileErrorText(error).c_str()));
        else
            expansionError(formatMessage("arguments file %s not found for this model.", file.c_str()));
        return std::nullopt;
    }
    if (!readArgumentLines(cls, file, *text))
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
    if (!evaluateInteger(condition->left(), left) || !evaluateInteger(condition->right(), right))
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
