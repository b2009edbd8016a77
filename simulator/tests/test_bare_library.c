/* A user function library without any life-cycle entry: one function that sums its inputs. */
int total(double* inputs, int inputCount, double* outputs, int outputCount)
{
    double sum = 0.0;
    for (int i = 0; i < inputCount; ++i)
        sum += inputs[i];
    if (outputCount > 0)
        outputs[0] = sum;
    return 0;
}
