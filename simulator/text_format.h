// Texts made with a printf format, as the simulator's messages and files are written.
#pragma once

#include <algorithm>
#include <cstdio>
#include <string>

/// The text `form` prints with the arguments.
template <class... Args>
std::string FormatText(const char* form, Args... args)
{
    const int length = std::snprintf(nullptr, 0, form, args...);
    std::string text(std::size_t(std::max(length, 0)) + 1, '\0');
    std::snprintf(text.data(), text.size(), form, args...);
    text.resize(std::size_t(std::max(length, 0)));
    return text;
}
