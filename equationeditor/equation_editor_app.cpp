// The equation editor's start and run.
#include "equationeditor/equation_editor_app.h"

#include "equationeditor/main_window.h"

#include "platform/qt/application.h"

TQNEEApp::TQNEEApp(platform::Application& application, std::vector<std::string> words)
    : m_application(application), m_words(std::move(words))
{
}

TQNEEApp::~TQNEEApp() = default;

bool TQNEEApp::InitMainWindow()
{
    m_window = std::make_unique<TQNEEWindow>(m_words);
    m_window->show();
    if (!m_window->SetupWindow()) {
        m_window.reset();
        return false;
    }
    return true;
}

int TQNEEApp::Run()
{
    if (!InitMainWindow())
        return 0;
    return m_application.exec();
}
