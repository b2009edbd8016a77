// The equation-file reader: header, every declaration section, and the four
// equation sections with their continuation lines joined.
#include "codegen/equation_file_reader.h"

#include "codegen/equation_translator.h"
#include "common/message_boxes.h"
#include "common/text_helpers.h"
#include "platform/core/file_system.h"

#include <cctype>
#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <limits>
#include <optional>
#include <set>
#include <sstream>

namespace {

/// Declaration section headers and the kind each fills ('A', the algebraic loops, is read
/// only to name them when the model is refused).
struct Section {
    const char* header;
    char kind;
};

constexpr Section kDeclarations[] = {
    {"#DParam", 'P'},      {"#DIncond", 'Z'},      {"#DVariable", 'V'},   {"#DConst", 'C'},
    {"#Dstate_ind", 's'},  {"#DRate_ind", 'R'},    {"#DState_dept", 'S'}, {"#Drate_dept", 'r'},
    {"#DAlgloop", 'A'},
};

/// The equation sections, after the declarations, in this order; one without equations is left out.
constexpr std::pair<const char*, EquationList GeneratorModel::*> kEquations[] = {
    {"#EInitial", &GeneratorModel::initialEquations},
    {"#Einputs", &GeneratorModel::inputEquations},
    {"#Edynamic", &GeneratorModel::dynamicEquations},
    {"#Eoutputs", &GeneratorModel::outputEquations},
};

bool isBlank(const std::string& line) { return IsBlankLine(line); }

/// The count after a section header; none when it is missing or no count.
std::optional<long> sectionCount(const std::vector<std::string>& words)
{
    if (words.size() < 2)
        return std::nullopt;
    char* end = nullptr;
    const long count = std::strtol(words[1].c_str(), &end, 10);
    if (*end || count < 0 || words[1].empty())
        return std::nullopt;
    return count;
}

class EquationFileReader {
public:
    EquationFileReader(GeneratorModel& model, const std::string& fileName) : m_model(model), m_fileName(fileName) {}

    bool read()
    {
        // A file that cannot be opened is for the caller to report, in its own words.
        std::optional<std::string> text = platform::readFile(m_fileName);
        if (!text)
            return false;
        // The writer ends every line: a file that ends inside one was cut short.
        if (!text->empty() && text->back() != '\n') {
            std::size_t lines = std::size_t(std::count(text->begin(), text->end(), '\n'));
            return failWith("Error in Model File",
                            m_fileName + ", line " + std::to_string(lines + 1) + ": the file ends inside this line");
        }
        std::istringstream in(std::string(platform::withoutByteOrderMark(*text)));
        for (std::string line; std::getline(in, line);) {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            m_lines.push_back(line);
        }
        if (!readHeader())
            return false;
        while (m_next < m_lines.size()) {
            if (isBlank(m_lines[m_next])) {
                ++m_next;
                continue;
            }
            const std::vector<std::string> words = splitWords(m_lines[m_next]);
            if (!readSection(words.front()))
                return false;
        }
        if (!everyQuantityComputed())
            return false;
        BuildSubmodelList(m_model);
        return true;
    }

private:
    bool fail(const std::string& heading, std::size_t line, const std::string& token)
    {
        return failWith(heading, m_fileName + ", line " + std::to_string(line + 1) + ": '" + token + "'");
    }

    bool failWith(const std::string& heading, const std::string& detail)
    {
        ShowMessage({heading, detail});
        return false;
    }

    /// A section that ends before its count is a file cut short: the message names the
    /// section and the line where it ended.
    bool incomplete(const std::string& header, std::size_t present, long declared, const char* what)
    {
        return failWith("Error in Model File", m_fileName + ", line " + std::to_string(m_next + 1) + ": section " +
                                                   header + " ends after " + std::to_string(present) + " of its " +
                                                   std::to_string(declared) + " " + what);
    }

