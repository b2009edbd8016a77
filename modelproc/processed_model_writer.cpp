// Writers of the processed-model files ".l" (three-address code) and ".e" (Keldor text).
#include "modelproc/processed_model_writer.h"

#include "common/model_file_names.h"
#include "common/startup.h"
#include "modelproc/display_hooks.h"
#include "modelproc/equation_sections.h"
#include "modelproc/equation_text.h"
#include "modelproc/function_table.h"
#include "platform/core/file_system.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <optional>

namespace {

const char* const kErrorKind = "Equations generation error ";

/// Off while a writing pass repeats a counting pass that has already reported.
bool g_reporting = true;

void reportError(const std::string& message)
{
    if (g_reporting)
        DisplayHooks().error(kErrorKind, nullptr, nullptr, -1, nullptr, message.c_str());
}

struct DeclarationKind {
    int kind;
    char letter;
    const char* header; ///< null: never declared
};

constexpr DeclarationKind kKinds[] = {
    {TK_PARAMETERNAME, 'P', "#DParam "},   {TK_INITCONDNAME, 'I', "#DIncond"},
    {TK_CONSTANTNAME, 'C', "#DConst "},    {TK_TABLENAME, 'T', "#DTable "},
    {TK_VARIABLENAME, 'V', "#DVariable"},  {TK_INDEP_STATENAME, 's', "#Dstate_ind"},
    {TK_INDEP_RATENAME, 'R', "#DRate_ind"}, {TK_DEP_STATENAME, 'S', "#DState_dept"},
    {TK_DEP_RATENAME, 'r', "#Drate_dept"}, {TK_ALGLOOP_INNAME, 'a', nullptr},
    {TK_ALGLOOP_OUTNAME, 'A', "#DAlgloop"}, {TK_TIME, 't', nullptr},
};

const DeclarationKind* findKind(int kind)
{
    for (const DeclarationKind& k : kKinds)
        if (k.kind == kind)
            return &k;
    return nullptr;
}

/// The index text of element k: "", "[i]" or "[i,j]" (1-based).
std::string indexText(const Dimensions& d, std::int64_t k)
{
    if (d.count == 0)
        return "";
    if (d.count == 1)
        return "[" + std::to_string(k + 1) + "]";
    std::int64_t cols = d.cols > 0 ? d.cols : 1;
    return "[" + std::to_string(k / cols + 1) + "," + std::to_string(k % cols + 1) + "]";
}

/// Gives each variable of the list its running element number.
void numberVariables(SectionList<VarRec>& list)
{
    std::int64_t count = 0;
    for (VarRec* var : list) {
        var->index = static_cast<std::int32_t>(count);
        count += elementCount(var->dim);
    }
}

/// State the counting pass leaves for the writing pass and the equation file.
struct WriterState {
    const ClassRec* cls = nullptr;
    const ClassRec* counted = nullptr; ///< the class of the last counting pass
    EquationSections sections;
    int counts[4] = {0, 0, 0, 0};
    int maxTemporaries = 0;
};

WriterState& writerState()
{
    static WriterState state;
    return state;
}

const char* operatorMnemonic(int kind)
{
    switch (kind) {
    case TK_OR: return "orr";
    case TK_AND: return "and";
    case TK_NOT: return "not";
    case TK_EQ: return "teq";
    case TK_NE: return "tne";
    case TK_LT: return "tlt";
    case TK_LE: return "tle";
    case TK_GT: return "tgt";
    case TK_GE: return "tge";
    case TK_MIN: return "sub";
    case TK_PLUS: return "add";
    case TK_MULT: return "mul";
    case TK_DIV: return "div";
    case TK_IDIV: return "idv";
    case TK_MOD: return "mod";
    case TK_POW: return "pow";
    case TK_IPOW: return "ipw";
    case TK_PRF_MIN: return "inv";
    case TK_PRF_PLUS: return "mov";
    default: return nullptr;
    }
}

const char* functionMnemonic(int function)
{
    static const char* const mnemonics[FN_COUNT] = {
        nullptr, nullptr, nullptr, nullptr, "stp", "rmp", "exp", "log", "sin", "asn",
        "cos",   "acs",   "tan",   "atn",   "snh", "ash", "csh", "ach", "tnh", "ath",
        nullptr, "at2",   "sqt",   "pw2",   "sgn", "abs", "lgx", "exx", "lg2", "ex2",
        nullptr, "ran",   "dly",   "tdl",   "inp", "tab", "dll", "dll", "dll", "rst",
    };
    return function >= 0 && function < FN_COUNT ? mnemonics[function] : nullptr;
}

bool isLiteral(const ExprNode* node)
{
    return node->kind == TK_REAL || node->kind == TK_INTEGER || node->kind == TK_BOOLEAN;
}

/// A leaf of the code form: a literal or a name reference with literal indices.
bool isLeaf(const ExprNode* node)
{
    return isLiteral(node) || (isNameKind(node->kind) && literalElement(node) >= 0);
}

bool isComputedElement(const ExprNode* node)
{
    return isNameKind(node->kind) && literalElement(node) < 0;
}

/// Instruction count of an expression, for jump targets; `withDestination` adds the
/// final move of a conditional generated into a given destination.
int instructionCount(const ExprNode* node, bool withDestination)
{
    if (!node || isLeaf(node))
        return 0;
    if (node->kind == TK_TIME)
        return 1;
    if (isComputedElement(node)) {
        const ExprNode* i = node->index.at(0);
        const ExprNode* j = node->index.at(1);
        if (!j)
            return instructionCount(i, false) + 2;
        bool iLiteral = i && i->kind == TK_INTEGER;
        bool jLiteral = j->kind == TK_INTEGER;
        if (iLiteral)
            return instructionCount(j, false) + 2;
        if (jLiteral)
            return instructionCount(i, false) + 4;
        return instructionCount(i, false) + instructionCount(j, false) + 6;
    }
    if (node->kind == TK_IF) {
        int n = instructionCount(node->left, false) + std::max(1, instructionCount(node->right, true)) +
                std::max(1, instructionCount(node->extra, true)) + 2;
        return withDestination ? n + 1 : n;
    }
    if (node->kind == TK_FUNCTIONNAME) {
        int n = 0;
        for (const ExprNode* arg : node->args)
            n += instructionCount(arg, false);
        if (node->function >= FN_DLL_FUNCTION && node->function < FN_RESETFUNC)
            return n + 3;
        if (node->function == FN_RESETFUNC)
            return n + 2;
        return n + 1;
    }
    if (isUnaryOperator(node->kind))
        return instructionCount(node->right, false) + 1;
    return instructionCount(node->left, false) + instructionCount(node->right, false) + 1;
}

/// Generates the code form of one section's equations.
class CodeGenerator {
public:
    explicit CodeGenerator(std::string* out) : m_out(out) {}

