// The mass chain and its Runge-Kutta run.
#include "mass_chain.h"

#include "simulator/interpreter.h"
#include "simulator/model_variables.h"
#include "simulator/run_state.h"

namespace masschain {

std::string codeText(int masses)
{
    const int states = 2 * masses;
    std::string text = "#Hclass\tchain\n#Hversion\t1\n#DParam \t3\n\t#real\tk\n\t#real\tc\n\t#real\tm\n";
    text += "#Dstate_ind\t" + std::to_string(states) + "\n";
    for (int i = 0; i < states; ++i)
        text += "\t#real\tx" + std::to_string(i) + "\n";
    text += "#DRate_ind\t" + std::to_string(states) + "\n";
    for (int i = 0; i < states; ++i)
        text += "\t#real\tdx" + std::to_string(i) + "\n";
    text += "#DUnnamed\t4\n\t#real\n\t#real\n\t#real\n\t#real\n";
    text += "#EInitial\t0\n#Einputs\t0\n#Edynamic\t" + std::to_string(8 * masses) + "\n";
    auto x = [](int i) { return "s" + std::to_string(i); };
    for (int i = 0; i < masses; ++i) {
        const std::string v = "s" + std::to_string(masses + i);
        text += "\tmov\tR" + std::to_string(i) + "\t" + v + "\n";
        text += i == 0 ? "\tinv\tU0\t" + x(i) + "\n" : "\tsub\tU0\t" + x(i - 1) + "\t" + x(i) + "\n";
        text += i == masses - 1 ? "\tinv\tU1\t" + x(i) + "\n" : "\tsub\tU1\t" + x(i + 1) + "\t" + x(i) + "\n";
        text += "\tadd\tU2\tU0\tU1\n\tmul\tU2\tU2\tP0\n";
        text += "\tmul\tU3\t" + v + "\tP1\n\tsub\tU2\tU2\tU3\n";
        text += "\tdiv\tR" + std::to_string(masses + i) + "\tU2\tP2\n";
    }
    return text + "#Eoutputs\t0\n";
}

void setUp(int masses)
{
    double* p = Variables().kinds[KindParameter].values;
    p[0] = 40.0;
    p[1] = 0.05;
    p[2] = 0.5;
    double* s = Variables().kinds[KindState].values;
    for (int i = 0; i < 2 * masses; ++i)
        s[i] = 0.0;
    s[0] = 1.0;
}

std::vector<double> run(int masses, int steps, double h)
{
    const int n = 2 * masses;
    double* s = Variables().kinds[KindState].values;
    const double* r = Variables().kinds[KindRate].values;
    std::vector<double> y(s, s + n), k1(n), k2(n), k3(n), k4(n);
    auto rates = [&](double t, const std::vector<double>& at, std::vector<double>& out) {
        for (int i = 0; i < n; ++i)
            s[i] = at[std::size_t(i)];
        EvaluateModel(t);
        out.assign(r, r + n);
    };
    std::vector<double> stage(n);
    double t = 0.0;
    for (int step = 0; step < steps; ++step) {
        rates(t, y, k1);
        for (int i = 0; i < n; ++i)
            stage[i] = y[i] + 0.5 * h * k1[i];
        rates(t + 0.5 * h, stage, k2);
        for (int i = 0; i < n; ++i)
            stage[i] = y[i] + 0.5 * h * k2[i];
        rates(t + 0.5 * h, stage, k3);
        for (int i = 0; i < n; ++i)
            stage[i] = y[i] + h * k3[i];
        rates(t + h, stage, k4);
        for (int i = 0; i < n; ++i)
            y[i] += h / 6.0 * (k1[i] + 2.0 * k2[i] + 2.0 * k3[i] + k4[i]);
        t = (step + 1) * h;
    }
    for (int i = 0; i < n; ++i)
        s[i] = y[std::size_t(i)];
    return y;
}

} // namespace masschain
