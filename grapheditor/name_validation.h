// The checks the attribute editors share: names of submodels, PIOs and
// arguments, model names given in Save As, and size texts.
#pragma once

#include "grapheditor/integer_expressions.h"

#include <functional>
#include <string>

/// Receives the text of a refusal.
using NameErrorFunction = std::function<void(const std::string& text)>;

/// 1 when `name` may name `own` in the current model; else 0 after the error
/// function was given the reason. Besides the character rules, a name the model
/// file would read as a number or one of its words ("123", "1e5", "or", "E",
/// "connections") is refused, and so is a reserved word of the model language.
int ValidateName(const std::string& name, const void* own, const NameErrorFunction& error);

/// 1 when the name is one word of the model file (no number, no keyword) and
/// no reserved word; the name with its version digit is checked without it.
int ValidateModelBaseName(const std::string& modelName, const NameErrorFunction& error);

/// Parses and checks a size text: 0 and the list, or -1 after the error
/// function was called (the list is then empty). An unknown argument value
/// or an empty item is accepted; a negative size is not.
int CheckSizeText(const std::string& text, ExprList& list, const NameErrorFunction& error);
