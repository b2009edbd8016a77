// The six integration methods: the start of a run, one step per call, the
// bridges through which the outside solvers reach the model, and the algebraic-loop start.
#pragma once

#include <functional>

/// What the methods hand to the run's output: one sample after each accepted step.
struct RunOutputHooks {
    std::function<int(int continuing)> prepare;  ///< before a run; 0 refuses it
    std::function<void()> step;                  ///< after the start and after each accepted step
    std::function<void()> ended;                 ///< when the run ends
    std::function<void()> abandoned;             ///< when the method could not start: nothing is kept
};

/// The output hooks of every run (none installed: the run writes nothing).
RunOutputHooks& RunOutput();

/// Calls the step hook when one is installed.
void StepOutput();

/// Copies the initial conditions into the states (no more than there are states) and
/// sets the time to the start time; 1.
int RestoreInitialStates();

/// Start of a run for the methods other than BDF; 0 when the run cannot start.
int StartIntegration(int continuing);
/// One step of those methods; sets `RunStopFlag` when the run must end.
void IntegrationStep();

/// Start of a BDF run; 0 when the run cannot start.
int BdfStart(int continuing);
/// One step of the BDF method.
void BdfStep();

/// Finds consistent values of the algebraic-loop variables; 1, or 0 after its message.
int SolveAlgebraicLoops();

/// Frees every method's workspace (the model is going away).
void ReleaseIntegrationWorkspaces();

/// Number of integrated components of the running method.
int IntegratedCount();

/// What the method has done since its run started: accepted steps, evaluations of the model
/// made for it (the stiff methods' difference-quotient Jacobians included) and Jacobians formed.
struct IntegrationCounters {
    long steps = 0;
    long derivativeEvaluations = 0;
    long jacobianEvaluations = 0;
};

/// The counters of the latest run.
IntegrationCounters MethodCounters();
