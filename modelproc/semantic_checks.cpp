// Checks the parser runs while it builds, integer evaluation and expression copy.
#include "modelproc/semantic_checks.h"

#include "modelproc/display_hooks.h"
#include "modelproc/expression_walk.h"
#include "modelproc/function_table.h"
#include "modelproc/symbol_table.h"
#include "modelproc/template_writer.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

/// Set while the parser has its sizes and arguments worked out, whose errors are placed at the
/// token the parse stands at.
bool g_evaluatingAtToken = false;

void generalError(const std::string& message)
{
    DisplayHooks().error("General error", nullptr, nullptr, -1, nullptr, message.c_str());
}

/// An error of integer evaluation: at the parse's token while the parser works the value out.
void evaluationError(const std::string& message)
{
    if (g_evaluatingAtToken)
        ttparse_error(message.c_str());
    else
        generalError(message);
}

/// Places the errors of the evaluations made while it lives at the parse's token.
struct EvaluationAtToken {
    EvaluationAtToken() : m_was(g_evaluatingAtToken) { g_evaluatingAtToken = true; }
    ~EvaluationAtToken() { g_evaluatingAtToken = m_was; }
    bool m_was;
};

void memoryError()
{
    generalError("memory allocation failure (may be out of memory).");
}

bool flagged(const ExprNode* e)
{
    return e && (e->flags & EXPR_ARGDEPENDENT);
}

/// True when the expression holds only integer constants, class arguments and the
/// operators that `tt_eval_expr` knows.
bool isIntegerExpression(const ExprNode* e)
{
    std::vector<const ExprNode*> pending{e};
    while (!pending.empty()) {
        const ExprNode* node = pending.back();
        pending.pop_back();
        if (!node)
            return false;
        switch (node->kind) {
        case TK_INTEGER:
        case TK_CLASSARG: break;
        case TK_PLUS:
        case TK_MIN:
        case TK_MULT:
        case TK_IDIV:
        case TK_DIV:
            pending.push_back(node->right());
            pending.push_back(node->left());
            break;
        case TK_PRF_MIN:
        case TK_PRF_PLUS: pending.push_back(node->right()); break;
        default: return false;
        }
    }
    return true;
}
void addCondition(ClassRec* cls, const ExprNode* left, ExprNode* right, int kind)
{
    ExprNode* copy = ttcopy_1_expr(left, nullptr);
    ExprNode* cond = copy && right ? makeOperator(copy, right, kind) : nullptr;
    if (!cond || !cls->conds.append(cond))
        memoryError();
}

/// Dimension mode: a known dimension must be >= 0 and becomes a constant. The known sizes may
/// not make more elements than one quantity may have, nor those of the class's quantities more
/// than a model may have.
bool checkDimensions(ClassRec* cls, const std::string& name, ExprList& dim)
{
    const EvaluationAtToken placed;
    for (PtrNode<ExprNode>* p = dim.head; p; p = p->next) {
        if (!p->item)
            continue;
        if (flagged(p->item)) {
            addCondition(cls, p->item, makeIntegerConstant(0), TK_GE);
            continue;
        }
        p->item = makeIntegerConstant(tt_eval_expr(p->item));
    }
    if (const std::string refusal = DeclaredQuantityRefusal(name, knownSizes(dim), indexListText(dim),
                                                                cls->declaredElements);
        !refusal.empty()) {
        ttparse_error(refusal.c_str());
        return false;
    }
    return true;
}

/// Argument mode: every argument that does not wait for class arguments becomes its value.
void checkArguments(ExprList& args)
{
    const EvaluationAtToken placed;
    for (PtrNode<ExprNode>* p = args.head; p; p = p->next)
        if (p->item && !flagged(p->item))
            p->item = makeIntegerConstant(tt_eval_expr(p->item));
}

