// Reading the interface of a submodel type from its file in the model
// directories, kept while that file is unchanged.
#pragma once

struct Submodel;
struct SubmodelType;

/// Reads the type's newest submodel file at the interface depth: 0 read (or the
/// held interface kept, with `useCached`, while the file and its time are the
/// same), -1 no file or not readable, -2 read with errors (after a message),
/// -4 the editor-conflict guard refused, -5 no type.
int read_submodel_type(SubmodelType* type, int useCached);

/// 1 when the submodel's type has no power port (its interface is read when
/// needed); 0 otherwise and when the type cannot be read.
int type_has_only_signals(Submodel& submodel);