    /// Code of one equation (`number` 1-based in its section); false when the pass fails.
    void equation(const EquationRec* eq, int number)
    {
        m_temporaries = 0;
        if (!eq->left || !eq->right) {
            reportError(formatMessage("<error while writing code: error in rhs of eq. %ld>", static_cast<long>(number)));
            m_failed = true;
            return;
        }
        if (isLeaf(eq->left)) {
            std::string destination = leafOperand(eq->left);
            expression(eq->right, &destination);
        } else {
            std::string value = expression(eq->right, nullptr);
            element(eq->left, nullptr, &value);
        }
        m_maxTemporaries = std::max(m_maxTemporaries, m_temporaries);
    }

    int instructions() const { return m_instruction; }
    int maxTemporaries() const { return m_maxTemporaries; }
    bool failed() const { return m_failed; }

private:
    std::string newTemporary() { return "U" + std::to_string(m_temporaries++); }

    void emit(const char* mnemonic, std::initializer_list<std::string> operands)
    {
        if (m_out) {
            *m_out += '\t';
            *m_out += mnemonic;
            for (const std::string& operand : operands) {
                *m_out += '\t';
                *m_out += operand;
            }
            *m_out += '\n';
        }
        ++m_instruction;
    }

    std::string leafOperand(const ExprNode* node)
    {
        switch (node->kind) {
        case TK_REAL: return realLiteralText(node->realValue);
        case TK_INTEGER: return std::to_string(node->intValue);
        case TK_BOOLEAN: return node->intValue ? "1" : "0";
        default: break;
        }
        std::int64_t number = literalElement(node);
        char letter = isVariableKind(node->kind) ? kindLetter(node->kind) : '\0';
        if (isVariableKind(node->kind) && node->kind != TK_TABLENAME)
            number += node->var() ? node->var()->index : 0;
        if (!letter) {
            reportError(formatMessage("<error while writing code: var. token %d not known>", node->kind));
            m_failed = true;
            return std::to_string(number);
        }
        return letter + std::to_string(number);
    }