/// Fills empty index entries with ranges over the whole dimension.
bool completeIndex(ExprList& index, const ExprList& dim)
{
    if (dim.empty() && index.empty())
        return true;
    if (index.empty()) {
        for (ExprNode* d : dim) {
            ExprNode* upper = ttcopy_1_expr(d, nullptr);
            ExprNode* range = upper ? makeOperator(makeIntegerConstant(1), upper, TK_UPTO) : nullptr;
            if (!range || !index.append(range)) {
                memoryError();
                return false;
            }
        }
        return true;
    }
    PtrNode<ExprNode>* d = dim.head;
    for (PtrNode<ExprNode>* i = index.head; i; i = i->next, d = d ? d->next : nullptr) {
        if (!d) {
            ttparse_error("index split level higher than dimension split level.");
            return false;
        }
        if (!i->item) {
            ExprNode* upper = ttcopy_1_expr(d->item, nullptr);
            i->item = upper ? makeOperator(makeIntegerConstant(1), upper, TK_UPTO) : nullptr;
            if (!i->item) {
                memoryError();
                return false;
            }
        }
    }
    if (d) {
        ttparse_error("dimension split level higher than index split level.");
        return false;
    }
    return true;
}

/// Index mode: indices and ranges against the declared dimensions.
bool checkIndex(ClassRec* cls, ExprList& index, const ExprList& dim)
{
    PtrNode<ExprNode>* d = dim.head;
    bool ok = true;
    for (PtrNode<ExprNode>* i = index.head; i; i = i->next, d = d ? d->next : nullptr) {
        if (!d) {
            ttparse_error("index split level higher than dimension split level.");
            return false;
        }
        ExprNode* e = i->item;
        const ExprNode* size = d->item;
        bool sizeKnown = size && !flagged(size);
        std::int32_t sizeValue = sizeKnown ? tt_eval_expr(size) : 0;
        if (!e)
            continue;
        if (e->kind == TK_UPTO) {
            if (flagged(e->left()) || !isIntegerExpression(e->left())) {
                if (flagged(e->left()))
                    addCondition(cls, e->left(), makeIntegerConstant(1), TK_GE);
            } else {
                std::int32_t lower = tt_eval_expr(e->left());
                if (lower < 1) {
                    ttparse_error(formatMessage("lowerbound (%d) must be >= 1.", lower).c_str());
                    ok = false;
                }
                ExprNode* bound = makeIntegerConstant(lower);
                if (!bound) {
                    memoryError();
                    return false;
                }
                e->setLeft(bound);
            }
            if (flagged(e->right()) || !sizeKnown || !isIntegerExpression(e->right())) {
                if (flagged(e->right()) || (!sizeKnown && isIntegerExpression(e->right())))
                    addCondition(cls, e->right(), ttcopy_1_expr(size, nullptr), TK_LE);
            } else {
                std::int32_t upper = tt_eval_expr(e->right());
                if (upper > sizeValue) {
                    ttparse_error(formatMessage("upperbound (%d) must be <= %d.", upper, sizeValue).c_str());
                    ok = false;
                }
                ExprNode* bound = makeIntegerConstant(upper);
                if (!bound) {
                    memoryError();
                    return false;
                }
                e->setRight(bound);
            }
            if (e->left() && e->right() && e->left()->kind == TK_INTEGER && e->right()->kind == TK_INTEGER) {
                if (e->left()->intValue() >= e->right()->intValue()) {
                    ttparse_error(formatMessage("upperbound (%d) must be > lowerbound (%d).", e->right()->intValue(),
                                                e->left()->intValue())
                                      .c_str());
                    ok = false;
                }
            } else if (flagged(e->left()) || flagged(e->right())) {
                addCondition(cls, e->right(), ttcopy_1_expr(e->left(), nullptr), TK_GT);
            }
            e->flags = (e->left() ? e->left()->flags : 0) | (e->right() ? e->right()->flags : 0);
            continue;
        }
        if (flagged(e)) {
            addCondition(cls, e, makeIntegerConstant(1), TK_GE);
            addCondition(cls, e, ttcopy_1_expr(size, nullptr), TK_LE);
            continue;
        }
        if (!isIntegerExpression(e))
            continue; // an index computed at run time
        std::int32_t value = tt_eval_expr(e);
        if (sizeKnown) {
            if (value < 1) {
                ttparse_error(formatMessage("index (%d) must be >= 1.", value).c_str());
                ok = false;
            } else if (value > sizeValue) {
                ttparse_error(formatMessage("index (%d) must be <= %d.", value, sizeValue).c_str());
                ok = false;
            }
        }
        i->item = makeIntegerConstant(value);
    }
    if (d && !index.empty()) {
        ttparse_error("dimension split level higher than index split level.");
        return false;
    }
    return ok;
}

