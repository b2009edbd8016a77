// The suite's message and confirm boxes, with a settable owner window; every
// box goes through the platform's message sink.
#pragma once

#include "platform/core/window_handle.h"

#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

/// A message function: shows its lines (`ShowMessageLines` fits).
using MessageFunction = std::function<void(const std::vector<std::string>& lines)>;

/// A confirm function: two button labels and the lines; nonzero for OK
/// (`ShowConfirmLines` fits).
using ConfirmFunction = std::function<int(std::string_view label1, std::string_view label2,
                                          const std::vector<std::string>& lines)>;

/// Sets the default and the current owner; returns whether the window is set.
int SetMessageOwner(platform::WindowHandle window);

/// Sets the current owner when the window is set; returns it.
platform::WindowHandle SetTempMessageOwner(platform::WindowHandle window);

/// Current owner := default owner.
void RestoreMessageOwner();

/// The owner the next box gets.
platform::WindowHandle CurrentMessageOwner();

/// Shows the lines with the caption "Orvanta: Message".
void MessagePopup(const std::vector<std::string>& lines);

/// A message box of at most the first 8 lines.
void ShowMessage(std::initializer_list<std::string> lines);
void ShowMessageLines(const std::vector<std::string>& lines);

/// Asks with the caption "Orvanta: Confirm" and the buttons OK and Cancel (the
/// labels name what OK does but are not shown); 1 unless Cancel was pressed.
int ConfirmPopup(std::string_view label1, std::string_view label2,
                 const std::vector<std::string>& lines);

/// A confirm box of at most the first 8 lines.
int ShowConfirm(std::string_view label1, std::string_view label2,
                std::initializer_list<std::string> lines);
int ShowConfirmLines(std::string_view label1, std::string_view label2,
                     const std::vector<std::string>& lines);

/// Asks before something the user has is replaced, with the caption "Orvanta:
/// Confirm" and the buttons `keepLabel` (the default, as Enter and Escape) and
/// `replaceLabel`; 1 for the replacing one. Fits as a confirm function called
/// with ("Cancel", "Overwrite").
int ShowReplaceConfirmLines(std::string_view keepLabel, std::string_view replaceLabel,
                            const std::vector<std::string>& lines);

/// The report shown when a window cannot be created: a low-memory text when
/// free memory is below 50000 bytes, else a text that something is wrong.
void ShowWindowFailureReport();

/// 1 when the window object exists; else the failure report and 0.
template <class Window>
int ReportWindowFailure(Window* const& window)
{
    if (window)
        return 1;
    ShowWindowFailureReport();
    return 0;
}

/// 1 when the handle is set; else the failure report, the object is destroyed and 0.
template <class Window>
int CheckWindowHandle(platform::WindowHandle handle, Window*& window)
{
    if (handle)
        return 1;
    ShowWindowFailureReport();
    delete window;
    window = nullptr;
    return 0;
}
