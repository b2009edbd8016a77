// Damaged copies of the bundled graph models, made the same way every time: cut short at
// every line, lines cut out or doubled, tokens swapped or garbled, stray characters put in,
// every number replaced by numbers out of the range of its field, names too long, records
// missing, and binary bytes put in.
#pragma once

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace damagedfiles {

struct DamagedFile {
    std::string fileName; ///< the name of the model file it damages ("msd1.mg0")
    std::string how;      ///< what was done to it, for the test's messages
    std::string text;
};

/// The bundled graph models that are damaged.
inline const char* const kSources[] = {"msd1.mg0",  "rlc1.mg0", "gears1.mg0",   "mload1.mg0",
                                       "dcm1.sg0",  "qcar1.mg0", "dcspeed1.mg0"};
/// The submodel files of the bundled models, which a processor looks for beside the library.
inline const char* const kSubmodelSources[] = {"dcm1.sg0", "tacho1.sf0"};

/// A submodel of every kind of graph record the bundled models leave out: arguments, sized ports,
/// inputs and outputs, instance arrays, multibonds, signals, port ranges and midpoints.
inline const char* const kRichModel = "bond graph rich(n) version 1\n"
                                      "!gri_main 1500 1000 0 0\n"
                                      "interface\n"
                                      "  ports: q[2] 400 100\n"
                                      "  inputs: real u 20 20\n"
                                      "  outputs: real y 30 300\n"
                                      "subclasses\n"
                                      "  r;1 d[n] 280 100 !F\n"
                                      "  0j;1 j(3) 200 100 !T\n"
                                      "  gain;1 g[2] 100 20 !T\n"
                                      "connections\n"
                                      "  d`p =n=> j`p[1..2] !gri_bond 280 100 200 100\n"
                                      "  j`p[3] -- q[1] !gri_bond 200 100 400 100 300 160\n"
                                      "  u -: g[1]`u !gri_bond 20 20 100 20\n"
                                      "  g[2]`y =1=: y !gri_bond 100 20 30 300\n";

inline std::vector<std::string> linesOf(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t end = text.find('\n', at);
        lines.push_back(text.substr(at, end == std::string::npos ? std::string::npos : end - at));
        at = end == std::string::npos ? text.size() : end + 1;
    }
    return lines;
}

inline std::string joinLines(const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& line : lines)
        text += line + "\n";
    return text;
}

/// The index of the first line that begins with `head` after leading blanks, or the last line.
inline std::size_t lineStarting(const std::vector<std::string>& lines, const std::string& head)
{
    for (std::size_t i = 0; i < lines.size(); ++i)
        if (lines[i].find_first_not_of(" \t") != std::string::npos &&
            lines[i].compare(lines[i].find_first_not_of(" \t"), head.size(), head) == 0)
            return i;
    return lines.size() - 1;
}

/// The line's words (split at blanks) with the blanks kept in front of each.
inline std::vector<std::string> piecesOf(const std::string& line)
{
    std::vector<std::string> pieces;
    std::size_t at = 0;
    while (at < line.size()) {
        std::size_t word = line.find_first_not_of(" \t", at);
        if (word == std::string::npos) {
            pieces.back() += line.substr(at);
            break;
        }
        std::size_t end = line.find_first_of(" \t", word);
        if (end == std::string::npos)
            end = line.size();
        pieces.push_back(line.substr(at, end - at));
        at = end;
    }
    return pieces;
}

inline std::string joined(const std::vector<std::string>& pieces)
{
    std::string line;
    for (const std::string& piece : pieces)
        line += piece;
    return line;
}

