// Data tables read from numeric text files for the `tab` and `inp` instructions:
// a window of at most 256 rows over a file of any length, one table per file name.
#pragma once

#include <array>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

/// Rows held in a table's window.
inline constexpr int DataTableWindow = 256;

/// One table file with the window of rows read last.
struct DataTable {
    std::string fileName;                  ///< as the model gave it
    int columnCount = 0;                   ///< numbers on the first line; column 0 is x
    std::int64_t rowsRead = 0;             ///< rows read from the file since it was opened
    std::array<std::vector<double>, DataTableWindow> ring; ///< row r lives in slot r % 256
    double firstX = 0.0;                   ///< x of the file's first row
    std::FILE* file = nullptr;             ///< open while rows remain unread
    bool exhausted = false;                ///< the whole file has been read since the last rewind

    DataTable() = default;
    DataTable(const DataTable&) = delete;
    DataTable& operator=(const DataTable&) = delete;
    ~DataTable();

    /// Rows in the window, at most 256.
    int windowRows() const;
    /// Row i of the window, oldest first.
    const std::vector<double>& row(int i) const;
};

/// The directory and model name that table file names without a '/' are relative to.
void SetDataTableLocation(const std::string& experimentDirectory, const std::string& modelName);

/// The model whose experiment folder holds the tables named without a '/': the folder of
/// its name in the experiment directory of the settings (or the one set above). Loading a
/// model sets it.
void SetDataTableModel(const std::string& modelName);

/// The path a table file name is opened at.
std::string DataTablePath(const std::string& fileName);

/// Value of column `column` (1 = first value column) at x; 1 on success, 0 after a message.
int TableLookup(DataTable& table, double x, int column, double& value);

/// Finds or adds the table of the file name and looks the value up.
int TableFileLookup(const std::string& fileName, int column, double x, double& value);

/// Deletes every table; the next lookup reads its file afresh.
void ClearTableFileCache();

/// Number of tables in the cache.
int TableFileCacheSize();
