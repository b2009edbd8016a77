// The simulator's stiff method on CVODE.
//
// Method: CVODE's variable-order BDF with Newton iteration on a dense matrix whose Jacobian
// CVODE forms by difference quotients; scalar relative and absolute tolerances; CV_ONE_STEP mode
// so that each call returns after one internal step. Given a sparse structure, the matrix is a
// SUNDIALS sparse matrix factored by SUNDIALS' KLU solver instead, and its Jacobian is formed
// here by differences of column groups, with the increments of CVODE's own banded differences.
// SUNDIALS 6 replaces the older interface (CVodeMalloc, CVDense) by a context, CVodeInit,
// CVodeSStolerances and a dense linear solver object, with the same meaning. Result flags are mapped to the older numbering, which the
// simulator's stiff method reacts to.
//
// CVODE's first step clones the matrix (its saved Jacobian) and, in this version, does
// not survive a clone that cannot be allocated. The integrator therefore allocates a matrix of
// the same size at the start, where a failure is reported, and frees it just before that first
// step, so that the clone finds the room it needs.
#include "simulator/numerics/cvode_adapter.h"

#include "simulator/numerics/sparse_jacobian.h"
#include "simulator/numerics/subnormals.h"

#include <cvode/cvode.h>
#include <nvector/nvector_serial.h>
#include <sundials/sundials_context.h>
#include <sunlinsol/sunlinsol_dense.h>
#include <sunlinsol/sunlinsol_klu.h>
#include <sunmatrix/sunmatrix_dense.h>
#include <sunmatrix/sunmatrix_sparse.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>

