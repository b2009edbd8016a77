// Message and confirm boxes through the platform's message sink.
#include "common/message_boxes.h"

#include "platform/core/message_sink.h"

#include <fstream>
#include <sstream>

namespace {

constexpr std::size_t MaxBoxLines = 8;

platform::WindowHandle g_defaultOwner = 0;
platform::WindowHandle g_currentOwner = 0;

std::vector<std::string> firstLines(std::vector<std::string> lines)
{
    if (lines.size() > MaxBoxLines)
        lines.resize(MaxBoxLines);
    return lines;
}

platform::MessageBoxRequest boxOf(platform::BoxKind kind, const std::vector<std::string>& lines)
{
    platform::MessageBoxRequest box;
    box.kind = kind;
    box.caption = kind == platform::BoxKind::Message ? "Orvanta: Message" : "Orvanta: Confirm";
    box.lines = lines;
    box.owner = g_currentOwner;
    return box;
}

platform::BoxAnswer showBox(platform::BoxKind kind, const std::vector<std::string>& lines)
{
    return platform::messageSink().show(boxOf(kind, lines));
}

/// Free physical memory plus free swap in bytes, from /proc/meminfo; none when unknown.
long long freeMemoryBytes()
{
    std::ifstream in("/proc/meminfo");
    if (!in)
        return -1;
    long long total = 0;
    bool found = false;
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string name;
        long long kilobytes = 0;
        fields >> name >> kilobytes;
        if (name == "MemAvailable:" || name == "SwapFree:") {
            total += kilobytes * 1024;
            found = true;
        }
    }
    return found ? total : -1;
}

} // namespace

int SetMessageOwner(platform::WindowHandle window)
{
    g_defaultOwner = window;
    g_currentOwner = window;
    return window != 0;
}

platform::WindowHandle SetTempMessageOwner(platform::WindowHandle window)
{
    if (window)
        g_currentOwner = window;
    return window;
}

void RestoreMessageOwner()
{
    g_currentOwner = g_defaultOwner;
}

platform::WindowHandle CurrentMessageOwner()
{
    return g_currentOwner;
}

void MessagePopup(const std::vector<std::string>& lines)
{
    showBox(platform::BoxKind::Message, lines);
}

void ShowMessage(std::initializer_list<std::string> lines)
{
    MessagePopup(firstLines(lines));
}

void ShowMessageLines(const std::vector<std::string>& lines)
{
    MessagePopup(firstLines(lines));
}

int ConfirmPopup(std::string_view, std::string_view, const std::vector<std::string>& lines)
{
    return showBox(platform::BoxKind::Confirm, lines) == platform::BoxAnswer::Cancel ? 0 : 1;
}

int ShowConfirm(std::string_view label1, std::string_view label2,
                std::initializer_list<std::string> lines)
{
    return ConfirmPopup(label1, label2, firstLines(lines));
}

int ShowConfirmLines(std::string_view label1, std::string_view label2,
                     const std::vector<std::string>& lines)
{
    return ConfirmPopup(label1, label2, firstLines(lines));
}

int ShowReplaceConfirmLines(std::string_view keepLabel, std::string_view replaceLabel,
                            const std::vector<std::string>& lines)
{
    platform::MessageBoxRequest box = boxOf(platform::BoxKind::Confirm, firstLines(lines));
    box.okLabel = std::string(replaceLabel);
    box.cancelLabel = std::string(keepLabel);
    box.cancelIsDefault = true;
    return platform::messageSink().show(box) == platform::BoxAnswer::Cancel ? 0 : 1;
}

void ShowWindowFailureReport()
{
    long long freeBytes = freeMemoryBytes();
    if (freeBytes < 0 || freeBytes >= 50000)
        ShowMessage({"Sorry, could not create another window!", "Something serious appears to be wrong.",
                     "Please close down all other applications", "and restart Microsoft Windows and your",
                     "Orvanta session again."});
    else
        ShowMessage({"Microsoft Windows is low on memory.", "Close one or more applications before",
                     "continuing the Orvanta session."});
}
