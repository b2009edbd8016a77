// The model processor's one call into the model processing pipeline.
#pragma once

#include <string>

/// Takes the model file through the processing phases up to the start-up's
/// processing depth; the result code: 3 processed, 2 after causal analysis,
/// 1 after expansion, 0 no model (or parse only), -1..-3 the phase that
/// failed. The name changes when the pipeline falls back to an older status file.
///
/// When no file was found for a model that was asked for by name (`givenName`), the missing
/// model is reported by that name and the result is 0: loading failed.
int RunModelProcessing(std::string& modelFile, const std::string& givenName);