const ExprList* declaredDimensions(const SectionLink* record, int kind)
{
    if (!record)
        return nullptr;
    switch (kind) {
    case TK_PORTNAME: return &static_cast<const PortRec*>(record)->dim;
    case TK_INPUTNAME:
    case TK_OUTPUTNAME: return &static_cast<const IoRec*>(record)->dim;
    case TK_SUBCLASSNAME: return &static_cast<const SubclassRec*>(record)->dim;
    case TK_CLASSARG: return nullptr;
    default: return isVariableKind(kind) ? &static_cast<const VarRec*>(record)->dim : nullptr;
    }
}

} // namespace

std::string elementBoundRefusal(const std::string& what, const ExprList& dim, const std::string& where)
{
    return QuantityBoundRefusal(what, knownSizes(dim), indexListText(dim), where);
}

const char* quantityWord(int kind)
{
    switch (kind) {
    case TK_PORTNAME: return "port ";
    case TK_INPUTNAME: return "input ";
    case TK_OUTPUTNAME: return "output ";
    case TK_PARAMETERNAME: return "parameter ";
    case TK_INITCONDNAME: return "initial condition ";
    case TK_CONSTANTNAME: return "constant ";
    case TK_VARIABLENAME: return "variable ";
    case TK_SUBCLASSNAME: return "submodel ";
    default: return "";
    }
}

SectionLink* declareName(ClassRec* cls, int kind, const std::string& name, ExprList dim, int type)
{
    if (!cls)
        return nullptr;
    checkDimensions(cls, quantityWord(kind) + name, dim);
    SectionLink* record = nullptr;
    switch (kind) {
    case TK_PORTNAME: {
        PortRec* port = newPort(cls);
        if (port) {
            port->name = intern_name(name);
            port->dim = dim;
        }
        record = port;
        break;
    }
    case TK_INPUTNAME:
    case TK_OUTPUTNAME: {
        IoRec* io = kind == TK_INPUTNAME ? newInput(cls) : newOutput(cls);
        if (io) {
            io->name = intern_name(name);
            io->dim = dim;
            io->type = static_cast<std::int16_t>(type);
        }
        record = io;
        break;
    }
    case TK_CLASSARG: {
        ArgRec* arg = newArgument(cls);
        if (arg) {
            arg->name = intern_name(name);
            countArgumentUp(cls);
        }
        record = arg;
        break;
    }
    case TK_PARAMETERNAME:
    case TK_INITCONDNAME:
    case TK_CONSTANTNAME:
    case TK_VARIABLENAME: {
        ClassSection section = kind == TK_PARAMETERNAME  ? CLASS_PARAMETERS
                               : kind == TK_INITCONDNAME ? CLASS_INITCONDS
                               : kind == TK_CONSTANTNAME ? CLASS_CONSTANTS
                                                         : CLASS_VARIABLES;
        VarRec* var = newClassVariable(cls, section);
        if (var)
            setVariable(var, name, dim, type);
        record = var;
        if (var && kind == TK_VARIABLENAME && (type == TYPE_STRING || type == TYPE_SAMPLETIME))
            return record;
        break;
    }
    default: return nullptr;
    }
    if (!record) {
        memoryError();
        return nullptr;
    }
    if (!symtabInsert(record, intern_name(name), kind))
        return nullptr;
    return record;
}

SubclassRec* declareSubclass(ClassRec* cls, const std::string& name, ExprList args, ExprList dim,
                             const std::string& typeName, int typeVersion)
{
    if (!cls || !cls->graph)
        return nullptr;
    checkDimensions(cls, quantityWord(TK_SUBCLASSNAME) + name, dim);
    checkArguments(args);
    SubclassRec* sub = newSubclass(cls->graph);
    if (!sub || !setSubclass(cls->graph, sub, name, args, dim, typeName, typeVersion)) {
        memoryError();
        return nullptr;
    }
    if (!symtabInsert(sub, sub->name, TK_SUBCLASSNAME))
        return nullptr;
    return sub;
}

void orientationRestriction(int restriction, PortRec* port, int direction)
{
    if (port && restriction == TK_FIXED && (direction == 1 || direction == 2))
        port->orientation = static_cast<unsigned char>(direction);
}

