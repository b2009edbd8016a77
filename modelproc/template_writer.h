// The template writer: a class written back as Keldor text after expansion (".t1") and
// after causal analysis (".t2", which the graph editor reads back).
#pragma once

#include "modelproc/model_records.h"

#include <string>

/// The Keldor text of an index or dimension list: "[a,b..c]"; empty for none; "??" when the
/// text would pass 1023 characters or holds an unknown node.
std::string indexListText(const ExprList& list);

/// The template text of the class.
std::string templateText(const ClassRec* cls);

/// Writes the template of the class to directory/file: 1, or 0 after reporting the failure.
int ttwrite_template(ClassRec* cls, const std::string& file, const std::string& directory);
