// The model processor's one call into the model processing pipeline.
#pragma once

#include <string>

/// Takes the model file through the processing phases up to the start-up's
/// processing depth; the result code: 3 processed, 2 after causal analysis,
/// 1 after expansion, 0 no model (or parse only), -1..-3 the phase that
/// failed. The name changes when the pipeline falls back to an older status file.
///
/// A model asked for by a name that no model's files can have (`givenName`, `ModelNameRefusal`),
/// or by a name for which no file was found, is reported by that name and the result is 0:
/// loading failed.
int RunModelProcessing(std::string& modelFile, const std::string& givenName);