int causalityRestriction(int restriction, PortRec* port, int code, PortRec* other)
{
    if (!port)
        return 0;
    int type = 0;
    if (other) {
        type = 3;
    } else {
        switch (restriction) {
        case TK_FIXED: type = 1; break;
        case TK_PREFERRED: type = 2; break;
        case TK_CONSTRAINT: type = 3; break;
        case TK_INDIFFERENT: type = 4; break;
        default: type = 0; break;
        }
    }
    auto refuse = [] {
        ttparse_error("illegal causality restriction.");
        return 0;
    };
    if (type == 4)
        code = 0;
    if (port->c_type == 1 || port->c_type == 2)
        return refuse();
    if (port->c_type == 3) {
        bool fresh = port->c_val == 0 && (other || code == CAUS_SAME);
        // A relation is symmetric: a port of a SAME group takes one whichever side it is written on.
        bool same = port->c_val == CAUS_SAME && (code == CAUS_SAME || other);
        if (!fresh && !same)
            return refuse();
    }
    setPortCausalityType(port, static_cast<unsigned char>(type));
    if (other) {
        if (code != 3 && code != 4)
            return refuse();
        if (other->c_type == 3 && (other->c_val == 0 || other->c_val == CAUS_SAME)) {
            // Only an equal port joins the SAME group; a notequal one would be bound to differ from itself.
            if (other->c_val == CAUS_SAME && code == 3)
                port->c_val = CAUS_SAME;
        } else if (other->c_type != 4) {
            return refuse();
        }
        setPortCausalityType(other, 3);
        if (!port->relports.appendPair(other, static_cast<unsigned char>(code)) ||
            !other->relports.appendPair(port, static_cast<unsigned char>(code))) {
            memoryError();
            return 0;
        }
    }
    if (code != 3 && code != 4)
        port->c_val = static_cast<unsigned char>(code);
    return 1;
}

ExprNode* nameReference(ClassRec* cls, int selector, SectionLink* record, int kind, ExprList index)
{
    if (selector && kind != TK_PORTNAME) {
        ttparse_error(".e or .f extension only allowed with ports");
        return nullptr;
    }
    if (!selector && kind == TK_PORTNAME) {
        ttparse_error(".e or .f extension must be specified when using ports");
        return nullptr;
    }
    if (kind != TK_CLASSARG) {
        if (const ExprList* dim = declaredDimensions(record, kind)) {
            if (!completeIndex(index, *dim) || !checkIndex(cls, index, *dim))
                return nullptr;
        }
    } else {
        index.head = nullptr;
    }
    ExprNode* node = makeLeaf(selector, record, kind, nullptr, index);
    if (!node) {
        memoryError();
        return nullptr;
    }
    if (kind == TK_CLASSARG) {
        node->flags = 1;
        if (record && !static_cast<ArgRec*>(record)->hasValue)
            node->flags |= EXPR_ARGDEPENDENT;
    }
    return node;
}

ExprNode* functionCall(const std::string& name, int kind, const ExprList& args)
{
    if (kind != TK_FUNCTIONNAME) {
        ttparse_error(formatMessage("declared identifier %s can not be used as function.", name.c_str()).c_str());
        return nullptr;
    }
    int row = findFunction(name);
    if (row < 0)
        return nullptr;
    int given = args.count();
    int wanted = functionRow(row)->arguments;
    if (given != wanted) {
        ttparse_error(formatMessage("%d argument(s) given for function %s, which requires %d argument(s).", given,
                                    name.c_str(), wanted)
                          .c_str());
        return nullptr;
    }
    ExprNode* node = makeFunctionCall(row, args);
    if (!node) {
        memoryError();
        return nullptr;
    }
    for (ExprNode* a : args)
        if (a)
            node->flags |= a->flags;
    return node;
}

