// The numbers of the dialogs' fields.
#include "simulator/entered_numbers.h"

#include "common/message_boxes.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>

namespace {

/// Reads the number at the start of the text with `convert` (strtod or strtoll); the end
/// of what it read, or the start when it read nothing or the number is out of range.
template <class Number, class Convert>
const char* readNumber(const char* start, Number& value, Convert convert, bool (*inRange)(Number))
{
    char* end = nullptr;
    errno = 0;
    const Number read = convert(start, &end);
    if (end == start || errno == ERANGE || !inRange(read))
        return start;
    value = read;
    return end;
}

bool finite(double v) { return std::isfinite(v); }
bool fitsInt(long long v) { return v >= INT_MIN && v <= INT_MAX; }

double toReal(const char* start, char** end)
{
    const double v = std::strtod(start, end);
    // A number too small for a double reads as (nearly) 0: that is what it means.
    if (errno == ERANGE && std::fabs(v) <= 1.0)
        errno = 0;
    return v;
}

long long toInteger(const char* start, char** end) { return std::strtoll(start, end, 0); }
long long toDecimal(const char* start, char** end) { return std::strtoll(start, end, 10); }

/// Whole-text reading: false with the rest when something is left or nothing was read.
template <class Number, class Convert>
bool readWhole(const std::string& text, Number& value, std::string* rest, Convert convert, bool (*inRange)(Number))
{
    const char* start = text.c_str();
    Number read{};
    const char* end = readNumber(start, read, convert, inRange);
    if (end == start || *end != '\0') {
        if (rest)
            *rest = end == start ? text : std::string(end);
        return false;
    }
    value = read;
    return true;
}

} // namespace

bool ReadEnteredReal(const std::string& text, double& value, std::string* rest)
{
    return readWhole(text, value, rest, toReal, finite);
}

bool ReadEnteredInteger(const std::string& text, long long& value, std::string* rest)
{
    return readWhole(text, value, rest, toInteger, fitsInt);
}

bool ReadLeadingReal(const std::string& text, double& value)
{
    return readNumber(text.c_str(), value, toReal, finite) != text.c_str();
}

bool ReadLeadingInteger(const std::string& text, int& value)
{
    long long read = 0;
    if (readNumber(text.c_str(), read, toDecimal, fitsInt) == text.c_str())
        return false;
    value = int(read);
    return true;
}

void ShowEnteredValueError(const std::string& rest)
{
    ShowMessage({"Error in entered value at:", rest, "Try again..."});
}
