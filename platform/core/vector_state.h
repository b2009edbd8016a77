// The processor's wide vector registers after library code.
#pragma once

namespace platform {

/// Marks the upper halves of the wide vector registers unused. Drawing libraries
/// leave them in use; the scalar floating-point code that follows (the model's native
/// code, the integration methods) can then run several times slower. Costs one
/// instruction; nothing on processors without them.
void clearUpperVectorState();

} // namespace platform
