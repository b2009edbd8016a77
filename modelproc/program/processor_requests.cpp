// Transitions of the model processor's request state machine.
#include "modelproc/program/processor_requests.h"

void ProcessorRequests::send(int event)
{
    switch (m_state) {
    case kStart:
        if (event == kSetModel) {
            m_state = kModelBeingSet;
            if (m_actions.modelUsable && m_actions.modelUsable() && m_actions.setModel)
                m_actions.setModel();
            return;
        }
        break;
    case kModelBeingSet:
        if (event == kModelSet) {
            m_state = kReady;
            return;
        }
        break;
    case kReady:
        if (event == kModelSet)
            return;
        if (event == kProcess) {
            m_state = kProcessing;
            m_aborted = false;
            m_abortRequested = false;
            if (m_actions.processModelAndPost)
                m_actions.processModelAndPost();
            return;
        }
        break;
    case kProcessing:
        if (event == kAbort) {
            m_abortRequested = true;
            return;
        }
        if (event == kProcessed) {
            m_state = kReady;
            if (m_actions.diag)
                m_actions.diag("-------------- ready -------------");
            return;
        }
        break;
    default:
        break;
    }
    m_state = kRequestError;
}
