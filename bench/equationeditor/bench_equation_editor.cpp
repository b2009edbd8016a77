// The equation editor on a model of 20,000 lines in its real main window
// (offscreen): opening the model file into the edit control, the three-stage
// check, the checked save alone and the Save command (check, then save).
#include "bench/generated_equation_model.h"
#include "equationeditor/main_window.h"
#include "equationeditor/model_check.h"
#include "equationeditor/model_commands.h"

#include "common/settings_table.h"
#include "common/startup.h"
#include "platform/core/file_system.h"
#include "platform/core/message_sink.h"
#include "platform/qt/application.h"

#include <benchmark/benchmark.h>

#include <QPlainTextEdit>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <unistd.h>

namespace {

/// The editor's window on a private model directory holding the generated model as gen1.mff.
struct Editor {
    Editor()
    {
        char pattern[] = "/tmp/orvanta-bench-ee.XXXXXX";
        directory = mkdtemp(pattern);
        models = directory + "/models";
        std::filesystem::create_directories(models);
        const std::string settings = directory + "/orvanta.ini";
        platform::writeFileAtomically(settings, "[General]\nmodel_dirs=" + models +
                                                    "\n[Equation Editor]\nee_messages=0\n[Model Processor]\nmessages=0\n");
        text = generatedEquationModel(10000);
        platform::writeFileAtomically(models + "/gen1.mff", text + std::string(1, '\0'));
        window = std::make_unique<TQNEEWindow>(std::vector<std::string>{"PROGRAM.EXE", "-rc_file", settings});
        window->show();
        window->SetupWindow();
        Startup().WorkingDirectory = directory;
    }
    ~Editor()
    {
        EquationEditor().edited = false;
        window.reset();
        std::filesystem::remove_all(directory);
    }
    std::string directory, models, text;
    std::unique_ptr<TQNEEWindow> window;
};

Editor* g_editor = nullptr;

void OpenModel(benchmark::State& state)
{
    for (auto _ : state) {
        EquationEditor().edited = false;
        if (openModelByName(g_editor->models, "gen1") != 1 || g_editor->window->editLineCount() < 20000)
            state.SkipWithError("the model did not open");
    }
    state.counters["lines"] = g_editor->window->editLineCount();
}

void CheckModel(benchmark::State& state)
{
    for (auto _ : state)
        if (ffcheck("gen1") != 3)
            state.SkipWithError("the model did not check clean");
}

void SaveCheckedModel(benchmark::State& state)
{
    EquationEditor().lastCheckLevel = 3;
    EquationEditor().mainModel = 1;
    for (auto _ : state)
        if (saveChecked(g_editor->models, "gen1") != 1)
            state.SkipWithError("the model was not saved");
}

void SaveCommandOfModel(benchmark::State& state)
{
    for (auto _ : state) {
        SaveCommand();
        if (!platform::fileExists(g_editor->models + "/gen1.mf3"))
            state.SkipWithError("the model was not saved");
    }
}

} // namespace

BENCHMARK(OpenModel)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(CheckModel)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(SaveCheckedModel)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(SaveCommandOfModel)->Unit(benchmark::kMillisecond)->MinTime(2.0);

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    platform::Application application(argc, argv);
    platform::SilentMessageSink silent;
    platform::setMessageSink(&silent);
    benchmark::Initialize(&argc, argv);
    {
        Editor editor;
        g_editor = &editor;
        benchmark::RunSpecifiedBenchmarks();
        g_editor = nullptr;
    }
    benchmark::Shutdown();
    platform::setMessageSink(nullptr);
    return 0;
}
