/* A user function library for the tests: the four life-cycle entries count their
   calls, and `gain` multiplies its inputs by 2 (failing on an empty input). */
#include <stddef.h>

static int s_calls[4];

void Initialize(void) { ++s_calls[0]; }
void InitializeRun(void) { ++s_calls[1]; }
void TerminateRun(void) { ++s_calls[2]; }
void Terminate(void) { ++s_calls[3]; }

/* The life-cycle counts, in the order above. */
const int* LifeCycleCalls(void) { return s_calls; }

int gain(double* inputs, int inputCount, double* outputs, int outputCount)
{
    if (inputCount < 1)
        return 1;
    for (int i = 0; i < outputCount; ++i)
        outputs[i] = 2.0 * inputs[i < inputCount ? i : inputCount - 1];
    return 0;
}
