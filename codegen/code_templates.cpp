// The template texts built into the library and the placeholder filler.
#include "codegen/code_templates.h"

namespace {

struct TemplateEntry {
    const char* name;
    const char* text;
};

const TemplateEntry kTemplates[] = {
#include "code_templates_data.inc"
};

constexpr std::string_view kOpen = "<<<";
constexpr std::string_view kClose = ">>>";

} // namespace

std::string_view TemplateText(std::string_view name)
{
    for (const TemplateEntry& entry : kTemplates)
        if (name == entry.name)
            return entry.text;
    return {};
}

bool FillTemplate(std::string_view text, const std::map<std::string, std::string>& values, std::string& out,
                  std::string* missing)
{
    out.clear();
    std::size_t position = 0;
    while (position < text.size()) {
        std::size_t lineEnd = text.find('\n', position);
        lineEnd = lineEnd == std::string_view::npos ? text.size() : lineEnd + 1;
        std::string_view line = text.substr(position, lineEnd - position);
        position = lineEnd;
        std::size_t open = line.find(kOpen);
        if (open == std::string_view::npos) {
            out += line;
            continue;
        }
        std::size_t close = line.find(kClose, open);
        const bool alone = line.find_first_not_of(" \t") == open && close != std::string_view::npos &&
                           line.find_first_not_of(" \t\n", close + kClose.size()) == std::string_view::npos;
        while (open != std::string_view::npos) {
            close = line.find(kClose, open);
            if (close == std::string_view::npos)
                break;
            const std::string name(line.substr(open + kOpen.size(), close - open - kOpen.size()));
            auto value = values.find(name);
            if (value == values.end()) {
                if (missing)
                    *missing = name;
                return false;
            }
            if (alone) {
                out += value->second;
                line = {};
                break;
            }
            out += line.substr(0, open);
            out += value->second;
            line = line.substr(close + kClose.size());
            open = line.find(kOpen);
        }
        out += line;
    }
    return true;
}
