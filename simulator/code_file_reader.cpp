// The code-file reader: builder actions over the variable and instruction tables,
// and a recursive-descent parser of the code-file grammar that calls them.
#include "simulator/code_file_reader.h"

#include "platform/core/file_system.h"
#include "simulator/data_tables.h"
#include "simulator/model_variables.h"
#include "simulator/run_state.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <new>
#include <optional>

namespace {

struct BuilderState {
    int currentKind = -1;
    int nameIndex = 0;
    int currentTable = -1;
    std::int64_t instructionIndex = 0;
    std::array<bool, TableCount> closed{};
    std::deque<double> constants;
    std::deque<std::string> texts;
    /// Rows or entries the text being read can hold at most (each takes a line of four bytes or
    /// more): a table or an array is given room for its declared ones up to that.
    std::int64_t rowBound = 0;
    int errors = 0;
    std::string lastError;
    std::string lastReport;
};

BuilderState g_builder;
CodeFileHeader g_header;
std::vector<std::string> g_pendingNames;

int fail(const std::string& message)
{
    ++g_builder.errors;
    g_builder.lastError = message;
    return -1;
}

std::nullptr_t failNull(const std::string& message)
{
    fail(message);
    return nullptr;
}

/// The array operand whose extent an instruction is checked against, or null.
const double* arrayOperand(OperationHandler handler, double* destination, double* operand1)
{
    const OpcodeRow* row = OpcodeOfHandler(handler);
    if (!row)
        return nullptr;
    const std::string_view mnemonic = row->mnemonic;
    if (mnemonic == "mar" || mnemonic == "hlg")
        return operand1;
    if (mnemonic == "mra" || mnemonic == "flk")
        return destination;
    return nullptr;
}

void closeTable(int index)
{
    InstructionTable& table = InstructionTables()[index];
    if (!table.allocated || g_builder.closed[index])
        return;
    Instruction end;
    end.handler = EndHandler();
    table.rows.push_back(end);
    table.details.emplace_back();
    const std::int64_t last = std::int64_t(table.rows.size()) - 1;
    for (std::size_t i = 0; i < table.rows.size(); ++i) {
        Instruction& row = table.rows[i];
        if (IsJumpHandler(row.handler)) {
            // Rows past the last instruction read are all `end`: they land on the final one.
            InstructionDetail& detail = table.details[i];
            SetJumpTarget(row, &table.rows[std::size_t(std::min(detail.extent, last))]);
            detail.extent = 0;
        }
    }
    g_builder.closed[index] = true;
}

/// What the element names of one variable have in common: the first name without what its last
/// brackets hold ("x[]" for "x[2]", "s[1]`p[].e" for "s[1]`p[3].e"); empty for a name without them.
std::string elementGroup(const VariableEntry& entry)
{
    if (entry.names.empty())
        return {};
    const std::string& name = entry.names.front();
    const std::size_t open = name.rfind('[');
    const std::size_t close = open == std::string::npos ? open : name.find(']', open);
    if (close == std::string::npos)
        return {};
    return name.substr(0, open + 1) + name.substr(close);
}

/// Which cells of a kind the instructions write. An element write at a computed offset may write
/// any element of its variable, from the one it names as its base to the variable's last.
std::vector<bool> writtenCells(int kind)
{
    const VariableKind& k = Variables().kinds[kind];
    std::vector<bool> written(std::size_t(std::max(k.count, 0)), false);
    std::vector<bool> groupMarked(written.size(), false);
    if (!k.values)
        return written;
    for (const InstructionTable& table : InstructionTables()) {
        for (const Instruction& row : table.rows) {
            const OpcodeRow* op = OpcodeOfHandler(row.handler);
            if (!op || op->token == ShapeNone || op->token == ShapeJump || op->token == ShapeCondJump)
                continue;
            const std::string_view mnemonic = op->mnemonic;
            const double* cell = row.destination;
            if (mnemonic == "plf" || mnemonic == "rst" || !cell || cell < k.values || cell >= k.values + k.count)
                continue; // the first operand of those two is only read
            const auto at = std::size_t(cell - k.values);
            written[at] = true;
            if (mnemonic != "mra" || groupMarked[at])
                continue;
            groupMarked[at] = true; // once for each base, however many writes it has
            const std::string group = at < k.entries.size() ? elementGroup(k.entries[at]) : std::string();
            for (std::size_t i = at + 1; !group.empty() && i < k.entries.size() && elementGroup(k.entries[i]) == group;
                 ++i)
                written[i] = true;
        }
    }
    return written;
}

/// Which cells of a kind any instruction names, to read or to write. An array operand names the
/// cells it spans.
std::vector<bool> namedCells(int kind)
{
    const VariableKind& k = Variables().kinds[kind];
    std::vector<bool> named(std::size_t(std::max(k.count, 0)), false);
    if (!k.values)
        return named;
    for (const InstructionTable& table : InstructionTables()) {
        for (std::size_t r = 0; r < table.rows.size(); ++r) {
            const Instruction& row = table.rows[r];
            const OpcodeRow* op = OpcodeOfHandler(row.handler);
            if (!op || op->token == ShapeNone)
                continue;
            const bool jump = op->token == ShapeJump || op->token == ShapeCondJump;
            const double* array = arrayOperand(row.handler, row.destination, row.operand1);
            for (const double* cell : {jump ? nullptr : row.destination, row.operand1, row.operand2}) {
                if (!cell || cell < k.values || cell >= k.values + k.count)
                    continue;
                const auto at = std::size_t(cell - k.values);
                const std::int64_t extent =
                    cell == array && r < table.details.size() ? std::max<std::int64_t>(table.details[r].extent, 1) : 1;
                for (std::size_t i = at; i < named.size() && std::int64_t(i - at) < extent; ++i)
                    named[i] = true;
            }
        }
    }
    return named;
}

/// " (name)" with the first name of a kind's entry, or nothing when it has none.
std::string entryName(int kind, std::size_t index)
{
    const std::vector<VariableEntry>& entries = Variables().kinds[kind].entries;
    return index < entries.size() && !entries[index].names.empty() ? " (" + entries[index].names.front() + ")"
                                                                    : std::string();
}

/// The grammar of code files, one function per rule.
class Parser {
public:
    explicit Parser(CodeFileLexer& lexer) : m_lex(lexer) {}

