// Release of model records: one operation per record kind, the release registry and
// the end-of-run release of everything a processing run made.
#pragma once

#include "modelproc/model_records.h"

#include <cstddef>

void releaseExpression(ExprNode* node);
void releaseExpressionList(ExprList& list);
void releaseVariable(VarRec* var);
void releaseEquation(EquationRec* eq);
/// Clears the connection's end at `node`; the record is released once both ends are empty.
void releaseConnectionEnd(ConnectionRec* conn, const SectionLink* node);
void releaseSubclass(SubclassRec* sub);
void releaseSubmodelType(SubmodelType* type);
void ttfree_class(ClassRec* cls);

/// Number of blocks handed to the registry since the last `release_all`.
std::size_t registeredReleaseCount();
/// Frees every block of the run (registered or not) and empties the registry; the number of
/// blocks that had been handed to it.
std::size_t release_all();
/// Frees every record of the graph arena and the bond arena at once: the subclasses,
/// connections, ports, ios and instance copies of the run, when the equations no longer reach
/// any of them.
void releaseGraphRecords();
/// Gives back the bonds of the run once the top class's connections are numbered, so that
/// reshaping and collection, which read the bond ends from the subclasses' tables, run without
/// them: the bonds leave the body's list and its subclasses' ends, the graph submodel types
/// (which have no users after expansion) are released, and the bond arena is cleared. Nothing
/// reached from the top class refers to a bond afterwards. False, and nothing given back, when a
/// graph submodel type still has a user.
bool releaseBondRecords(ClassRec* top);