    std::string expression(const ExprNode* node, const std::string* destination)
    {
        if (!node) {
            wrongOpcode();
            return "";
        }
        if (isLeaf(node)) {
            std::string operand = leafOperand(node);
            if (!destination)
                return operand;
            emit("mov", {*destination, operand});
            return *destination;
        }
        if (node->kind == TK_IF)
            return conditional(node, destination);
        if (isComputedElement(node)) {
            std::string target = destination ? *destination : newTemporary();
            element(node, &target, nullptr);
            return target;
        }
        const char* mnemonic = nullptr;
        if (node->kind == TK_TIME)
            mnemonic = "tim";
        else if (node->kind == TK_FUNCTIONNAME)
            mnemonic = functionMnemonic(node->function);
        else if (isOperatorKind(node->kind))
            mnemonic = operatorMnemonic(node->kind);
        else {
            wrongOpcode();
            return "";
        }
        if (!mnemonic) {
            reportError(formatMessage("<error while writing code: operator %d or function %d not implemented>",
                               node->kind, node->function));
            m_failed = true;
            return "";
        }
        std::string target = destination ? *destination : newTemporary();
        if (node->kind == TK_TIME) {
            emit("tim", {target});
        } else if (node->kind == TK_FUNCTIONNAME) {
            call(node, target);
        } else if (isUnaryOperator(node->kind)) {
            std::string operand = expression(node->right, nullptr);
            emit(mnemonic, {target, operand});
        } else {
            std::string left = expression(node->left, nullptr);
            std::string right = expression(node->right, nullptr);
            emit(mnemonic, {target, left, right});
        }
        return target;
    }

    void call(const ExprNode* node, const std::string& target)
    {
        std::vector<std::string> args;
        if (node->function == FN_RESETFUNC) {
            std::string first = expression(node->args.at(0), nullptr);
            emit("mov", {target, first});
            std::string second = expression(node->args.at(1), nullptr);
            std::string third = expression(node->args.at(2), nullptr);
            emit("rst", {target, second, third});
            return;
        }
        for (const ExprNode* arg : node->args)
            args.push_back(expression(arg, nullptr));
        auto arg = [&](std::size_t i) { return i < args.size() ? args[i] : std::string(); };
        if (node->function >= FN_DLL_FUNCTION && node->function < FN_RESETFUNC) {
            emit("hlg", {target, arg(2), arg(3)});
            emit("flk", {target, arg(4)});
            emit("dll", {target, arg(0), arg(1)});
        } else if (args.size() >= 2) {
            emit(functionMnemonic(node->function), {target, arg(0), arg(1)});
        } else {
            emit(functionMnemonic(node->function), {target, arg(0)});
        }
    }

    std::string conditional(const ExprNode* node, const std::string* destination)
    {
        std::string result = newTemporary();
        std::string condition = expression(node->left, nullptr);
        int jfa = m_instruction;
        emit("jfa", {std::to_string(jfa + std::max(1, instructionCount(node->right, true)) + 2), condition});
        expression(node->right, &result);
        int jmp = m_instruction;
        emit("jmp", {std::to_string(jmp + std::max(1, instructionCount(node->extra, true)) + 1)});
        expression(node->extra, &result);
        if (!destination)
            return result;
        emit("mov", {*destination, result});
        return *destination;
    }