    // code-file := class-line [ args-line ] version-line declarations equations
    int codeFile()
    {
        advance();
        if (!classLine() || !argsLine() || !versionLine() || !declarations() || !equations())
            return 1;
        if (m_token != TokenEnd)
            return syntaxError();
        return everyRateComputed() ? 0 : 1;
    }

private:
    void advance() { m_token = m_lex.NextToken(); }

    bool syntaxError()
    {
        ++g_builder.errors;
        g_builder.lastError = "parse error";
        ReportCodeFileError("parse error", m_lex);
        return false;
    }

    bool expect(int token)
    {
        if (m_token != token)
            return syntaxError();
        advance();
        return true;
    }

    /// A builder failure found at the current token.
    bool tokenFailure()
    {
        ReportCodeFileError(g_builder.lastError, m_lex);
        return false;
    }

    /// A builder failure found when a line was complete.
    bool lineFailure()
    {
        ReportCodeFileLineError(g_builder.lastError, m_lex);
        return false;
    }

    /// The current INT token's value, at most `maximum`.
    bool integer(std::int64_t maximum, std::int64_t& value)
    {
        if (m_token != TokenInteger)
            return syntaxError();
        errno = 0;
        char* end = nullptr;
        const long long parsed = std::strtoll(m_lex.tokenText().c_str(), &end, 10);
        if (errno == ERANGE || parsed > maximum) {
            fail("integer out of range");
            return tokenFailure();
        }
        value = parsed;
        return true;
    }

    bool count(std::int64_t& value)
    {
        if (!integer(INT_MAX, value))
            return false;
        advance();
        return true;
    }