    /// Every rate has its equation, and every variable is named by one: a file cut between two
    /// equation sections leaves the rates of the sections after the cut without theirs. The
    /// outputs section computes only variables that nothing else reads, so a file cut before it
    /// shows by the variables that no equation names at all. (An element written at a computed
    /// index, which could be any of its variable's, is refused when its equation is translated.)
    bool everyQuantityComputed()
    {
        for (const char kind : {'R', 'V'}) {
            const VariableList& quantities = *m_model.list(kind);
            std::vector<bool> computed(quantities.size(), false);
            auto mark = [&](long ordinal) {
                if (ordinal >= 0 && std::size_t(ordinal) < computed.size())
                    computed[std::size_t(ordinal)] = true;
            };
            bool computedIndex = false;
            for (const auto& [name, list] : kEquations)
                for (const std::unique_ptr<EquationRecord>& equation : m_model.*list) {
                    if (equation->target && equation->target->kind == kind)
                        mark(equation->target->ordinal);
                    if (kind == 'V' && !forEachNamedOrdinal(equation->text, kind, mark))
                        computedIndex = true;
                }
            if (computedIndex)
                continue;
            for (std::size_t i = 0; i < computed.size(); ++i)
                if (!computed[i])
                    return failWith("Error in Model File",
                                    m_fileName + ": no equation computes " + (kind == 'R' ? "rate R" : "variable V") +
                                        std::to_string(i) + " (" + quantities[i]->firstName() + ")");
        }
        return true;
    }

    /// Calls `take` with the index of every quantity of the kind that a translated equation names
    /// ("V[12]" names variable 12); false when it names one at a computed index, which could be any.
    template <typename Take>
    static bool forEachNamedOrdinal(const std::string& text, char kind, Take take)
    {
        const std::string opening = std::string(1, kind) + "[";
        auto isWordCharacter = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; };
        for (std::size_t at = text.find(opening); at != std::string::npos; at = text.find(opening, at + 1)) {
            if (at > 0 && isWordCharacter(text[at - 1]))
                continue;
            std::size_t end = at + opening.size();
            long ordinal = 0;
            while (end < text.size() && std::isdigit(static_cast<unsigned char>(text[end])) && ordinal < (1L << 40))
                ordinal = ordinal * 10 + (text[end++] - '0');
            if (end == at + opening.size() || end >= text.size() || text[end] != ']')
                return false;
            take(ordinal);
        }
        return true;
    }

    bool readHeader()
    {
        std::string name;
        for (const char* key : {"#Hclass", "#Hversion"}) {
            while (m_next < m_lines.size() && isBlank(m_lines[m_next]))
                ++m_next;
            std::vector<std::string> words =
                m_next < m_lines.size() ? splitWords(m_lines[m_next]) : std::vector<std::string>{};
            if (words.empty() || words[0] != key || words.size() > 2)
                return fail("Error in Model File", m_next, words.empty() ? std::string() : words[0]);
            if (words.size() == 2 && key == std::string("#Hversion")) {
                char* end = nullptr;
                long version = std::strtol(words[1].c_str(), &end, 10);
                if (*end)
                    return fail("Error in Model File", m_next, words[1]);
                name += std::to_string(version);
            } else if (words.size() == 2) {
                name = words[1];
            }
            ++m_next;
        }
        m_model.modelName = name;
        return true;
    }

    bool readSection(const std::string& header)
    {
        const std::size_t headerLine = m_next;
        const std::optional<long> count = sectionCount(splitWords(m_lines[m_next]));
        if (!m_seen.insert(header).second)
            return fail("Error in Model File", headerLine, header);
        for (const Section& section : kDeclarations)
            if (header == section.header) {
                if (m_equationSections > 0)
                    return fail("Error in Model File", headerLine, header);
                if (!count)
                    return fail("Error in Model File", headerLine, header);
                if (section.kind == 'A')
                    return refuseLoop(header, *count);
                return readDeclarations(header, section.kind, *count);
            }
        for (std::size_t k = 0; k < std::size(kEquations); ++k)
            if (header == kEquations[k].first) {
                if (k < m_equationSections || !count)
                    return fail("Error in Model File", headerLine, header);
                m_equationSections = k + 1;
                return readEquations(header, m_model.*kEquations[k].second, *count);
            }
        return fail("Unknown section in Model File", headerLine, header);
    }

    /// The generated code has no solver for an algebraic loop: the message names the
    /// quantities the loop is solved for and where they are declared.
    bool refuseLoop(const std::string& header, long count)
    {
        const std::size_t headerLine = m_next;
        if (!readDeclarations(header, 'A', count))
            return false;
        std::string names;
        for (const std::unique_ptr<VariableRecord>& record : m_model.algebraicOutputs)
            names += (names.empty() ? "" : ", ") + record->firstName();
        std::vector<std::string> lines{"Models with algebraic loops are not supported in code generation"};
        if (!names.empty())
            lines.push_back("The loop is solved for " + names);
        lines.push_back(m_fileName + ", line " + std::to_string(headerLine + 1) + ": '" + header + "'");
        ShowMessageLines(lines);
        return false;
    }