    /// Element access with computed indices: a read into `target` or a write of `value`.
    void element(const ExprNode* node, const std::string* target, const std::string* value)
    {
        const VarRec* var = isVariableKind(node->kind) && node->kind != TK_TABLENAME ? node->var() : nullptr;
        char letter = kindLetter(node->kind);
        if (!var || !letter) {
            reportError(formatMessage("<error while writing code: var. token %d not known>", node->kind));
            m_failed = true;
            return;
        }
        Dimensions d = dimensionsOf(*var);
        const ExprNode* iNode = node->index.at(0);
        const ExprNode* jNode = node->index.at(1);
        std::int64_t base = var->index;
        std::string offset;
        if (!jNode) {
            offset = expression(iNode, nullptr);
            emit("plf", {offset, "1", std::to_string(d.rows)});
        } else if (iNode && iNode->kind == TK_INTEGER) {
            offset = expression(jNode, nullptr);
            emit("plf", {offset, "1", std::to_string(d.cols)});
            base += d.cols * (iNode->intValue - 1);
        } else if (jNode->kind == TK_INTEGER) {
            std::string i = expression(iNode, nullptr);
            emit("plf", {i, "1", std::to_string(d.rows)});
            std::string product = newTemporary();
            emit("mul", {product, i, std::to_string(d.cols)});
            offset = newTemporary();
            emit("sub", {offset, product, std::to_string(d.cols - jNode->intValue)});
        } else {
            std::string i = expression(iNode, nullptr);
            std::string j = expression(jNode, nullptr);
            emit("plf", {i, "1", std::to_string(d.rows)});
            emit("plf", {j, "1", std::to_string(d.cols)});
            std::string product = newTemporary();
            emit("mul", {product, i, std::to_string(d.cols)});
            std::string row = newTemporary();
            emit("sub", {row, product, std::to_string(d.cols)});
            offset = newTemporary();
            emit("add", {offset, row, j});
        }
        std::string first = letter + std::to_string(base);
        if (value)
            emit("mra", {first, offset, *value});
        else
            emit("mar", {*target, first, offset});
    }

    void wrongOpcode()
    {
        reportError("<error while writing code: wrong opcode in expression>");
        m_failed = true;
    }

    std::string* m_out;
    int m_instruction = 0;
    int m_temporaries = 0;
    int m_maxTemporaries = 0;
    bool m_failed = false;
};

void sectionHeader(std::string& out, int section, int count)
{
    if (count == 0)
        return;
    out += '\n';
    out += equationSectionHeader(section);
    out += '\t' + std::to_string(count) + '\n';
}

bool isOpenError(int error)
{
    return error == EACCES || error == EPERM || error == EROFS || error == ENOENT || error == ENOTDIR ||
           error == EISDIR || error == ENAMETOOLONG || error == ELOOP;
}

/// Installs a file's text; reports an open or write failure as the writer words it.
bool installFile(const std::string& path, const std::string& text)
{
    int error = 0;
    if (platform::writeFileAtomically(path, text, &error))
        return true;
    if (isOpenError(error))
        reportError(formatMessage("can't open file %.40s for writing.", path.c_str()));
    else
        reportError("some error writing .t4 file.");
    return false;
}

} // namespace

const char* tttype_word(int type)
{
    switch (type) {
    case TYPE_REAL: return "#real";
    case TYPE_STRING: return "#string";
    case TYPE_INTEGER: return "#int";
    case TYPE_BOOLEAN: return "#bool";
    case TYPE_SAMPLETIME: return "#sampletime";
    default: return "???";
    }
}

char kindLetter(int kind)
{
    const DeclarationKind* k = findKind(kind);
    return k ? k->letter : '\0';
}

int ttwrite_declarations(SectionList<VarRec>& list, int kind, std::string& out)
{
    const DeclarationKind* k = findKind(kind);
    if (!k)
        return 0;
    if (!k->header) {
        numberVariables(list); // algebraic-loop inputs are referenced but never declared
        return 1;
    }
    std::int64_t total = 0;
    for (const VarRec* var : list)
        total += elementCount(var->dim);
    if (total == 0)
        return 1;
    out += '\n';
    out += k->header;
    out += '\t' + std::to_string(total) + '\n';
    std::int64_t count = 0;
    for (VarRec* var : list) {
        var->index = static_cast<std::int32_t>(count);
        Dimensions d = dimensionsOf(*var);
        std::int64_t elements = elementCount(var->dim);
        for (std::int64_t e = 0; e < elements; ++e) {
            std::string index = indexText(d, e);
            out += '\t';
            out += tttype_word(var->at);
            out += '\t';
            out += (var->name.empty() ? std::string("Noname") : var->name) + index;
            for (const std::string& alias : var->aliases)
                out += '\t' + alias + index;
            out += '\n';
        }
        count += elements;
    }
    return 1;
}