    // class-line := CLASS NAME EOL
    bool classLine() { return expect(TokenClass) && expect(TokenName) && expect(TokenEndOfLine); }

    // args-line := ARGS NAME { NAME } EOL
    bool argsLine()
    {
        if (m_token != TokenArgs)
            return true;
        advance();
        if (m_token != TokenName)
            return syntaxError();
        std::vector<std::string> names;
        while (m_token == TokenName) {
            names.push_back(m_lex.tokenText());
            advance();
        }
        if (!expect(TokenEndOfLine))
            return false;
        for (const std::string& name : names)
            g_header.argumentNames.insert(g_header.argumentNames.begin(), name);
        return true;
    }

    // version-line := VERSION INT EOL
    bool versionLine()
    {
        std::int64_t version = 0;
        if (!expect(TokenVersion) || !count(version) || !expect(TokenEndOfLine))
            return false;
        g_header.version = int(version);
        return true;
    }

    // declarations := { value-section | state-section | unnamed-section }
    bool declarations()
    {
        while (m_token == TokenValueKey || m_token == TokenStateKey || m_token == TokenUnnamedKey) {
            if (!section())
                return false;
        }
        return true;
    }

    // section := key INT EOL { TYPE_WORD name-list EOL }, with no names in the unnamed section
    bool section()
    {
        const bool unnamed = m_token == TokenUnnamedKey;
        const std::string key = m_lex.tokenText();
        const int kind = KindIndex(key.size() > 2 ? key[2] : '\0');
        if (kind < 0)
            return tokenFailure();
        advance();
        std::int64_t n = 0;
        if (!count(n) || !expect(TokenEndOfLine))
            return false;
        // Each entry takes a line: a count the text cannot hold is given no room.
        if (n > g_builder.rowBound && n <= MaxDeclaredCount) {
            fail("section " + key + " counts " + std::to_string(n) + " entries, more than the file holds,");
            return lineFailure();
        }
        if (DeclareKind(kind, n) != 0)
            return lineFailure();
        while (m_token == TokenTypeWord) {
            const std::string word = m_lex.tokenText();
            const char third = word.size() > 2 ? word[2] : '\0';
            const int type = third == 'n' ? TypeInteger : third == 'o' ? TypeBoolean
                           : third == 't' ? TypeString : third == 'a' ? TypeSampleTime : TypeReal;
            advance();
            ClearPendingNames();
            if (!unnamed) {
                // name-list := NAME { NAME }
                if (m_token != TokenName)
                    return syntaxError();
                while (m_token == TokenName) {
                    AddPendingName(m_lex.tokenText());
                    advance();
                }
            }
            if (!expect(TokenEndOfLine))
                return false;
            // The names go over to the entry: a big model declares millions.
            const int declared = DeclareVariable(type, std::move(g_pendingNames));
            ClearPendingNames();
            if (declared != 0)
                return lineFailure();
        }
        return complete(key, DeclaredEntryCount(), n, "entries");
    }

    /// A section that ends before its count is a file cut short (or written wrong): its
    /// report names the section and the line where it ended.
    bool complete(const std::string& key, std::int64_t present, std::int64_t declared, const char* what)
    {
        const bool sectionEnded = m_token == TokenEnd || m_token == TokenValueKey || m_token == TokenStateKey ||
                                  m_token == TokenUnnamedKey || m_token == TokenSectionKey;
        if (present >= declared || !sectionEnded)
            return true; // anything else in its place is the parser's error
        fail("section " + key + " ends after " + std::to_string(present) + " of its " + std::to_string(declared) +
             " " + what + ",");
        return tokenFailure();
    }

