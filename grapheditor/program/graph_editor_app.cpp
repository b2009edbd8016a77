// The graph editor's start and run.
#include "grapheditor/program/graph_editor_app.h"

#include "grapheditor/program/main_window.h"

#include "platform/qt/application.h"

TQNBGEApp::TQNBGEApp(platform::Application& application, std::vector<std::string> words)
    : m_application(application), m_words(std::move(words))
{
}

TQNBGEApp::~TQNBGEApp() = default;

bool TQNBGEApp::InitMainWindow()
{
    m_window = std::make_unique<TQNBGEWindow>(m_words);
    m_window->show();
    if (!m_window->SetupWindow()) {
        m_window.reset();
        return false;
    }
    return true;
}

int TQNBGEApp::Run()
{
    if (!InitMainWindow())
        return 0;
    return m_application.exec();
}
