// Beep and title flash through the desktop.
#include "platform/qt/alerts.h"

#include <QApplication>
#include <QWidget>

namespace platform {

namespace {

// How long the desktop marks a flashed window.
constexpr int kFlashMs = 1000;

AlertObserver& observer()
{
    static AlertObserver hook;
    return hook;
}

} // namespace

void beep(unsigned)
{
    if (observer())
        observer()(AlertKind::Beep, nullptr);
    QApplication::beep();
}

void flashWindow(QWidget* window, bool)
{
    if (!window)
        return;
    if (observer())
        observer()(AlertKind::Flash, window);
    QApplication::alert(window->window(), kFlashMs);
}

void setAlertObserver(AlertObserver hook)
{
    observer() = std::move(hook);
}

} // namespace platform
