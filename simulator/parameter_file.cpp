// The parameter file. The C-code generator reads it too, so its layout is fixed:
// "#Formatver 3", "#Hclass", "#DParam " with one line per parameter, "#DIncond" with
// one line per initial condition; values "%.24G", "%d" or a quoted text.
#include "simulator/parameter_file.h"

#include "common/message_boxes.h"
#include "common/number_words.h"
#include "platform/core/file_system.h"
#include "simulator/experiment_scanner.h"
#include "simulator/model_variables.h"
#include "simulator/run_state.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdint>
#include <functional>
#include <string_view>

namespace {

const char* const Heading = "While reading Parameters or Initial Conditions:";

int truncatedInt(double value)
{
    if (std::isnan(value))
        return 0;
    return int(std::clamp(std::trunc(value), double(INT_MIN), double(INT_MAX)));
}

void writeKind(std::string& out, int kind)
{
    const VariableKind& k = Variables().kinds[kind];
    for (int i = 0; i < k.count; ++i) {
        const char* name = GetVariableName(kind, i, 0);
        out += '\t';
        out += name ? name : "";
        const bool given = i < int(k.hasValue.size()) && k.hasValue[i];
        if (given && k.values) {
            const double value = k.values[i];
            char number[64];
            switch (GetVariableType(kind, i)) {
            case TypeInteger:
            case TypeBoolean:
                std::snprintf(number, sizeof number, "\t%d", truncatedInt(value));
                out += number;
                break;
            case TypeString: {
                const std::string* text = StringOfValue(value);
                out += "\t\"" + (text ? *text : std::string()) + "\"";
                break;
            }
            default:
                std::snprintf(number, sizeof number, "\t%.24G", value);
                out += number;
                break;
            }
        }
        out += '\n';
    }
}

bool isEnd(const ScannedToken& t) { return t.kind == ExperimentToken::EndOfLine || t.kind == ExperimentToken::EndOfFile; }

/// An integer or boolean variable is written back with "%d": its value must fit in 32 bits.
bool fitsItsType(int kind, int index, double value)
{
    const int type = GetVariableType(kind, index);
    return (type != TypeInteger && type != TypeBoolean) || (std::trunc(value) >= INT_MIN && std::trunc(value) <= INT_MAX);
}

/// The kind's variables by each of their names (name and aliases), the first variable
/// that has a name winning: an open-addressed table of variable numbers, small enough to
/// stay in the cache, so that a file of n lines is read in time linear in n.
class NameIndex {
public:
    explicit NameIndex(int kind) : m_kind(Variables().kinds[kind])
    {
        const int count = std::min(m_kind.count, int(m_kind.entries.size()));
        std::size_t names = 0;
        for (int i = 0; i < count; ++i)
            names += m_kind.entries[std::size_t(i)].names.size();
        m_slots.assign(std::bit_ceil(2 * names + 2), -1);
        for (int i = 0; i < count; ++i)
            for (const std::string& name : m_kind.entries[std::size_t(i)].names) {
                std::int32_t& slot = m_slots[probe(name)];
                if (slot < 0)
                    slot = i;
                else
                    m_shared = true;
            }
    }

    /// The first variable with that name, or -1. A file lists the variables in the model's
    /// order: the variable after the last one found is tried first, which is right
    /// unless a name belongs to several variables.
    int find(std::string_view name)
    {
        const int next = m_last + 1;
        if (!m_shared && next < int(m_kind.entries.size()) && hasName(next, name))
            return m_last = next;
        const int found = m_slots[probe(name)];
        if (found >= 0)
            m_last = found;
        return found;
    }

private:
    bool hasName(std::int32_t variable, std::string_view name) const
    {
        for (const std::string& own : m_kind.entries[std::size_t(variable)].names)
            if (own == name)
                return true;
        return false;
    }
    /// The slot of the name: the one holding a variable with it, or the empty one where it goes.
    std::size_t probe(std::string_view name) const
    {
        const std::size_t mask = m_slots.size() - 1;
        std::size_t at = std::hash<std::string_view>()(name) & mask;
        while (m_slots[at] >= 0 && !hasName(m_slots[at], name))
            at = (at + 1) & mask;
        return at;
    }