    /// Entries: a type word, the first name and its aliases, one entry a line; as many as
    /// the header counts.
    bool readDeclarations(const std::string& header, char kind, long count)
    {
        VariableList& records = *m_model.list(kind);
        const std::size_t before = records.size();
        auto complete = [&]() {
            const std::size_t present = records.size() - before;
            return present >= std::size_t(count) || incomplete(header, present, count, "entries");
        };
        for (++m_next; m_next < m_lines.size(); ++m_next) {
            if (isBlank(m_lines[m_next]))
                continue;
            std::vector<std::string> words = splitWords(m_lines[m_next]);
            const std::string& type = words[0];
            if (type.starts_with("#D") || type.starts_with("#E") || type.starts_with("#H"))
                return complete();
            if (type != "#real" && type != "#sampletime" && type != "#int" && type != "#bool")
                return fail("Error in Model File", m_next, type);
            if (words.size() < 2)
                return fail("Error in Model File", m_next, type);
            auto record = std::make_unique<VariableRecord>();
            record->names.assign(words.begin() + 1, words.end());
            record->kind = kind;
            record->ordinal = static_cast<std::int32_t>(records.size());
            records.push_back(std::move(record));
        }
        return complete();
    }

    /// Equations up to an empty line, the next section or the end: a line ending in a
    /// backslash continues on the next, which the writer indents by six blanks; a line
    /// with " = " starts an equation; any other line (the parts of a conditional)
    /// belongs to the equation before it. The count is that of the instructions of the
    /// code form: a section whose equations take fewer lost some, one whose equations take
    /// more is damaged.
    bool readEquations(const std::string& header, EquationList& equations, long count)
    {
        std::unique_ptr<EquationRecord> current;
        std::size_t firstLine = 0;
        bool continued = false;
        InstructionCount instructions;
        auto finish = [&]() {
            if (!current)
                return true;
            // An equation whose count is not known (computed indices) takes one instruction or more.
            const InstructionCount n =
                CountInstructions(current->text).value_or(InstructionCount{1, std::numeric_limits<long>::max() / 2});
            instructions.least += n.least;
            instructions.most = std::min(instructions.most + n.most, std::numeric_limits<long>::max() / 2);
            if (!TranslateEquation(*current, m_model, m_fileName + ", line " + std::to_string(firstLine + 1)))
                return false;
            equations.push_back(std::move(current));
            return true;
        };
        for (++m_next; m_next < m_lines.size(); ++m_next) {
            std::string line = m_lines[m_next];
            if (continued) {
                std::size_t blanks = 0;
                while (blanks < 6 && blanks < line.size() && line[blanks] == ' ')
                    ++blanks;
                line.erase(0, blanks);
            } else if (isBlank(line) || line[0] == '#') {
                break;
            }
            const bool continues = !line.empty() && line.back() == '\\';
            if (continues)
                line.pop_back();
            if (continued) {
                current->text += line;
            } else if (!current || line.find(" = ") != std::string::npos) {
                if (!finish())
                    return false;
                current = std::make_unique<EquationRecord>();
                current->text = line;
                firstLine = m_next;
            } else {
                current->text += "\n" + line;
            }
            continued = continues;
        }
        if (continued)
            return failWith("Error in Model File", m_fileName + ", line " + std::to_string(m_next) +
                                                       ": the file ends inside an equation");
        if (!finish())
            return false;
        if (instructions.most < count)
            return incomplete(header, std::size_t(instructions.most), count, "instructions");
        if (instructions.least > count)
            return failWith("Error in Model File", m_fileName + ", line " + std::to_string(m_next + 1) + ": section " +
                                                       header + " counts " + std::to_string(count) +
                                                       " instructions, its equations take " +
                                                       std::to_string(instructions.least));
        return true;
    }

    GeneratorModel& m_model;
    std::string m_fileName;
    std::vector<std::string> m_lines;
    std::size_t m_next = 0;
    std::set<std::string> m_seen;
    std::size_t m_equationSections = 0; ///< the sections that may still follow begin here
};

} // namespace

bool ReadEquationFile(GeneratorModel& model, const std::string& fileName)
{
    model.clear();
    if (EquationFileReader(model, fileName).read())
        return true;
    model.clear();
    return false;
}
