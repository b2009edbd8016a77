// The template writer: a class written back as Keldor text after expansion (".t1") and
// after causal analysis (".t2", which the graph editor reads back).
#pragma once

#include "modelproc/model_records.h"

#include <cstdint>
#include <string>

struct ExprNode;

/// The flags bit of a call node whose arguments mode 3 writes as "!(", "!," and "!)".
constexpr std::int32_t EXPR_MARKED_CALL = 2;

/// The Keldor text of an expression: mode 1 is the form of the model processor's messages,
/// mode 3 the other writing mode ("**", "!.e", upper-case function names); the text stops
/// growing before it would reach 1024 characters.
std::string expressionText(const ExprNode* node, int mode);

/// The index list of a reference in `mode`: "[a,b]" in mode 1, nothing in mode 3, "??" when
/// the text would reach 1024 characters or holds a node that cannot be written.
std::string indexListText(const ExprList& list, int mode);

/// The Keldor text of an index or dimension list: "[a,b..c]"; empty for none; "??" when the
/// text would pass 1023 characters or holds an unknown node.
std::string indexListText(const ExprList& list);

/// The template text of the class.
std::string templateText(const ClassRec* cls);

/// Writes the template of the class to directory/file: 1, or 0 after reporting the failure.
int ttwrite_template(ClassRec* cls, const std::string& file, const std::string& directory);