    // equations := [initial] [inputs] [dynamic] [outputs], each SECTION_KEY INT EOL { instruction }
    bool equations()
    {
        // The writer leaves out a section without equations; one that is there stands in this
        // order, once.
        static const char* const keys[TableCount] = {"#EInitial", "#Einputs", "#Edynamic", "#Eoutputs"};
        int next = 0;
        while (m_token == TokenSectionKey) {
            const std::string key = m_lex.tokenText();
            const char* const* found = std::find(keys + next, keys + TableCount, key);
            if (found == keys + TableCount) {
                fail("section " + key + " out of order,");
                return tokenFailure();
            }
            next = int(found - keys) + 1;
            const int table = TableIndex(key[2]);
            advance();
            std::int64_t n = 0;
            if (!count(n) || !expect(TokenEndOfLine))
                return false;
            if (DeclareTable(table, n) != 0)
                return lineFailure();
            while (m_token >= ShapeNone && m_token <= ShapeCondJump) {
                if (!instruction())
                    return false;
            }
            if (!complete(key, InstructionsRead(), n, "instructions"))
                return false;
        }
        return true;
    }

    // instruction := OP0 EOL | OP1 variable EOL | OP2 variable operand EOL
    //              | OP3 variable operand operand EOL | JUMP INT EOL | CJUMP INT operand EOL
    bool instruction()
    {
        const int shape = m_token;
        const OpcodeRow* op = m_lex.lastOpcode();
        advance();
        double* cells[3] = {nullptr, nullptr, nullptr};
        std::int64_t target = 0;
        if (shape == ShapeJump || shape == ShapeCondJump) {
            if (!count(target))
                return false;
            if (shape == ShapeCondJump && !operand(cells[1]))
                return false;
        } else {
            const int operands = shape == ShapeNone ? 0 : shape == ShapeTime ? 1 : shape == ShapeOne ? 2 : 3;
            if (operands > 0 && !variable(cells[0]))
                return false;
            for (int i = 1; i < operands; ++i)
                if (!operand(cells[i]))
                    return false;
        }
        if (!expect(TokenEndOfLine))
            return false;
        const int result = (shape == ShapeJump || shape == ShapeCondJump)
            ? AddJump(op->handler, target, cells[1])
            : AddInstruction(op->handler, cells[0], cells[1], cells[2]);
        return result == 0 || lineFailure();
    }

    // variable := KIND INT
    bool variable(double*& cell)
    {
        if (m_token != TokenKind)
            return syntaxError();
        const int kind = KindIndex(m_lex.tokenText().empty() ? '\0' : m_lex.tokenText()[0]);
        if (kind < 0)
            return tokenFailure();
        advance();
        std::int64_t index = 0;
        if (!integer(INT_MAX, index))
            return false;
        cell = VariableCell(kind, index);
        if (!cell)
            return tokenFailure();
        advance();
        return true;
    }

    // operand := variable | INT | REAL | TIME
    bool operand(double*& cell)
    {
        switch (m_token) {
        case TokenKind:
            return variable(cell);
        case TokenInteger: {
            std::int64_t value = 0;
            if (!integer(LLONG_MAX, value))
                return false;
            advance();
            cell = RealFromInt(value);
            return cell || lineFailure();
        }
        case TokenReal:
            cell = RealFromText(m_lex.tokenText());
            if (!cell)
                return tokenFailure();
            advance();
            return true;
        case TokenTime:
            cell = &SimulationTime;
            advance();
            return true;
        default:
            return syntaxError();
        }
    }

    /// Every rate has its equation: a file cut between two equation sections leaves the rates
    /// of the sections after the cut without theirs. (Variables tell a cut of a processed model
    /// only: see `UnnamedVariableReport`.)
    bool everyRateComputed()
    {
        const std::vector<bool> written = writtenCells(KindRate);
        for (std::size_t i = 0; i < written.size(); ++i) {
            if (written[i])
                continue;
            fail("no equation computes rate R" + std::to_string(i) + entryName(KindRate, i) + ",");
            return lineFailure();
        }
        return true;
    }

    CodeFileLexer& m_lex;
    int m_token = TokenEnd;
};

} // namespace

std::string UnnamedVariableReport()
{
    const std::vector<bool> named = namedCells(KindVariable);
    for (std::size_t i = 0; i < named.size(); ++i)
        if (!named[i])
            return "no equation computes variable V" + std::to_string(i) + entryName(KindVariable, i) + ".";
    return {};
}

