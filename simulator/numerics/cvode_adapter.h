// The simulator's stiff method on CVODE (SUNDIALS): BDF, Newton iteration with a dense
// difference-quotient Jacobian, or a sparse one formed by grouped differences and factored by
// KLU, scalar tolerances, one step per call.
#pragma once

namespace numerics {

class SparseJacobian;

/// Derivative dy/dt at (t, y) of an n-component system into ydot.
using VodeDerivative = void (*)(int n, double t, const double *y, double *ydot, void *userData);

/// Settings of a CVODE run; a zero initial step lets the solver choose it.
struct VodeSettings {
    double relativeTolerance = 1e-5;
    double absoluteTolerance = 1e-5;
    double initialStep = 0.0;
    double maximumStep = 1.797693e308;
    /// When set, the Jacobian's structure and column groups: the Newton matrix is sparse and
    /// factored by KLU (the structure must outlive the run); else it is dense.
    const SparseJacobian *sparse = nullptr;
};

/// Result codes of a step, in the numbering the simulator's stiff method reacts to.
enum VodeResult : int {
    VodeSuccess = 0,
    VodeNoMemory = -1,
    VodeIllegalInput = -2,
    VodeTooMuchWork = -3,
    VodeTooMuchAccuracy = -4,
    VodeErrorTestFailure = -5,
    VodeConvergenceFailure = -6,
    VodeSetupFailure = -7,
    VodeSolveFailure = -8,
    VodeOtherFailure = -99,
};

/// Maps a CVODE return flag to the simulator's result code.
int vodeResultFromCvode(int cvodeFlag);

/// The caller's derivative routine as CVODE's user data carries it.
struct VodeCallback {
    VodeDerivative f;
    void *userData;
    int n;
    const SparseJacobian *sparse = nullptr;
    void *memory = nullptr;             ///< CVODE's, for the weights and step of the differences
    long jacobianDerivativeEvaluations = 0;
};

/// One CVODE problem: created by start, advanced one internal step per call of step.
class VodeIntegrator {
public:
    VodeIntegrator() = default;
    ~VodeIntegrator();
    VodeIntegrator(const VodeIntegrator &) = delete;
    VodeIntegrator &operator=(const VodeIntegrator &) = delete;

    /// Frees any previous problem and starts a new one at (t0, y0); returns a VodeResult
    /// (VodeNoMemory when any of the solver's memory cannot be allocated).
    int start(int n, VodeDerivative f, void *userData, double t0, const double *y0,
              const VodeSettings &settings);

    /// Takes one internal step towards tout (it may pass tout); t and y receive the step's end.
    int step(double tout, double &t, double *y);

    /// Keeps every later step from passing tStop; the step that reaches it ends exactly there.
    int setStopTime(double tStop);

    /// Solution at a time inside the last step, from the solver's interpolating polynomial.
    int valueAt(double t, double *y) const;

    /// Releases the solver's memory and vector.
    void release();

    bool started() const { return m_memory != nullptr; }
    long steps() const;
    long derivativeEvaluations() const;
    long jacobianEvaluations() const;

private:
    void *m_context = nullptr;
    void *m_memory = nullptr;
    void *m_state = nullptr;
    void *m_matrix = nullptr;
    void *m_linearSolver = nullptr;
    void *m_reserve = nullptr; ///< room for the matrix copy CVODE makes at its first step
    VodeCallback m_callback{};
    int m_n = 0;
};

} // namespace numerics