namespace {

/// The value of the expression, walked without recursion, operands left to right, each operation
/// in 32 bits by the rule every reader of model files shares ("/" divides as "div" does).
/// `ok` is cleared after an error has been reported.
std::int64_t evaluate(const ExprNode* root, bool& ok)
{
    struct Frame {
        const ExprNode* node;
        bool expanded;
    };
    std::vector<Frame> pending{{root, false}};
    std::vector<std::int64_t> values;
    const auto pop = [&values] {
        const std::int64_t v = values.back();
        values.pop_back();
        return v;
    };
    while (ok && !pending.empty()) {
        const Frame frame = pending.back();
        const ExprNode* expr = frame.node;
        if (!expr) {
            pending.pop_back();
            values.push_back(0);
            continue;
        }
        const int kind = expr->kind;
        const bool binary = kind == TK_PLUS || kind == TK_MIN || kind == TK_MULT || kind == TK_IDIV || kind == TK_DIV;
        const bool prefix = kind == TK_PRF_MIN || kind == TK_PRF_PLUS;
        if (!frame.expanded && (binary || prefix)) {
            pending.back().expanded = true;
            pending.push_back({expr->right(), false});
            if (binary)
                pending.push_back({expr->left(), false});
            continue;
        }
        pending.pop_back();
        std::int64_t value = 0;
        switch (kind) {
        case TK_INTEGER: value = expr->intValue(); break;
        case TK_CLASSARG: {
            const auto* arg = static_cast<const ArgRec*>(expr->record());
            if (!arg || !arg->hasValue) {
                evaluationError(formatMessage("no numerical value known for argument %s.", arg ? arg->name.c_str() : "?"));
                ok = false;
                break;
            }
            value = arg->value;
            break;
        }
        case TK_PRF_MIN:
        case TK_PRF_PLUS:
        case TK_PLUS:
        case TK_MIN:
        case TK_MULT:
        case TK_IDIV:
        case TK_DIV: {
            const auto right = static_cast<std::int32_t>(pop());
            const auto left = prefix ? 0 : static_cast<std::int32_t>(pop());
            const IntegerOperator op = kind == TK_PRF_MIN    ? IntegerOperator::Negate
                                       : kind == TK_PRF_PLUS ? IntegerOperator::Positive
                                       : kind == TK_PLUS     ? IntegerOperator::Plus
                                       : kind == TK_MIN      ? IntegerOperator::Minus
                                       : kind == TK_MULT     ? IntegerOperator::Times
                                                             : IntegerOperator::Divide;
            std::int32_t result = 0;
            if (const IntegerFault fault = ApplyIntegerOperator(op, left, right, result); fault != IntegerFault::None) {
                evaluationError(IntegerFaultText(fault));
                ok = false;
            }
            value = result;
            break;
        }
        default:
            evaluationError(formatMessage("<error: illegal operator (%d) found in integer expression in tt_eval_expr>",
                                       kind));
            ok = false;
            break;
        }
        values.push_back(value);
    }
    return ok && !values.empty() ? values.back() : 0;
}

} // namespace

std::int32_t tt_eval_expr(const ExprNode* expr)
{
    bool ok = true;
    return static_cast<std::int32_t>(evaluate(expr, ok));
}

bool evaluateInteger(const ExprNode* expr, std::int32_t& value)
{
    bool ok = true;
    value = static_cast<std::int32_t>(evaluate(expr, ok));
    return ok;
}

ExprNode* ttcopy_1_expr(const ExprNode* expr, ExprCopyContext* context)
{
    ExprNode* copy = copyTree(expr, [](const ExprNode* from) -> ExprNode* {
        const int kind = from->kind;
        const bool known = isNameKind(kind) || isOperatorKind(kind) || kind == TK_TIME || kind == TK_REAL ||
                           kind == TK_INTEGER || kind == TK_BOOLEAN || kind == TK_UPTO || kind == TK_IF ||
                           kind == TK_FUNCTIONNAME;
        if (!known) {
            ttparse_error(formatMessage("<error: wrong opcode (%d) in expression in ttcopy_1_expr>", kind).c_str());
            return nullptr;
        }
        ExprNode* node = newNodeLike(from);
        if (!node) {
            memoryError();
            return nullptr;
        }
        if (isNameKind(kind))
            node->setRecord(from->record());
        return node;
    });
    // The last name reference copied is the last one a walk meets after the operands of each.
    if (copy && context)
        forEachNodeAfterOperands(copy, [context](ExprNode* node) {
            if (isNameKind(node->kind))
                context->lastName = node;
        });
    return copy;
}