CodeFileHeader& LoadedCodeFileHeader() { return g_header; }

void ResetModel()
{
    ClearInstructionTables();
    ClearVariables();
    g_builder = BuilderState{};
    g_header = CodeFileHeader{};
    ClearPendingNames();
}

const std::string* KeepText(const std::string& text)
{
    try {
        return &g_builder.texts.emplace_back(text);
    } catch (const std::bad_alloc&) {
        return failNull("memory allocation failure");
    }
}

int KindIndex(char letter)
{
    const int kind = KindOfLetter(letter);
    return kind >= 0 ? kind : fail("wrong modifier");
}

int DeclareKind(int kind, std::int64_t count)
{
    std::string error;
    if (AllocateKind(kind, count, error) != 0)
        return fail(error);
    try {
        // Each entry takes a line of the text: room for the declared entries up to that.
        Variables().kinds[kind].entries.reserve(static_cast<std::size_t>(std::min(count, g_builder.rowBound)));
    } catch (const std::bad_alloc&) {
        return fail("variable array allocation failure");
    }
    g_builder.currentKind = kind;
    g_builder.nameIndex = 0;
    return 0;
}

int DeclareVariable(int type, std::vector<std::string> names)
{
    if (g_builder.currentKind < 0)
        return fail("no array declared");
    VariableKind& kind = Variables().kinds[g_builder.currentKind];
    if (g_builder.nameIndex >= kind.count)
        return fail("index out of range");
    kind.entries.push_back({type, std::move(names)});
    ++g_builder.nameIndex;
    return 0;
}

int TableIndex(char letter)
{
    static const char tables[] = "Iido";
    for (int i = 0; i < TableCount; ++i)
        if (letter == tables[i])
            return i;
    return fail("wrong modifier");
}

int DeclareTable(int table, std::int64_t count)
{
    if (table < 0 || table >= TableCount)
        return fail("wrong modifier");
    if (!Variables().installed) {
        std::string error;
        if (InstallVariables(error) != 0)
            return fail(error);
    }
    if (g_builder.currentTable >= 0)
        closeTable(g_builder.currentTable);
    InstructionTable& t = InstructionTables()[table];
    if (t.allocated)
        return fail("Instruction table already allocated.");
    if (count < 0)
        return fail("Instruction table allocation failure: Not enough memory.");
    try {
        t.rows.reserve(static_cast<std::size_t>(std::min(count, g_builder.rowBound)));
        t.details.reserve(t.rows.capacity());
    } catch (const std::bad_alloc&) {
        return fail("Instruction table allocation failure: Not enough memory.");
    }
    t.allocated = true;
    t.declaredCount = count;
    g_builder.currentTable = table;
    g_builder.instructionIndex = 0;
    return 0;
}

namespace {

int addRow(const Instruction& row, InstructionDetail detail)
{
    if (g_builder.currentTable < 0 || g_builder.closed[g_builder.currentTable])
        return fail("no instructions-table declared,");
    InstructionTable& table = InstructionTables()[g_builder.currentTable];
    if (g_builder.instructionIndex >= table.declaredCount)
        return fail("more instructions as declared,");
    try {
        detail.privateMemory = PrivateMemoryFor(row.handler);
        table.rows.push_back(row);
        table.details.push_back(detail);
    } catch (const std::bad_alloc&) {
        if (table.details.size() < table.rows.size())
            table.rows.pop_back();
        return fail("Instruction table allocation failure: Not enough memory.");
    }
    ++g_builder.instructionIndex;
    return 0;
}

} // namespace

int AddInstruction(OperationHandler handler, double* destination, double* operand1, double* operand2)
{
    Instruction row;
    row.handler = handler;
    row.destination = destination;
    row.operand1 = operand1;
    row.operand2 = operand2;
    InstructionDetail detail;
    if (const double* array = arrayOperand(handler, destination, operand1))
        detail.extent = CellExtent(array);
    return addRow(row, detail);
}

