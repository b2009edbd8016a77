// The processing commands, result codes and the processor's log window.
#include "common/processing_results.h"

#include "common/message_boxes.h"
#include "platform/core/message_numbers.h"
#include "platform/core/window_messages.h"

#include <array>

const char* ProcessingCommandText(int command)
{
    static constexpr std::array<const char*, 4> kNames = {"Checking Model", "Expansion", "Causal Analysis",
                                                          "Complete Processing"};
    return kNames[static_cast<std::size_t>(command < 0 ? 0 : command > 3 ? 3 : command)];
}

ProcessingResultMeaning MeaningOfProcessingResult(int result)
{
    switch (result) {
    case -3:
        return {false, "Generation of model equations failed."};
    case -2:
        return {false, "Causal analysis of model failed."};
    case -1:
        return {false, "Expansion of model failed."};
    case 0:
        return {false, "Loading of model failed."};
    case 1:
        return {true, "Expansion completed succesfully."};
    case 2:
        return {true, "Causal analysis completed succesfully."};
    case 3:
        return {true, "Model processing completed succesfully."};
    default:
        return {false, "Model processing failed for unknown reason."};
    }
}

void ShowProcessingFailure(const char* text)
{
    ShowMessage({text, "Further processing is not possible."});
}

void ProcessorLogHandle::close() const
{
    if (!closed())
        platform::postMessage(m_window, platform::WM_SYSCOMMAND, platform::SC_CLOSE, 0);
}

void ProcessorLogHandle::hide() const
{
    if (!closed())
        platform::requestHideWindow(m_window);
}

void ProcessorLogHandle::show() const
{
    if (!closed())
        platform::requestShowWindow(m_window);
}

bool ProcessorLogHandle::closed() const
{
    return m_window == 0 || !platform::isWindow(m_window);
}
