// Test support for the editors' tests that go on into the real simulator: the
// simulator an editor started runs an experiment of its model to the result file,
// which is read back, and the curves the experiment stores.
#pragma once

#include "simulator/program/simulator_messages.h"

#include "platform/core/file_system.h"
#include "platform/core/program_start.h"
#include "platform/core/window_messages.h"
#include "platform/core/window_registry.h"
#include "platform/testing/temp_dir.h"

#include <QTest>

#include <bit>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace simrun {

/// A result file of the simulator: its header and its rows of time and values.
struct ResultFile {
    std::string model, experiment;
    std::vector<std::string> names;
    std::vector<std::vector<double>> rows;
};

/// Reads a result file: four header lines ("#Formatver 4", class and experiment,
/// the number of names, the names), then rows of little-endian doubles, the time
/// first, each row ended by one byte.
inline std::optional<ResultFile> readResultFile(const std::string& path)
{
    const std::string bytes = testsupport::readText(path);
    std::istringstream in(bytes);
    std::string word, formatver;
    int version = 0, count = 0;
    ResultFile file;
    if (!(in >> formatver >> version) || formatver != "#Formatver" || version != 4)
        return std::nullopt;
    if (!(in >> word >> file.model >> word >> file.experiment >> word >> count) || count < 0)
        return std::nullopt;
    in.ignore(1);
    for (int i = 0; i < count; ++i) {
        std::string name;
        std::getline(in, name);
        file.names.push_back(name);
    }
    std::size_t at = static_cast<std::size_t>(in.tellg());
    const std::size_t columns = static_cast<std::size_t>(count) + 1;
    while (at + columns * 8 + 1 <= bytes.size()) {
        std::vector<double> row;
        for (std::size_t c = 0; c < columns; ++c, at += 8) {
            std::uint64_t bits = 0;
            for (std::size_t k = 0; k < 8; ++k)
                bits |= std::uint64_t(static_cast<unsigned char>(bytes[at + k])) << (8 * k);
            row.push_back(std::bit_cast<double>(bits));
        }
        file.rows.push_back(std::move(row));
        ++at;
    }
    if (at != bytes.size())
        return std::nullopt;
    return file;
}

/// The variables whose curves an experiment's curve file (.u) stores, in its order.
inline std::vector<std::string> storedCurves(const std::string& plotSpecPath)
{
    std::istringstream in(testsupport::readText(plotSpecPath));
    std::vector<std::string> names;
    for (std::string line; std::getline(in, line);) {
        std::istringstream fields(line);
        std::string key, name;
        int fromFile = 0, index = 0, display = 0, store = 0;
        double min = 0, max = 0;
        if (fields >> key >> fromFile >> name >> min >> max >> index >> display >> store && key == "#Oyaxis" &&
            !fromFile && store)
            names.push_back(name);
    }
    return names;
}

/// Serves events until the condition holds; false after the time out.
inline bool serveUntil(const std::function<bool()>& condition, int timeoutMs)
{
    for (int waited = 0; !condition(); waited += 20) {
        if (waited >= timeoutMs)
            return false;
        QTest::qWait(20);
    }
    return true;
}

/// Waits for the simulator an editor starts, has it load the experiment from the model's
/// experiment directory and run it, reads the result file written there and closes the
/// simulator. Empty when all went well, else what failed.
inline std::string runExperiment(const std::string& experimentDirectory, const std::string& experiment,
                                 ResultFile& result)
{
    platform::WindowHandle simulator = 0;
    if (!serveUntil([&] { return (simulator = platform::findWindowByClass("TQNSIMWindow")) != 0; }, 60000))
        return "the simulator did not start";
    const pid_t pid = platform::windowProcess(simulator);
    const std::string path = experimentDirectory + "/" + experiment + ".n";
    std::string failure;
    if (!platform::postMessage(simulator, SM_OPEN_EXPERIMENT, 0, 0, experiment) ||
        !platform::postMessage(simulator, SM_COMMAND_BASE + 277, 0, 0)) // Start Simulation
        failure = "the simulator took no message";
    else if (!serveUntil([&] { return platform::fileExists(path); }, 60000))
        failure = "the run wrote no result file " + path;
    else if (const std::optional<ResultFile> read = readResultFile(path))
        result = *read;
    else
        failure = "the result file " + path + " cannot be read";
    platform::requestCloseWindow(simulator);
    if (!platform::waitForProgram(pid, 20000)) {
        ::kill(pid, SIGKILL);
        platform::waitForProgram(pid, 5000);
        if (failure.empty())
            failure = "the simulator did not end when its window was closed";
    }
    return failure;
}

/// What the run fails to show of the model: the result file of another model, curves other
/// than those the experiment's curve file stores, too few rows, values that are not finite, or
/// nothing but zeros.
inline std::vector<std::string> runFaults(const ResultFile& result, const std::string& model,
                                          const std::string& plotSpecPath)
{
    std::vector<std::string> faults;
    if (result.model != model)
        faults.push_back("the result file is of " + result.model);
    if (result.names != storedCurves(plotSpecPath))
        faults.push_back("the result file holds other curves than the experiment stores");
    if (result.rows.size() < 50)
        faults.push_back("only " + std::to_string(result.rows.size()) + " rows");
    bool moves = false;
    for (const std::vector<double>& row : result.rows)
        for (std::size_t column = 0; column < row.size(); ++column) {
            if (!std::isfinite(row[column])) {
                faults.push_back("a value is not finite at time " + std::to_string(row[0]));
                return faults;
            }
            moves = moves || (column > 0 && row[column] != 0);
        }
    if (!moves)
        faults.push_back("every value stays zero");
    return faults;
}

} // namespace simrun