    const VariableKind& m_kind;
    std::vector<std::int32_t> m_slots;
    bool m_shared = false; ///< some name belongs to more than one variable
    int m_last = -1;
};

/// Whether the word begins with a digit, a sign or a decimal point, as every number does and no
/// variable's name.
bool beginsAsNumber(const std::string& word)
{
    const char c = word.empty() ? '\0' : word[0];
    return (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
}

struct SectionReader {
    ExperimentScanner& scanner;
    int kind;
    std::vector<ParameterValue> buffer;
    NameIndex variables;
    int unknown = 0;
    std::string firstUnknown{};

    /// One variable line (its first token read already); false at a syntax error, with
    /// the reason when a number was refused.
    bool readLine(const ScannedToken& first, bool take, ScannedToken& offending, const char*& reason)
    {
        double number = 0.0;
        if (first.kind != ExperimentToken::Word || !WordIsName(first.text)) {
            offending = first;
            return false;
        }
        const std::string name = first.text; // the scanner moves on over further names
        bool numberNext = false; // then `number` holds the value that follows
        // A word that begins as a number does (0x1p9, 1.5.2, 2e) is a value this reader cannot
        // take, not a further name of the variable: passed over, it would leave the variable
        // without the value the file meant to give it.
        bool badNumber = false;
        while (scanner.peek().kind == ExperimentToken::Word &&
               !(numberNext = WordIsNumber(scanner.peek().text, number)) &&
               !(badNumber = beginsAsNumber(scanner.peek().text)))
            scanner.next();
        if (!take) {
            scanner.skipLine();
            return true;
        }
        const int index = variables.find(name);
        if (index < 0) {
            if (unknown++ == 0)
                firstUnknown = name.substr(0, 20);
            scanner.skipLine();
            return true;
        }
        ParameterValue& entry = buffer[std::size_t(index)];
        entry = ParameterValue{};
        const ScannedToken& value = scanner.next();
        if (isEnd(value))
            return true;
        // A text for a string variable, a number for every other: a value of the other
        // type would become a pool handle or another variable's text.
        const bool wantsText = GetVariableType(kind, index) == TypeString;
        if (wantsText && value.kind == ExperimentToken::Quoted) {
            entry.text = value.text;
            entry.isText = true;
        } else if (!wantsText && value.kind == ExperimentToken::Word && numberNext) {
            // The word reads as a number: it must be one the variable can hold.
            const bool finite = ReadFiniteReal(value.text, entry.value);
            if (!finite || !fitsItsType(kind, index, entry.value)) {
                offending = value;
                reason = finite ? kIntegerRefusal : kRealRefusal;
                return false;
            }
        } else {
            offending = value;
            if (badNumber && !wantsText)
                reason = kRealRefusal;
            return false;
        }
        entry.hasValue = 1;
        const ScannedToken& end = scanner.next();
        if (!isEnd(end)) {
            offending = end;
            return false;
        }
        return true;
    }
};

} // namespace

std::string ParameterFileText(const std::string& className)
{
    std::string out = "#Formatver\t3\n#Hclass\t" + className + "\n#DParam \n";
    writeKind(out, KindParameter);
    out += "#DIncond\n";
    writeKind(out, KindInitial);
    return out;
}

namespace {

/// The first given value of kinds P and I that is no finite number, which no reader
/// would take back; null when there is none.
const char* firstNotFinite()
{
    for (int kind : {KindParameter, KindInitial}) {
        const VariableKind& k = Variables().kinds[kind];
        for (int i = 0; i < k.count && k.values; ++i) {
            const bool given = i < int(k.hasValue.size()) && k.hasValue[i];
            if (given && GetVariableType(kind, i) != TypeString && !std::isfinite(k.values[i])) {
                const char* name = GetVariableName(kind, i, 0);
                return name ? name : "?";
            }
        }
    }
    return nullptr;
}

} // namespace

int WriteParameterFile(const std::string& path, const std::string& className)
{
    if (const char* name = firstNotFinite()) {
        ShowMessage({"A value that is not a finite number can not be saved:", name, path});
        return -1;
    }
    if (!platform::writeFileAtomically(path, ParameterFileText(className))) {
        ShowMessage({"Can not open for writing:", path});
        return -1;
    }
    return 0;
}

std::optional<std::vector<ParameterValue>> ReadParameterSection(const std::string& path, int kind)
{
    const std::optional<std::string> text = platform::readFile(path);
    if (!text) {
        ShowMessage({"Can not open for reading:", path});
        return std::nullopt;
    }
    ExperimentScanner scanner(*text);
    ShowStatus("", false);
    if (const ScannedToken& first = scanner.next(); first.text != "#Formatver") {
        ReportSpecSyntaxError(Heading, path, first, "\"#Formatver\" is meant here");
        return std::nullopt;
    }
    SectionReader reader{scanner, kind, std::vector<ParameterValue>(std::size_t(Variables().kinds[kind].count)),
                         NameIndex(kind)};
    ScannedToken offending;
    const char* reason = nullptr;
    bool good = true;
    auto expect = [&](ExperimentToken wanted, const char* text = nullptr) {
        const ScannedToken& t = scanner.next();
        if (t.kind != wanted || (text && t.text != text)) {
            offending = t;
            return false;
        }
        return true;
    };
    int formatVersion = 0;
    const ScannedToken& version = scanner.next();
    if (version.kind != ExperimentToken::Word || !ReadInteger32(version.text, formatVersion)) {
        offending = version;
        reason = kIntegerRefusal;
        good = false;
    }
    good = good && expect(ExperimentToken::EndOfLine) && expect(ExperimentToken::Keyword, "#Hclass");
    if (good && scanner.peek().kind == ExperimentToken::Word)
        scanner.next();
    good = good && expect(ExperimentToken::EndOfLine) && expect(ExperimentToken::Keyword, "#DParam") &&
           expect(ExperimentToken::EndOfLine);
    // The parameter lines, ended by "#DIncond".
    while (good) {
        const ScannedToken& t = scanner.next();
        if (t.kind == ExperimentToken::Keyword && t.text == "#DIncond")
            break;
        if (t.kind == ExperimentToken::Keyword || t.kind == ExperimentToken::EndOfFile) {
            offending = t;
            good = false;
            break;
        }
        good = reader.readLine(t, kind == KindParameter, offending, reason);
    }
    good = good && expect(ExperimentToken::EndOfLine);
    while (good) {
        const ScannedToken& t = scanner.next();
        if (t.kind == ExperimentToken::EndOfFile)
            break;
        good = reader.readLine(t, kind == KindInitial, offending, reason);
    }
    if (!good)
        ReportSpecSyntaxError(Heading, path, offending, reason);
    if (reader.unknown > 0) {
        const int n = reader.unknown;
        std::vector<std::string> lines = {Heading};
        char line[128];
        std::snprintf(line, sizeof line, "warning: %d %s name%s not in model%s", n,
                      kind == KindParameter ? "parameter" : "initial condition", n == 1 ? "" : "s", n == 1 ? ":" : ";");
        lines.emplace_back(line);
        if (n > 1)
            lines.emplace_back("first name is");
        lines.push_back(reader.firstUnknown);
        ShowMessageLines(lines);
    }
    if (!good)
        return std::nullopt;
    return std::move(reader.buffer);
}

void ApplyParameterValues(int kind, const std::vector<ParameterValue>& values)
{
    VariableKind& k = Variables().kinds[kind];
    for (int i = 0; i < k.count && std::size_t(i) < values.size(); ++i) {
        const ParameterValue& v = values[std::size_t(i)];
        if (!k.values)
            break;
        if (v.isText)
            SetStringValue(k.values[i], v.text);
        else
            k.values[i] = v.value;
        if (std::size_t(i) < k.hasValue.size())
            k.hasValue[i] = v.hasValue;
    }
}

int ReadParameterFile(const std::string& path)
{
    const auto values = ReadParameterSection(path, KindParameter);
    if (!values)
        return -1;
    ApplyParameterValues(KindParameter, *values);
    return 0;
}

int ReadInitialConditionFile(const std::string& path)
{
    const auto values = ReadParameterSection(path, KindInitial);
    if (!values)
        return -1;
    ApplyParameterValues(KindInitial, *values);
    return 0;
}

std::optional<std::vector<ParameterValue>> ReadParameterValues(const std::string& path)
{
    return ReadParameterSection(path, KindParameter);
}

std::optional<std::vector<ParameterValue>> ReadInitialConditionValues(const std::string& path)
{
    return ReadParameterSection(path, KindInitial);
}
