// The templates of the generated files and the filling of their named placeholders.
#pragma once

#include <map>
#include <string>
#include <string_view>

/// The text of a template by its file name ("xxmodel.c"); empty for an unknown name.
std::string_view TemplateText(std::string_view name);

/// Fills every "<<<name>>>" of the template with its value. A placeholder alone on
/// its line (after blanks) takes the whole line: its value is a run of complete lines,
/// and an empty value leaves no line. False, with the name in `missing`, when a
/// placeholder has no value.
bool FillTemplate(std::string_view text, const std::map<std::string, std::string>& values, std::string& out,
                  std::string* missing = nullptr);