int AddJump(OperationHandler handler, std::int64_t target, double* operand)
{
    if (g_builder.currentTable < 0 || g_builder.closed[g_builder.currentTable])
        return fail("no instructions-table declared,");
    const InstructionTable& table = InstructionTables()[g_builder.currentTable];
    if (g_builder.instructionIndex >= table.declaredCount)
        return fail("more instructions as declared,");
    // Only forward jumps: a jump back could loop for ever in a pass that nothing can interrupt.
    if (target <= g_builder.instructionIndex || target > table.declaredCount)
        return fail("wrong jump address");
    Instruction row;
    row.handler = handler;
    row.operand1 = operand;
    InstructionDetail detail;
    detail.extent = target; // resolved to the row when the table closes
    return addRow(row, detail);
}

double* NewReal(double value)
{
    try {
        return &g_builder.constants.emplace_back(value);
    } catch (const std::bad_alloc&) {
        return failNull("real allocation failure");
    }
}

double* RealFromText(const std::string& text)
{
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (end == text.c_str())
        return failNull("failure in conversion to real");
    return NewReal(value);
}

double* RealFromInt(std::int64_t value) { return NewReal(double(value)); }

double* VariableCell(int kind, std::int64_t index)
{
    std::string error;
    double* cell = CellAddress(kind, index, error);
    return cell ? cell : failNull(error);
}

void FillRestWithEnd()
{
    if (g_builder.currentTable >= 0)
        closeTable(g_builder.currentTable);
}

void AddPendingName(const std::string& text) { g_pendingNames.push_back(text); }

const std::vector<std::string>& PendingNames() { return g_pendingNames; }

int PendingNameCount() { return int(g_pendingNames.size()); }

void ClearPendingNames() { g_pendingNames.clear(); }

int BuilderErrorCount() { return g_builder.errors; }

std::int64_t DeclaredEntryCount() { return g_builder.currentKind < 0 ? 0 : g_builder.nameIndex; }

std::int64_t InstructionsRead() { return g_builder.currentTable < 0 ? 0 : g_builder.instructionIndex; }

const std::string& LastBuilderError() { return g_builder.lastError; }

int ReadCodeFile(CodeFileLexer& lexer)
{
    Parser parser(lexer);
    return parser.codeFile();
}

void ReportCodeFileError(const std::string& message, const CodeFileLexer& lexer)
{
    g_builder.lastReport = message + " in line " + std::to_string(lexer.line()) + ": '" + lexer.tokenText() + "'";
    ShowStatus(g_builder.lastReport, true);
}

void ReportCodeFileLineError(const std::string& message, const CodeFileLexer& lexer)
{
    g_builder.lastReport = message + " in line " + std::to_string(lexer.line() - 1);
    ShowStatus(g_builder.lastReport, true);
}

const std::string& LastCodeFileReport() { return g_builder.lastReport; }

int LoadCodeText(std::string text)
{
    ResetModel();
    ClearTableFileCache();
    const std::size_t mark = text.size() - platform::withoutByteOrderMark(text).size();
    text.erase(0, mark);
    g_builder.rowBound = static_cast<std::int64_t>(text.size() / 4 + 1);
    CodeFileLexer lexer;
    lexer.ResetScanner(std::move(text));
    const int result = ReadCodeFile(lexer);
    FillRestWithEnd();
    // Whatever the file held, the model is left runnable: arrays installed, every table ending in `end`.
    if (!Variables().installed) {
        std::string error;
        if (InstallVariables(error) != 0)
            fail(error);
    }
    for (int i = 0; i < TableCount; ++i) {
        InstructionTable& table = InstructionTables()[i];
        if (!table.allocated) {
            table.allocated = true;
            g_builder.closed[i] = false;
            closeTable(i);
        } else if (!g_builder.closed[i]) {
            closeTable(i);
        }
    }
    if (result != 0 && g_builder.errors == 0)
        ++g_builder.errors;
    return g_builder.errors;
}

int LoadCodeFile(const std::string& path)
{
    std::optional<std::string> text = platform::readFile(path);
    if (!text)
        return -1;
    return LoadCodeText(std::move(*text));
}
