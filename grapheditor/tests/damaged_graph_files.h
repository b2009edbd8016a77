// Damaged copies of the bundled graph models, made the same way every time: cut
// short, lines cut out or doubled, tokens swapped, garbled or replaced by numbers out
// of range, records missing, and binary bytes put in.
#pragma once

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace damagedfiles {

struct DamagedFile {
    std::string fileName; ///< the name of the model file it damages ("msd1.mg0")
    std::string how;      ///< what was done to it, for the test's messages
    std::string text;
};

/// The bundled graph models that are damaged.
inline const char* const kSources[] = {"msd1.mg0", "rlc1.mg0", "gears1.mg0", "mload1.mg0", "dcm1.sg0", "qcar1.mg0"};

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

    // Binary bytes.
    const std::size_t middle = text.find('\n', text.size() / 2);
    add("a NUL in the middle", text.substr(0, middle) + '\0' + text.substr(middle));
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

/// The damaged copies of every bundled model in the folder.
inline std::vector<DamagedFile> damagedModels(const std::string& modelsDirectory)
{
    std::vector<DamagedFile> files;
    for (const char* source : kSources) {
        std::vector<DamagedFile> some = damage(source, readAll(modelsDirectory + "/" + source));
        files.insert(files.end(), some.begin(), some.end());
    }
    return files;
}

} // namespace damagedfiles
