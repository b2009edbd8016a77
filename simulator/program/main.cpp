// orvantasim: the simulator.
#include "simulator/program/simulator_window.h"

#include "common/startup.h"
#include "platform/qt/application.h"

#include <string>

int main(int argc, char** argv)
{
    platform::Application application(argc, argv);
    std::string line;
    for (int i = 1; i < argc; ++i)
        line += (i > 1 ? " " : "") + std::string(argv[i]);
    TQNSIMApp simulator(application, SplitCommandLine(line));
    simulator.QuitOnTermination();
    return simulator.Run();
}
