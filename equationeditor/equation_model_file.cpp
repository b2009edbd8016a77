// Reading and writing equation model files.
#include "equationeditor/equation_model_file.h"

#include "platform/core/file_system.h"

std::string EquationModelFileContent(std::string_view text)
{
    std::string content(text);
    if (content.empty() || content.back() != '\n')
        content += '\n';
    content += '\0';
    return content;
}

std::string EquationModelText(std::string_view content)
{
    content = content.substr(0, content.find('\0'));
    std::string text;
    text.reserve(content.size());
    for (std::size_t i = 0; i < content.size(); ++i) {
        if (content[i] == '\r' && i + 1 < content.size() && content[i + 1] == '\n')
            continue;
        text += content[i];
    }
    return text;
}

std::optional<std::string> ReadEquationModelFile(const std::string& path)
{
    std::optional<std::string> content = platform::readFile(path);
    if (!content)
        return std::nullopt;
    return EquationModelText(*content);
}

bool WriteEquationModelFile(const std::string& path, std::string_view text)
{
    return platform::writeFileAtomically(path, EquationModelFileContent(text));
}
