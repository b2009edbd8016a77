// Machine constants shared by the integrators.
//
// The integrators were tuned with one literal for the unit roundoff, returned for every selector;
// keeping the literal (not DBL_EPSILON) keeps their thresholds exactly as they were.
#include "simulator/numerics/machine_constants.h"

namespace numerics {

double D1MACH(const int *)
{
    return 2.22044604926e-16;
}

} // namespace numerics
