// What a save that replaces a model's files tells the user first: the form and
// kind of the model replaced and, for a submodel, the models that use it.
#pragma once

#include <string>
#include <vector>

/// The graph models of the directory whose subclasses name the model `name`
/// (its name with its version digit) as a submodel type: their names, sorted,
/// each once, `name` itself left out.
std::vector<std::string> ModelsUsingSubmodel(const std::string& directory, const std::string& name);

/// The question asked before the model `name` of the directory, whose files
/// found are `found`, is overwritten: "Model exists as graph model. OK to
/// overwrite?" for a main model; for a submodel (any file found of one) the
/// form, then the models of the directory that use it, then "OK to overwrite?".
/// At most 8 lines.
std::vector<std::string> ModelOverwriteQuestion(const std::string& directory, const std::string& name,
                                                const std::vector<std::string>& found);