/// The damaged copies of one model's text.
inline std::vector<DamagedFile> damage(const std::string& fileName, const std::string& text)
{
    std::vector<DamagedFile> files;
    auto add = [&](const std::string& how, std::string damaged) {
        if (damaged != text)
            files.push_back({fileName, how, std::move(damaged)});
    };
    const std::vector<std::string> lines = linesOf(text);
    const std::size_t header = lineStarting(lines, "bond");
    const std::size_t graphics = lineStarting(lines, "!gri_main");
    const std::size_t subclasses = lineStarting(lines, "subclasses");
    const std::size_t connections = lineStarting(lines, "connections");
    const std::size_t firstType = subclasses + 1;
    const std::size_t firstBond = connections + 1;
    const std::size_t lastBond = lines.size() - 1;

    // Cut short: in the header, before the connections, in a bond and before its last line end.
    add("cut in the header", text.substr(0, text.find("version") + 3));
    add("cut before the connections", joinLines({lines.begin(), lines.begin() + long(connections)}));
    add("cut inside the first bond", text.substr(0, text.find("!gri_bond") + 6));
    add("cut inside the last bond's graphics", text.substr(0, text.size() - 5));
    add("cut before the last line end", text.substr(0, text.size() - 1));

    // Lines cut out, or doubled.
    for (const auto& [how, line] : {std::pair{"the header", header}, std::pair{"the main graphics", graphics},
                                    std::pair{"the subclasses line", subclasses},
                                    std::pair{"the first type line", firstType},
                                    std::pair{"the connections line", connections},
                                    std::pair{"the first bond", firstBond}}) {
        std::vector<std::string> cut = lines;
        cut.erase(cut.begin() + long(line));
        add(std::string("without ") + how, joinLines(cut));
    }
    {
        std::vector<std::string> doubled = lines;
        doubled.insert(doubled.begin() + long(firstType), lines[firstType]);
        add("a type line twice", joinLines(doubled));
        doubled = lines;
        doubled.insert(doubled.begin() + long(lastBond), lines[lastBond]);
        add("a bond twice", joinLines(doubled));
    }

    // Tokens swapped and garbled.
    auto onLine = [&](std::size_t line, auto change) {
        std::vector<std::string> changed = lines;
        std::vector<std::string> pieces = piecesOf(changed[line]);
        change(pieces);
        changed[line] = joined(pieces);
        return joinLines(changed);
    };
    add("ends of a bond swapped with its arrow", onLine(firstBond, [](std::vector<std::string>& p) {
            if (p.size() >= 2)
                std::swap(p[0], p[1]);
        }));
    add("header words swapped", onLine(header, [](std::vector<std::string>& p) {
            if (p.size() >= 4)
                std::swap(p[2], p[3]);
        }));
    add("arrow garbled", onLine(firstBond, [](std::vector<std::string>& p) {
            if (p.size() >= 2)
                p[1] = " -<";
        }));
    add("type name garbled", onLine(firstType, [](std::vector<std::string>& p) {
            if (!p.empty())
                p[0].replace(p[0].find_first_not_of(" \t"), 1, "%");
        }));
    add("submodel unknown at a bond", onLine(lastBond, [](std::vector<std::string>& p) {
            if (!p.empty())
                p[0] = "  nobody`p";
        }));

    // Numbers out of range or of the wrong sign.
    add("version of eleven digits", onLine(header, [](std::vector<std::string>& p) { p.back() = " 99999999999"; }));
    add("coordinate beyond 32 bits", onLine(graphics, [](std::vector<std::string>& p) {
            if (p.size() >= 2)
                p[1] = " 4294967296";
        }));
    add("negative coordinate", onLine(firstType, [](std::vector<std::string>& p) {
            if (p.size() >= 3)
                p[2] = " -40";
        }));
    add("real coordinate", onLine(firstBond, [](std::vector<std::string>& p) { p.back() = " 1e400"; }));
    add("odd count of bond graphics", onLine(firstBond, [](std::vector<std::string>& p) { p.pop_back(); }));
    add("point beyond 32 bits", onLine(firstType, [](std::vector<std::string>& p) {
            if (p.size() >= 3)
                p[2] = " 2147483648";
        }));
    add("bond graphics beyond 32 bits", onLine(firstBond, [](std::vector<std::string>& p) { p.back() = " 99999999999"; }));
    {
        // The size argument of the first submodel that has one.
        std::string sized = text;
        const std::size_t open = sized.find('(', sized.find("subclasses"));
        const std::size_t close = open == std::string::npos ? open : sized.find(')', open);
        if (close != std::string::npos) {
            add("size argument of eleven digits", sized.replace(open + 1, close - open - 1, "99999999999"));
            sized = text;
            add("size argument of 0", sized.replace(open + 1, close - open - 1, "0"));
        }
    }
    {
        // The index of the first port index at a bond.
        std::string indexed = text;
        const std::size_t open = indexed.find("`p[", indexed.find("connections"));
        if (open != std::string::npos)
            add("port index beyond the ports", indexed.replace(open + 3, 1, "9"));
    }

    // Records garbled, doubled or out of their place.
    add("name flag garbled", [&] {
        std::string damaged = text;
        const std::size_t flag = damaged.find("!T");
        return flag == std::string::npos ? damaged : damaged.replace(flag, 2, "!X");
    }());
    add("main graphics without numbers", onLine(graphics, [](std::vector<std::string>& p) { p.resize(1); }));
    {
        std::vector<std::string> changed = lines;
        changed.insert(changed.begin() + long(graphics), lines[graphics]);
        add("main graphics twice", joinLines(changed));
        changed = lines;
        changed.insert(changed.begin() + long(connections), lines[connections]);
        add("connections line twice", joinLines(changed));
        changed = lines;
        changed.insert(changed.begin() + long(firstBond), "   ");
        add("a line of blanks among the bonds", joinLines(changed));
        changed = lines;
        changed.push_back("extra");
        add("a word after the last bond", joinLines(changed));
        changed = lines;
        changed[firstType] += " \\";
        add("a line continued into the next", joinLines(changed));
    }
    add("line ends of carriage return and line feed", [&] {
        std::string damaged;
        for (char c : text)
            damaged += c == '\n' ? std::string("\r\n") : std::string(1, c);
        return damaged;
    }());
    add("empty", "");

    // One line of each kind stands for all of its kind: the header, the graphics record, every
    // line of the interface, the first and the last type line, the connections line and the first
    // and the last bond.
    std::vector<std::size_t> kinds = {header, graphics};
    if (const std::size_t interface = lineStarting(lines, "interface"); interface < subclasses)
        for (std::size_t i = interface; i < subclasses; ++i)
            kinds.push_back(i);
    for (std::size_t line : {subclasses, firstType, connections - 1, connections, firstBond, lastBond})
        if (std::find(kinds.begin(), kinds.end(), line) == kinds.end())
            kinds.push_back(line);
    std::vector<std::size_t> starts(lines.size() + 1, 0);
    for (std::size_t i = 0; i < lines.size(); ++i)
        starts[i + 1] = starts[i] + lines[i].size() + 1;

    for (std::size_t i : kinds) {
        const std::string line = std::to_string(i + 1);
        // Cut short at the line's start and in its middle. Cut right after the connections line,
        // the text is a model without connections, as the editor writes one.
        if (i != firstBond)
            add("cut before line " + line, text.substr(0, starts[i]));
        add("cut inside line " + line, text.substr(0, starts[i] + lines[i].size() / 2));

        // A stray character at its start and at its end.
        std::vector<std::string> changed = lines;
        changed[i] = "$" + lines[i];
        add("a stray character starting line " + line, joinLines(changed));
        changed[i] = lines[i] + " ?";
        add("a stray character ending line " + line, joinLines(changed));

        // Its first numbers (those after them are of the same fields) replaced in turn by numbers
        // out of the range of their fields: a version of more than one digit, sizes and arguments
        // of 0 and beyond what a quantity may have, negative numbers where no sign belongs.
        const auto isWord = [](char c) {
            return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
                   c == '\'' || c == '.';
        };
        int numbers = 0;
        for (std::size_t at = 0; at < lines[i].size() && numbers < 3;) {
            const std::string& l = lines[i];
            if (l[at] < '0' || l[at] > '9' || (at > 0 && isWord(l[at - 1]))) {
                ++at;
                continue;
            }
            std::size_t end = at;
            while (end < l.size() && l[end] >= '0' && l[end] <= '9')
                ++end;
            if (end == l.size() || !isWord(l[end]) ? ++numbers : 0)
                for (const char* value : {"0", "2147483647", "-1"})
                    add("the number " + l.substr(at, end - at) + " of line " + line + " at " + std::to_string(at) +
                            " as " + value,
                        text.substr(0, starts[i] + at) + value + text.substr(starts[i] + end));
            at = end;
        }
    }

    // Names too long: a model or type name of eight characters, an instance name of the longest
    // token and of one more.
    add("a model name of eight characters", [&] {
        std::vector<std::string> changed = lines;
        std::vector<std::string> pieces = piecesOf(changed[header]);
        if (pieces.size() >= 3)
            pieces[2] = " abcdefgh";
        changed[header] = joined(pieces);
        return joinLines(changed);
    }());
    add("a type name of eight characters", onLine(firstType, [](std::vector<std::string>& p) {
            if (!p.empty())
                p[0].replace(p[0].find_first_not_of(" \t"), 0, "abcdefg");
        }));
    for (std::size_t length : {std::size_t(511), std::size_t(512)})
        add("an instance name of " + std::to_string(length) + " characters", onLine(firstType, [&](std::vector<std::string>& p) {
                if (p.size() >= 2)
                    p[1] = " " + std::string(length, 'n');
            }));

    // Binary bytes.
    const std::size_t middle = text.find('\n', text.size() / 2);
    add("a NUL in the middle", text.substr(0, middle) + '\0' + text.substr(middle));
    add("a NUL first", '\0' + text);
    add("a NUL before the connections", text.substr(0, text.find("connections")) + '\0' + text.substr(text.find("connections")));
    add("text after a NUL at the end", text + '\0' + "garbage\n");
    add("a NUL and a line end at the end", text + '\0' + "\n");
    add("bytes above 127 in a name", text.substr(0, text.find("`p")) + "\xff\xfe" + text.substr(text.find("`p")));
    add("control bytes in a line", text.substr(0, middle) + " \x01\x02\x7f" + text.substr(middle));
    add("carriage returns alone", [&] {
        std::string damaged = text;
        for (char& c : damaged)
            if (c == '\n')
                c = '\r';
        return damaged;
    }());
    return files;
}

