// The submodel library: built-in names and the entries of the model directories.
#include "grapheditor/submodel_library.h"

#include "common/message_boxes.h"
#include "common/model_file_names.h"
#include "common/settings_table.h"
#include "common/text_helpers.h"
#include "platform/core/file_system.h"

#include <algorithm>

const std::array<const char*, kBuiltinCount> BuiltinNames = {
    "0j",      "1j",      "c",       "i",       "r",       "se",      "sf",      "tf",      "gy",
    "sgy",     "mr",      "mse",     "msf",     "mtf",     "mgy",     "2c",      "ic",      "2i",
    "mp_c",    "mp_i",    "mp_r",    "mp_tf",   "mp_gy",   "mp_mtf",  "mp_mgy",  "plus",    "minus",
    "gain",    "att",     "mul",     "divide",  "negate",  "intgrl",  "limintg", "resintg", "diff",
    "delay",   "tdelay",  "forder",  "sorder",  "limit",   "dead",    "relay",   "hyst",    "relhys",
    "backl",   "tabfile", "switch",  "sine",    "cosine",  "power",   "sqrsgn",  "sqt",     "sqrtsgn",
    "absolut", "signi",   "trunc",   "minim",   "maxim",   "stepgen", "cycloid", "rampgen", "pulsgen",
    "sinwave", "coswave", "frqwave", "triwave", "sqrwave", "sawwave", "randgen", "sweep",   "fileinp",
    "deltat",  "time",    "con",     "nop",     "display", "z",       "dissum",  "disint",  "ad",
    "da",      "strobe",  "latch",   "smplhld", "quantr",  "quantt",  "sample",  "p",       "pd",
    "pi",      "pid",     "leadlag", "inv",     "logand",  "nand",    "logor",   "nor",     "xor",
    "srfflop", "dfflop",  "tfflop",  "clock",   "clock1",  "dand",    "ddffkl",  "dinv",    "djkffkl",
    "dmem",    "dnand",   "dnor",    "dnxor",   "dor",     "dsrffkl", "dtribuf", "dxor",    "crite",
    "critet",  "critetu", "criteu",  "critne",  "critneu",
};

int builtin_index(std::string_view name)
{
    if (name.empty())
        return -2;
    for (int i = 0; i < kBuiltinCount; ++i)
        if (name == BuiltinNames[i])
            return i;
    return -1;
}

std::string type_name_text(std::string_view name, int version)
{
    std::string text(name.substr(0, 9));
    if (version != 0)
        text += std::to_string(version);
    return platform::toLower(text);
}

void SplitEntryText(std::string_view text, std::string& name, int& version)
{
    if (!text.empty() && text.back() >= '0' && text.back() <= '9') {
        version = text.back() - '0';
        name.assign(text.substr(0, text.size() - 1));
    } else {
        version = 0;
        name.assign(text);
    }
}

std::vector<std::vector<LibraryEntry>>& LibraryLists()
{
    static std::vector<std::vector<LibraryEntry>> lists;
    return lists;
}

namespace {

constexpr std::size_t kMaxEntryText = 18;

/// The lower-cased name up to its '.', and the position of the '.'.
std::string baseName(const std::string& file)
{
    return platform::toLower(file.substr(0, file.find('.')));
}

/// Built-in position of a base name (its version digit dropped), or the end of the list.
int builtinPosition(const std::string& base)
{
    int index = base.empty() ? -1 : builtin_index(base.substr(0, base.size() - 1));
    return index >= 0 ? index : kBuiltinCount;
}

/// Submodel status files: ".sf0"-".sf3" and ".sg0"-".sg3".
int isSubmodelFile(const std::string& file)
{
    const std::size_t dot = file.rfind('.');
    if (dot == std::string::npos || file.size() - dot != 4)
        return 0;
    const std::string ext = platform::toLower(file.substr(dot + 1));
    return ext[0] == 's' && (ext[1] == 'f' || ext[1] == 'g') && ext[2] >= '0' && ext[2] <= '3';
}

/// The model directories; none when the setting is empty.
std::vector<std::string> modelDirectories()
{
    const std::string& list = Settings().model_dirs;
    return list.empty() ? std::vector<std::string>{} : SplitPathList(list);
}

} // namespace

int read_library(int index)
{
    const std::vector<std::string> directories = modelDirectories();
    auto& lists = LibraryLists();
    if (lists.size() < directories.size())
        lists.resize(directories.size());
    if (index < 0 || static_cast<std::size_t>(index) >= directories.size())
        return 0;
    std::vector<LibraryEntry>& list = lists[index];
    list.clear();
    std::vector<std::string> files;
    auto byLibraryOrder = [](const std::string& a, const std::string& b) {
        const std::string baseA = baseName(a);
        const std::string baseB = baseName(b);
        const int positionA = builtinPosition(baseA);
        const int positionB = builtinPosition(baseB);
        if (positionA != positionB)
            return positionA < positionB ? -1 : 1;
        if (const int byBase = baseA.compare(baseB))
            return byBase;
        // Files of one base name in the order the model processor tries them.
        return CompareNames(a, b);
    };
    if (ScanDirectory(directories[index], files, isSubmodelFile, byLibraryOrder) < 0) {
        ShowMessage({"Directory read error."});
        return 0;
    }
    std::int64_t entryTime = 0;
    for (const std::string& file : files) {
        std::string text = baseName(file).substr(0, kMaxEntryText);
        const int equation = platform::toLower(file.substr(file.rfind('.') + 2, 1)) == "f";
        const std::int64_t time = platform::modificationTime(platform::joinPath(directories[index], file)).value_or(0);
        if (!list.empty() && list.back().text == text) {
            // A base name held as graph and as equation submodel is the youngest file's,
            // the one the model processor reads; at equal times the first it tries.
            if (time > entryTime) {
                list.back().equation = equation;
                entryTime = time;
            }
            continue;
        }
        LibraryEntry entry;
        entry.text = text;
        entry.builtinIndex = text.empty() ? -1 : builtin_index(text.substr(0, text.size() - 1));
        entry.equation = equation;
        entryTime = time;
        list.push_back(std::move(entry));
    }
    return 1;
}

void ReadAllLibraries()
{
    const std::size_t count = modelDirectories().size();
    LibraryLists().assign(count, {});
    for (std::size_t i = 1; i < count; ++i)
        read_library(static_cast<int>(i));
    if (count > 0)
        read_library(0);
}

int library_equation_flag(std::string_view name, int version)
{
    if (name.empty())
        return -2;
    const std::string text = type_name_text(name, version);
    for (const auto& list : LibraryLists())
        for (const LibraryEntry& entry : list)
            if (entry.text == text)
                return entry.equation;
    return -1;
}

void ResetLibraryCounters()
{
    for (auto& list : LibraryLists())
        for (LibraryEntry& entry : list)
            entry.counter = 0;
}