int ttwrite_header(ClassRec* cls, std::string& out)
{
    if (!cls)
        return 0;
    out += "#Hclass\t" + (cls->name.empty() ? std::string("NONAME") : cls->name) + '\n';
    out += "#Hversion\t" + std::to_string(cls->version) + '\n';
    EquationBody* body = cls->equations;
    bool ok = ttwrite_declarations(cls->parameters, TK_PARAMETERNAME, out);
    ok = ttwrite_declarations(cls->initconds, TK_INITCONDNAME, out) && ok;
    ok = ttwrite_declarations(cls->variables, TK_VARIABLENAME, out) && ok;
    ok = ttwrite_declarations(cls->constants, TK_CONSTANTNAME, out) && ok;
    if (body) {
        ok = ttwrite_declarations(body->indep_states, TK_INDEP_STATENAME, out) && ok;
        ok = ttwrite_declarations(body->indep_rates, TK_INDEP_RATENAME, out) && ok;
        ok = ttwrite_declarations(body->dep_states, TK_DEP_STATENAME, out) && ok;
        ok = ttwrite_declarations(body->dep_rates, TK_DEP_RATENAME, out) && ok;
        ok = ttwrite_declarations(body->algloop_out, TK_ALGLOOP_OUTNAME, out) && ok;
        ok = ttwrite_declarations(body->algloop_in, TK_ALGLOOP_INNAME, out) && ok;
    }
    return ok ? 1 : 0;
}

int ttwrite_equations(ClassRec* cls, int mode, std::string* out)
{
    if (!cls || !cls->equations)
        return 0;
    WriterState& state = writerState();
    if (mode == 1 || state.cls != cls) {
        state.sections = distributeEquations(cls, out == nullptr);
        state.cls = cls;
    }
    bool ok = true;
    if (mode == 1) {
        // The writing pass meets the counting pass's errors again; they were reported then.
        g_reporting = out == nullptr || state.counted != cls;
        int maxTemporaries = 0;
        for (int s = 0; s < 4; ++s) {
            if (out)
                sectionHeader(*out, s, state.counts[s]);
            CodeGenerator generator(out);
            int number = 0;
            for (const EquationRec* eq : state.sections[static_cast<std::size_t>(s)])
                generator.equation(eq, ++number);
            if (!out)
                state.counts[s] = generator.instructions();
            maxTemporaries = std::max(maxTemporaries, generator.maxTemporaries());
            ok = ok && !generator.failed();
        }
        g_reporting = true;
        if (!out) {
            state.maxTemporaries = maxTemporaries;
            state.counted = cls;
        }
    } else if (out) {
        for (int s = 0; s < 4; ++s) {
            sectionHeader(*out, s, state.counts[s]);
            for (const EquationRec* eq : state.sections[static_cast<std::size_t>(s)])
                writeEquationText(eq, *out);
        }
    }
    relinkEquations(cls, state.sections);
    return ok ? 1 : 0;
}

int ttwrite_code_equations(ClassRec* cls, std::string& out)
{
    bool counted = ttwrite_equations(cls, 1, nullptr);
    int n = writerState().maxTemporaries;
    if (n > 0) {
        out += "\n#DUnnamed\t" + std::to_string(n) + '\n';
        for (int i = 0; i < n; ++i)
            out += "\t#real\n";
    }
    bool written = ttwrite_equations(cls, 1, &out);
    return counted && written ? 1 : 0;
}

int ttwrite_code_files(ClassRec* cls)
{
    return ttwrite_code_files(cls, Startup().WorkingDirectory);
}

namespace {
int writeFiles(ClassRec* cls, const std::string& directory, const std::string& base);
}

int ttwrite_code_files(ClassRec* cls, const std::string& directory)
{
    if (!cls || cls->type != CLASS_DYN || !cls->equations) {
        reportError("code generation of non-dynamic model not possible.");
        return 0;
    }
    std::string base = formatMessage("%.*s%d", 10, cls->name.c_str(), static_cast<int>(cls->version));
    int result = writeFiles(cls, directory, base);
    writerState() = WriterState{}; // records of this class may be released after the run
    return result;
}

namespace {

int writeFiles(ClassRec* cls, const std::string& directory, const std::string& base)
{
    std::string codePath = MakeCodeFileName(directory, base);
    std::string code;
    bool codeOk = ttwrite_header(cls, code);
    codeOk = ttwrite_code_equations(cls, code) && codeOk;
    if (!codeOk)
        return 0; // the old file stays: a half-generated code file must not look current
    if (!installFile(codePath, code))
        return 0;

    std::string equationPath = MakeEquationFileName(directory, base);
    std::string text;
    bool textOk = ttwrite_header(cls, text);
    textOk = ttwrite_equations(cls, 0, &text) && textOk;
    if (!textOk || !installFile(equationPath, text))
        return 0;
    std::string done = "Declarations and sorted equations have been written to file " + base + ".e.";
    DisplayHooks().progress(done.c_str());
    return 1;
}

} // namespace