/// The whole file, or an empty text when it cannot be read.
inline std::string readAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

/// The damaged copies of every bundled model in the folder, and of the submodel of every kind of record.
inline std::vector<DamagedFile> damagedModels(const std::string& modelsDirectory)
{
    std::vector<DamagedFile> files;
    for (const char* source : kSources) {
        std::vector<DamagedFile> some = damage(source, readAll(modelsDirectory + "/" + source));
        files.insert(files.end(), some.begin(), some.end());
    }
    std::vector<DamagedFile> rich = damage("rich1.sg0", kRichModel);
    files.insert(files.end(), rich.begin(), rich.end());
    return files;
}

/// What the model processor made of one file.
struct ProcessorVerdict {
    int parsed = 0;    ///< 0 read whole
    int processed = 0; ///< the result of processing it as far as asked (3 processed completely)
    std::string error; ///< the parse's first error
};

/// Runs the processor's reading (the program `reads`) over the files, each in a folder of its own,
/// with the model directories `modelDirectories`, and processes what it reads as far as `depth`
/// (3 reads only).
inline std::vector<ProcessorVerdict> processorVerdicts(const std::string& reads, int depth,
                                                       const std::string& modelDirectories,
                                                       const std::vector<std::string>& files)
{
    std::vector<ProcessorVerdict> verdicts;
    if (files.empty())
        return verdicts;
    std::string command = "'" + reads + "' -depth " + std::to_string(depth) + " '" + modelDirectories + "'";
    for (const std::string& file : files)
        command += " '" + file + "'";
    FILE* out = popen(command.c_str(), "r");
    if (!out)
        return verdicts;
    char line[4096];
    while (std::fgets(line, sizeof line, out)) {
        std::istringstream fields(line);
        ProcessorVerdict verdict;
        fields >> verdict.parsed >> verdict.processed;
        std::getline(fields >> std::ws, verdict.error);
        verdicts.push_back(verdict);
    }
    pclose(out);
    return verdicts;
}

} // namespace damagedfiles
