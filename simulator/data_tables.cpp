// Data tables: the column count of a table file, the streamed 256-row window
// and linear interpolation and extrapolation over it.
#include "simulator/data_tables.h"

#include "common/message_boxes.h"
#include "common/startup.h"
#include "platform/core/file_system.h"

#include <cctype>
#include <cstdlib>
#include <new>

namespace {

std::vector<std::unique_ptr<DataTable>> g_tables;
std::string g_directory;
std::string g_modelName;
bool g_locationSet = false;

void closeFile(DataTable& table)
{
    if (table.file) {
        std::fclose(table.file);
        table.file = nullptr;
    }
}

bool openFile(DataTable& table)
{
    int error = 0;
    table.file = platform::openRegularFile(DataTablePath(table.fileName), &error);
    if (!table.file) {
        // A device or a pipe would be read without end, or waited on.
        if (platform::isRefusedFile(error))
            ShowMessage({"Error opening file :", table.fileName, platform::fileErrorText(error)});
        else
            ShowMessage({"Error opening file :", table.fileName});
        return false;
    }
    return true;
}

/// Reads the first line's numbers; 0 after a message when the file holds none.
bool countColumns(DataTable& table)
{
    if (!openFile(table))
        return false;
    double first = 0.0;
    if (std::fscanf(table.file, "%lg", &first) != 1) {
        closeFile(table);
        ShowMessage({"Table file holds no numbers :", table.fileName});
        return false;
    }
    std::string rest;
    for (int c = std::fgetc(table.file); c != EOF && c != '\n'; c = std::fgetc(table.file))
        rest += char(c);
    int count = 0;
    std::size_t i = 0;
    while (i < rest.size()) {
        while (i < rest.size() && std::isspace(static_cast<unsigned char>(rest[i])))
            ++i;
        if (i >= rest.size())
            break;
        const std::size_t start = i;
        while (i < rest.size() && !std::isspace(static_cast<unsigned char>(rest[i])))
            ++i;
        const std::string word = rest.substr(start, i - start);
        char* end = nullptr;
        std::strtod(word.c_str(), &end);
        if (end != word.c_str())
            ++count;
    }
    table.columnCount = 1 + count;
    closeFile(table);
    return true;
}

/// Reads the value columns of a row whose x was read; false when one is missing.
bool readRow(DataTable& table, double x)
{
    std::vector<double>& slot = table.ring[std::size_t(table.rowsRead % DataTableWindow)];
    slot.assign(std::size_t(table.columnCount), 0.0);
    slot[0] = x;
    for (int c = 1; c < table.columnCount; ++c)
        if (std::fscanf(table.file, "%lg", &slot[std::size_t(c)]) != 1)
            return false;
    if (table.rowsRead == 0)
        table.firstX = x;
    ++table.rowsRead;
    return true;
}

/// Reads rows up to the first whose x reaches `x`, then reads ahead.
bool FillWindow(DataTable& table, double x)
{
    if (!table.file) {
        if (table.exhausted)
            return true;
        if (!openFile(table))
            return false;
    }
    double nextX = 0.0;
    bool reached = false;
    while (!reached) {
        if (std::fscanf(table.file, "%lg", &nextX) != 1) {
            closeFile(table);
            table.exhausted = true;
            return true;
        }
        reached = !(nextX < x);
        if (!readRow(table, nextX))
            return false;
    }
    std::int64_t ahead = table.rowsRead < 255 ? DataTableWindow - table.rowsRead : 128;
    for (; ahead > 0; --ahead) {
        if (std::fscanf(table.file, "%lg", &nextX) != 1) {
            closeFile(table);
            table.exhausted = true;
            break;
        }
        if (!readRow(table, nextX))
            return false;
    }
    return true;
}

void rewind(DataTable& table)
{
    closeFile(table);
    table.rowsRead = 0;
    table.exhausted = false;
}

bool EnsureWindow(DataTable& table, double x)
{
    if (table.columnCount == 0 && !countColumns(table))
        return false;
    const int n = table.windowRows();
    if ((n == 0 || x > table.row(n - 1)[0]) && !FillWindow(table, x))
        return false;
    if (table.windowRows() == 0) {
        ShowMessage({"Table file holds no numbers :", table.fileName});
        return false;
    }
    if (x >= table.row(0)[0] || table.rowsRead <= DataTableWindow)
        return true;
    rewind(table);
    return FillWindow(table, x);
}

/// Interpolates between rows p and q at x; false when their x are equal and their values differ.
bool between(const std::vector<double>& p, const std::vector<double>& q, int c, double x, double& value)
{
    if (q[0] == p[0]) {
        if (q[std::size_t(c)] != p[std::size_t(c)])
            return false;
        value = q[std::size_t(c)];
        return true;
    }
    value = p[std::size_t(c)] + (q[std::size_t(c)] - p[std::size_t(c)]) * (x - p[0]) / (q[0] - p[0]);
    return true;
}

} // namespace

