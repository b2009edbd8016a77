// Checks the parser runs while it builds: declarations, dimensions, indices and ranges,
// restrictions, name references and calls; integer evaluation and expression copy.
#pragma once

#include "modelproc/model_records.h"

#include <cstdint>
#include <string>

/// Flag bit of an expression that depends on class arguments whose values are not known yet.
constexpr std::int32_t EXPR_ARGDEPENDENT = 2;

/// The refusal of `what` with the sizes `dim` (and `where`, as " of submodel x1:a") when its known
/// sizes make more elements than one quantity may have (`elementBounds`); empty when they do
/// not.
std::string elementBoundRefusal(const std::string& what, const ExprList& dim, const std::string& where = {});

/// The word a message puts before a name of `kind`: "port ", "variable ", ...; empty for others.
const char* quantityWord(int kind);

/// Declares a name of `kind` with its dimensions and type, making its record in the class;
/// the record, or null for kinds that declare nothing and on failure.
SectionLink* declareName(ClassRec* cls, int kind, const std::string& name, ExprList dim, int type);

/// Declares a subclass instance of the type `typeName` version `typeVersion`.
SubclassRec* declareSubclass(ClassRec* cls, const std::string& name, ExprList args, ExprList dim,
                             const std::string& typeName, int typeVersion);

/// A causality restriction; 0 after reporting "illegal causality restriction.".
/// `restriction` is TK_FIXED, TK_PREFERRED, TK_CONSTRAINT or TK_INDIFFERENT; `code` a
/// restriction code (1 effort, 2 flow, 3 equal, 4 notequal, 5 1_effort, 6 1_flow, 7 same).
int causalityRestriction(int restriction, PortRec* port, int code, PortRec* other);

/// An orientation restriction: every one is accepted; a fixed direction (`direction` 1 out, 2 in)
/// is kept on the port, so that expansion can warn about a bond that runs against it.
void orientationRestriction(int restriction, PortRec* port, int direction);

/// A reference to a declared name after the selector and index checks; null on failure.
ExprNode* nameReference(ClassRec* cls, int selector, SectionLink* record, int kind, ExprList index);

/// A call of a built-in function after the kind and arity checks; null on failure.
ExprNode* functionCall(const std::string& name, int kind, const ExprList& args);

/// The integer value of an expression of integer constants, known class arguments,
/// + - * div and prefix signs; errors are reported and give 0.
std::int32_t tt_eval_expr(const ExprNode* expr);

/// As `tt_eval_expr`, telling whether the value could be had: false after an error was reported.
bool evaluateInteger(const ExprNode* expr, std::int32_t& value);

/// What an expression copy remembers.
struct ExprCopyContext {
    ExprNode* lastName = nullptr; ///< the last name reference copied
};

/// A deep copy of an expression; null on failure.
ExprNode* ttcopy_1_expr(const ExprNode* expr, ExprCopyContext* context);