namespace numerics {

namespace {

/// Calls the caller's derivative routine with the plain arrays of CVODE's vectors.
int derivativeBridge(sunrealtype t, N_Vector y, N_Vector ydot, void *data)
{
    const auto *callback = static_cast<const VodeCallback *>(data);
    callback->f(callback->n, t, N_VGetArrayPointer(y), N_VGetArrayPointer(ydot),
                callback->userData);
    return 0;
}

/// The Jacobian by groups of structurally independent columns. CVODE zeroes the matrix, its
/// structure included, before each call, so the structure is written every time.
int sparseJacobianBridge(sunrealtype t, N_Vector y, N_Vector fy, SUNMatrix jacobian, void *data, N_Vector tmp1,
                         N_Vector tmp2, N_Vector tmp3)
{
    auto *callback = static_cast<VodeCallback *>(data);
    const SparsePattern &pattern = callback->sparse->pattern();
    const ColumnGroups &groups = callback->sparse->groups();
    const int n = callback->n;
    std::copy(pattern.columnStart.begin(), pattern.columnStart.end(), SUNSparseMatrix_IndexPointers(jacobian));
    std::copy(pattern.rows.begin(), pattern.rows.end(), SUNSparseMatrix_IndexValues(jacobian));
    double *values = SUNSparseMatrix_Data(jacobian);

    // Increments: max(sqrt(uround) |y_j|, minimum / w_j), the minimum from the weighted norm of f.
    N_Vector increments = tmp3;
    if (CVodeGetErrWeights(callback->memory, increments) != CV_SUCCESS)
        return -1;
    sunrealtype h = 0.0;
    CVodeGetCurrentStep(callback->memory, &h);
    const double fnorm = N_VWrmsNorm(fy, increments);
    const double minimum = fnorm != 0.0 ? 1000.0 * std::fabs(h) * DBL_EPSILON * n * fnorm : 1.0;
    const double srur = std::sqrt(DBL_EPSILON);
    const double *yv = N_VGetArrayPointer(y);
    double *inc = N_VGetArrayPointer(increments);
    double *ytemp = N_VGetArrayPointer(tmp1);
    double *ftemp = N_VGetArrayPointer(tmp2);
    for (int j = 0; j < n; ++j) {
        const double step = std::max(srur * std::fabs(yv[j]), minimum / inc[j]);
        inc[j] = (yv[j] + step) - yv[j];
        ytemp[j] = yv[j];
    }
    for (int g = 0; g < groups.count(); ++g) {
        const int *first = groups.columns.data() + groups.start[std::size_t(g)];
        const int *last = groups.columns.data() + groups.start[std::size_t(g) + 1];
        for (const int *c = first; c != last; ++c)
            ytemp[*c] = yv[*c] + inc[*c];
        callback->f(n, t, ytemp, ftemp, callback->userData);
        ++callback->jacobianDerivativeEvaluations;
        for (const int *c = first; c != last; ++c)
            ytemp[*c] = yv[*c];
        storeGroupDifferences(pattern, groups, g, inc, N_VGetArrayPointer(fy), ftemp, values);
    }
    return 0;
}

} // namespace

int vodeResultFromCvode(int cvodeFlag)
{
    switch (cvodeFlag) {
    case CV_SUCCESS:
    case CV_TSTOP_RETURN:
    case CV_ROOT_RETURN:
    case CV_WARNING:
        return VodeSuccess;
    case CV_MEM_NULL:
    case CV_MEM_FAIL:
        return VodeNoMemory;
    case CV_ILL_INPUT:
    case CV_NO_MALLOC:
    case CV_TOO_CLOSE:
    case CV_BAD_T:
        return VodeIllegalInput;
    case CV_TOO_MUCH_WORK:
        return VodeTooMuchWork;
    case CV_TOO_MUCH_ACC:
        return VodeTooMuchAccuracy;
    case CV_ERR_FAILURE:
        return VodeErrorTestFailure;
    case CV_CONV_FAILURE:
        return VodeConvergenceFailure;
    case CV_LINIT_FAIL:
    case CV_LSETUP_FAIL:
        return VodeSetupFailure;
    case CV_LSOLVE_FAIL:
        return VodeSolveFailure;
    default:
        return VodeOtherFailure;
    }
}

VodeIntegrator::~VodeIntegrator()
{
    release();
}

void VodeIntegrator::release()
{
    if (m_memory != nullptr)
        CVodeFree(&m_memory);
    if (m_linearSolver != nullptr)
        SUNLinSolFree(static_cast<SUNLinearSolver>(m_linearSolver));
    if (m_matrix != nullptr)
        SUNMatDestroy(static_cast<SUNMatrix>(m_matrix));
    if (m_reserve != nullptr)
        SUNMatDestroy(static_cast<SUNMatrix>(m_reserve));
    if (m_state != nullptr)
        N_VDestroy(static_cast<N_Vector>(m_state));
    if (m_context != nullptr) {
        auto context = static_cast<SUNContext>(m_context);
        SUNContext_Free(&context);
    }
    m_memory = m_linearSolver = m_matrix = m_reserve = m_state = m_context = nullptr;
    m_callback = VodeCallback{};
    m_n = 0;
}

int VodeIntegrator::start(int n, VodeDerivative f, void *userData, double t0, const double *y0,
                          const VodeSettings &settings)
{
    release();
    if (n < 1 || f == nullptr || settings.relativeTolerance < 0.0 ||
        settings.absoluteTolerance < 0.0)
        return VodeIllegalInput;

    SUNContext context = nullptr;
    if (SUNContext_Create(nullptr, &context) != 0)
        return VodeNoMemory;
    m_context = context;
    N_Vector state = N_VNew_Serial(n, context);
    if (state == nullptr) {
        release();
        return VodeNoMemory;
    }
    m_state = state;
    double *data = N_VGetArrayPointer(state);
    for (int i = 0; i < n; ++i)
        data[i] = y0[i];

    void *memory = CVodeCreate(CV_BDF, context);
    if (memory == nullptr) {
        release();
        return VodeNoMemory;
    }
    m_memory = memory;
    CVodeSetErrFile(memory, stdout);

    m_callback = VodeCallback{f, userData, n};
    m_n = n;

    int flag = CVodeInit(memory, derivativeBridge, t0, state);
    if (flag == CV_SUCCESS)
        flag = CVodeSStolerances(memory, settings.relativeTolerance, settings.absoluteTolerance);
    if (flag == CV_SUCCESS)
        flag = CVodeSetUserData(memory, &m_callback);
    if (flag == CV_SUCCESS && settings.initialStep != 0.0)
        flag = CVodeSetInitStep(memory, settings.initialStep);
    if (flag == CV_SUCCESS)
        flag = CVodeSetMaxStep(memory, settings.maximumStep);
    if (flag != CV_SUCCESS) {
        release();
        return vodeResultFromCvode(flag);
    }

    const SparseJacobian *sparse = settings.sparse;
    if (sparse != nullptr && sparse->pattern().n != n) {
        release();
        return VodeIllegalInput;
    }
    const sunindextype nonzeros = sparse ? sunindextype(sparse->pattern().nonzeros()) : 0;
    auto newMatrix = [&]() {
        return sparse ? SUNSparseMatrix(n, n, nonzeros, CSC_MAT, context) : SUNDenseMatrix(n, n, context);
    };
    SUNMatrix matrix = newMatrix();
    SUNLinearSolver solver = matrix == nullptr ? nullptr
                             : sparse          ? SUNLinSol_KLU(state, matrix, context)
                                               : SUNLinSol_Dense(state, matrix, context);
    m_matrix = matrix;
    m_linearSolver = solver;
    if (solver == nullptr) {
        release();
        return VodeNoMemory;
    }
    // Dense: no Jacobian routine, CVODE forms it by difference quotients. Sparse: ours.
    flag = CVodeSetLinearSolver(memory, solver, matrix);
    if (flag == CVLS_SUCCESS && sparse) {
        // AMD, as the DAE integrator's KLU orders: better than KLU's column ordering on the
        // symmetric structures of networks and grids.
        SUNLinSol_KLUSetOrdering(solver, 0);
        m_callback.sparse = sparse;
        m_callback.memory = memory;
        flag = CVodeSetJacFn(memory, sparseJacobianBridge);
    }
    if (flag == CVLS_MEM_FAIL) {
        release();
        return VodeNoMemory;
    }
    if (flag != CV_SUCCESS) {
        release();
        return VodeSetupFailure;
    }
    m_reserve = newMatrix();
    if (m_reserve == nullptr) {
        release();
        return VodeNoMemory;
    }
    return VodeSuccess;
}

int VodeIntegrator::step(double tout, double &t, double *y)
{
    if (m_memory == nullptr)
        return VodeNoMemory;
    auto state = static_cast<N_Vector>(m_state);
    double *data = N_VGetArrayPointer(state);
    for (int i = 0; i < m_n; ++i)
        data[i] = y[i];
    if (m_reserve != nullptr) {
        SUNMatDestroy(static_cast<SUNMatrix>(m_reserve));
        m_reserve = nullptr;
    }
    sunrealtype reached = t;
    const SubnormalsAsZero flushed(m_callback.sparse != nullptr);
    const int flag = CVode(m_memory, tout, state, &reached, CV_ONE_STEP);
    for (int i = 0; i < m_n; ++i)
        y[i] = data[i];
    t = reached;
    return vodeResultFromCvode(flag);
}

int VodeIntegrator::setStopTime(double tStop)
{
    if (m_memory == nullptr)
        return VodeNoMemory;
    return vodeResultFromCvode(CVodeSetStopTime(m_memory, tStop));
}

int VodeIntegrator::valueAt(double t, double *y) const
{
    if (m_memory == nullptr)
        return VodeNoMemory;
    N_Vector out = N_VMake_Serial(m_n, y, static_cast<SUNContext>(m_context));
    if (out == nullptr)
        return VodeNoMemory;
    const int flag = CVodeGetDky(m_memory, t, 0, out);
    N_VDestroy(out);
    return vodeResultFromCvode(flag);
}

long VodeIntegrator::steps() const
{
    long value = 0;
    if (m_memory != nullptr)
        CVodeGetNumSteps(m_memory, &value);
    return value;
}

long VodeIntegrator::derivativeEvaluations() const
{
    long value = 0;
    long forJacobian = 0;
    if (m_memory != nullptr) {
        CVodeGetNumRhsEvals(m_memory, &value);
        CVodeGetNumLinRhsEvals(m_memory, &forJacobian);
    }
    return value + forJacobian + m_callback.jacobianDerivativeEvaluations;
}

long VodeIntegrator::jacobianEvaluations() const
{
    long value = 0;
    if (m_memory != nullptr)
        CVodeGetNumJacEvals(m_memory, &value);
    return value;
}

} // namespace numerics