DataTable::~DataTable() { closeFile(*this); }

int DataTable::windowRows() const
{
    return int(rowsRead < DataTableWindow ? rowsRead : DataTableWindow);
}

const std::vector<double>& DataTable::row(int i) const
{
    const std::int64_t first = rowsRead - windowRows();
    return ring[std::size_t((first + i) % DataTableWindow)];
}

void SetDataTableLocation(const std::string& experimentDirectory, const std::string& modelName)
{
    g_directory = experimentDirectory;
    g_modelName = modelName;
    g_locationSet = true;
}

void SetDataTableModel(const std::string& modelName) { g_modelName = modelName; }

std::string DataTablePath(const std::string& fileName)
{
    if (fileName.find('/') != std::string::npos)
        return fileName;
    const std::string& directory = g_locationSet ? g_directory : Startup().ExperimentDirectory;
    const std::string inModelsFolder = platform::joinPath(platform::joinPath(directory, g_modelName), fileName);
    // Earlier versions read such a file from the experiment directory itself: a table kept there
    // is still found when the model's folder has none of that name.
    if (!g_modelName.empty() && !platform::fileExists(inModelsFolder)) {
        const std::string inDirectory = platform::joinPath(directory, fileName);
        if (platform::fileExists(inDirectory))
            return inDirectory;
    }
    return inModelsFolder;
}

int TableLookup(DataTable& table, double x, int column, double& value)
{
    if (column < 1) {
        ShowMessage({"Column of table must be 1 or more"});
        return 0;
    }
    if (!EnsureWindow(table, x))
        return 0;
    if (column >= table.columnCount) {
        ShowMessage({"Row size of table is smaller than desired"});
        return 0;
    }
    const int n = table.windowRows();
    const int c = column;
    const std::vector<double>& r0 = table.row(0);
    if (n == 1) {
        value = r0[std::size_t(c)];
        return 1;
    }
    const std::vector<double>& r1 = table.row(1);
    if (x < r0[0]) {
        if (r1[0] != r0[0]) {
            value = r0[std::size_t(c)] - (r1[std::size_t(c)] - r0[std::size_t(c)]) * (r0[0] - x) / (r1[0] - r0[0]);
            return 1;
        }
        if (r0[std::size_t(c)] == r1[std::size_t(c)]) {
            value = r0[std::size_t(c)];
            return 1;
        }
        ShowMessage({"Error: First entries in table equal but columns are different."});
        return 0;
    }
    const std::vector<double>& last = table.row(n - 1);
    if (x > last[0]) {
        const std::vector<double>& before = table.row(n - 2);
        if (last[0] != before[0]) {
            value = last[std::size_t(c)] + (last[std::size_t(c)] - before[std::size_t(c)]) * (x - last[0]) / (last[0] - before[0]);
            return 1;
        }
        if (last[std::size_t(c)] == before[std::size_t(c)]) {
            value = last[std::size_t(c)];
            return 1;
        }
        ShowMessage({"Error: Last entries in table equal but columns are different."});
        return 0;
    }
    if (r1[0] <= x) {
        int k = 1;
        while (k < n - 1 && table.row(k)[0] < x)
            ++k;
        if (between(table.row(k - 1), table.row(k), c, x, value))
            return 1;
        ShowMessage({"Error: Entries in table equal but columns are different."});
        return 0;
    }
    if (between(r0, r1, c, x, value))
        return 1;
    ShowMessage({"Error: First in table equal but columns are different."});
    return 0;
}

int TableFileLookup(const std::string& fileName, int column, double x, double& value)
{
    DataTable* table = nullptr;
    for (const auto& t : g_tables)
        if (t->fileName == fileName) {
            table = t.get();
            break;
        }
    if (!table) {
        try {
            g_tables.push_back(std::make_unique<DataTable>());
        } catch (const std::bad_alloc&) {
            ShowMessage({"error opening file"});
            return 0;
        }
        table = g_tables.back().get();
        table->fileName = fileName;
    }
    return TableLookup(*table, x, column, value);
}

void ClearTableFileCache() { g_tables.clear(); }

int TableFileCacheSize() { return int(g_tables.size()); }
