// Rewriting of model file extensions and the top-level test.
#include "modelproc/extension_rewrite.h"

#include "modelproc/model_records.h"

#include <algorithm>

std::string& ttchange_extension(std::string& path, const std::string& code)
{
    std::size_t slash = path.rfind('/');
    std::size_t start = slash == std::string::npos ? 0 : slash + 1;
    std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || dot < start || code.empty())
        return path;
    std::size_t ext = dot + 1;
    std::size_t length = path.size() - ext;
    char first = code[0];
    if (first == '+' || first == '-' || first == '?') {
        // A status code needs all three extension letters; a shorter extension is no model file.
        if (length < 3)
            return path;
        if (first == '+')
            path[ext] = 'm';
        else if (first == '-')
            path[ext] = 's';
        if (code.size() >= 2)
            path[ext + 2] = code[1];
        else
            path.erase(ext + 2);
        return path;
    }
    std::string letters = code.substr(0, 3);
    if (letters.size() < 3)
        path.erase(ext);
    else
        path.erase(ext, std::min<std::size_t>(length, 3));
    path.insert(ext, letters);
    return path;
}

int is_top_level(const ClassRec* cls)
{
    if (!cls)
        return 0;
    return cls->ports.empty() && cls->inputs.empty() && cls->outputs.empty() ? 1 : 0;
}
