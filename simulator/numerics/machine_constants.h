// Machine constants shared by the integrators.
#pragma once

namespace numerics {

/// The unit roundoff 2.22044604926e-16, whatever the selector (the integrators ask for 4).
double D1MACH(const int *I);

} // namespace numerics
