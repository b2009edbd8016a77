// A deterministic text dump of a class record, for tests and diagnostics.
#pragma once

#include <string>

struct ClassRec;
struct ExprNode;

/// Every section, connection and equation of the class, one item per line.
std::string dumpClass(const ClassRec* cls);

/// The expression fully parenthesised, with names, selectors and indices.
std::string dumpExpression(const ExprNode* expr);
