// The reserved words of the modelling language, against which model names and
// element names are checked.
#pragma once

#include <span>
#include <string_view>

/// The reserved words in table order (case matters).
std::span<const std::string_view> ReservedWords();

/// 1 when `name` equals a reserved word exactly, else 0. With `report` set a match
/// is also shown in a message box.
int IsReservedWord(std::string_view name, int report);
