// The model processor's request state machine: one call per event.
#pragma once

#include <functional>

/// States and events of a model processor's requests.
enum ProcessorState { kStart = 0, kModelBeingSet = 1, kReady = 2, kProcessing = 3, kRequestError = 4 };
enum ProcessorEvent { kSetModel = 1, kModelSet = 2, kProcess = 3, kAbort = 4, kProcessed = 5 };

/// Moves between the states on the events; an event a state does not expect
/// leads to the error state, which keeps every later event out.
class ProcessorRequests {
public:
    struct Actions {
        /// True when the model option is set and not empty and there are model directories.
        std::function<bool()> modelUsable;
        /// Looks the model up; sends kModelSet when done.
        std::function<void()> setModel;
        /// Runs the processing and posts the result; sends kProcessed when done.
        std::function<void()> processModelAndPost;
        /// The diagnostics hook.
        std::function<void(const char* text)> diag;
    };

    explicit ProcessorRequests(Actions actions) : m_actions(std::move(actions)) {}

    void send(int event);

    int state() const { return m_state; }
    bool aborted() const { return m_aborted; }
    bool abortRequested() const { return m_abortRequested; }

private:
    Actions m_actions;
    int m_state = kStart;
    bool m_aborted = false;
    bool m_abortRequested = false;
};
