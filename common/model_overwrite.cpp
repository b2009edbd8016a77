// The question before a save overwrites a model: a submodel names its users,
// which a graph model's subclasses section lists by type name and version.
#include "common/model_overwrite.h"

#include "common/text_helpers.h"
#include "platform/core/file_system.h"

#include <algorithm>

namespace {

// The room for the users' names: lines of at most this many characters, at most this many lines.
constexpr std::size_t kUserLineWidth = 56;
constexpr std::size_t kUserLines = 4;

/// The extension of a path, without its dot and in lower case; empty when it has none.
std::string extensionOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    const std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return {};
    return platform::toLower(path.substr(dot + 1));
}

/// A graph model file of the suite: ".mgg", ".sgg" or a status variant ".mg0" to ".sg3".
bool isGraphModelFile(const std::string& extension)
{
    return extension.size() == 3 && (extension[0] == 'm' || extension[0] == 's') && extension[1] == 'g' &&
           (extension[2] == 'g' || (extension[2] >= '0' && extension[2] <= '3'));
}

/// True when the subclasses section of the model text has a type line headed "<type>;<version>".
bool namesSubmodelType(std::string_view text, std::string_view header)
{
    bool inSubclasses = false;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        const std::vector<std::string> words = splitWords(line);
        if (words.empty())
            continue;
        if (!inSubclasses) {
            inSubclasses = words.front() == "subclasses";
            continue;
        }
        // A section keyword ends the types; the connections follow them.
        if (words.front().find(';') == std::string::npos) {
            if (words.front() == "connections")
                return false;
            continue;
        }
        if (platform::equalsNoCase(words.front(), header))
            return true;
    }
    return false;
}

/// "a, b, c" in lines of the width given; the names that find no room are counted in a last line.
std::vector<std::string> nameLines(const std::vector<std::string>& names)
{
    std::vector<std::string> lines;
    std::size_t shown = 0;
    for (; shown < names.size(); ++shown) {
        const std::string piece = names[shown] + (shown + 1 < names.size() ? "," : ".");
        if (!lines.empty() && lines.back().size() + 1 + piece.size() <= kUserLineWidth) {
            lines.back() += " " + piece;
            continue;
        }
        if (lines.size() == kUserLines)
            break;
        lines.push_back(piece);
    }
    if (shown < names.size()) {
        lines.back().back() = ',';
        lines.push_back("and " + std::to_string(names.size() - shown) + " more.");
    }
    return lines;
}

} // namespace

std::vector<std::string> ModelsUsingSubmodel(const std::string& directory, const std::string& name)
{
    std::vector<std::string> users;
    if (name.size() < 2 || name.back() < '0' || name.back() > '9')
        return users;
    // The writer cuts a type's name to 10 characters in its header.
    const std::string header = name.substr(0, std::min<std::size_t>(name.size() - 1, 10)) + ";" + name.back();
    const std::optional<std::vector<std::string>> files = platform::listDirectory(directory);
    if (!files)
        return users;
    for (const std::string& file : *files) {
        if (!isGraphModelFile(extensionOf(file)))
            continue;
        const std::string model = platform::toLower(file.substr(0, file.size() - 4));
        if (platform::equalsNoCase(model, name) || std::find(users.begin(), users.end(), model) != users.end())
            continue;
        const std::optional<std::string> text = platform::readFile(platform::joinPath(directory, file));
        if (text && namesSubmodelType(*text, header))
            users.push_back(model);
    }
    std::sort(users.begin(), users.end());
    return users;
}

std::vector<std::string> ModelOverwriteQuestion(const std::string& directory, const std::string& name,
                                                const std::vector<std::string>& found)
{
    if (found.empty())
        return {};
    // A submodel among the files decides the words: replacing it is what the user must know of.
    auto submodel = std::find_if(found.begin(), found.end(), [](const std::string& path) {
        const std::string extension = extensionOf(path);
        return !extension.empty() && extension[0] == 's';
    });
    const std::string& decisive = submodel != found.end() ? *submodel : found.front();
    const std::string extension = extensionOf(decisive);
    const std::string form = extension.size() > 1 && extension[1] == 'g' ? "graph" : "equation";
    if (submodel == found.end())
        return {"Model exists as " + form + " model. OK to overwrite?"};
    std::vector<std::string> lines = {"Model exists as " + form + " submodel."};
    const std::vector<std::string> users = ModelsUsingSubmodel(directory, name);
    if (users.empty()) {
        lines.push_back("No model of its directory uses it.");
    } else {
        lines.push_back(users.size() == 1 ? "This model of its directory uses it:"
                                          : "These models of its directory use it:");
        for (std::string& line : nameLines(users))
            lines.push_back(std::move(line));
    }
    lines.push_back("OK to overwrite?");
    return lines;
}
