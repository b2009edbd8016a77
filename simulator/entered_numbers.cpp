// The numbers of the dialogs' fields, read as the files' numbers are.
#include "simulator/entered_numbers.h"

#include "common/message_boxes.h"
#include "common/number_words.h"

namespace {

/// Whole-text reading: false with the rest when something is left or nothing was read.
template <class Number, class Read>
bool readWhole(const std::string& text, Number& value, std::string* rest, Read read)
{
    const char* start = text.c_str();
    Number number{};
    const char* end = read(start, number);
    if (end == start || *end != '\0') {
        if (rest)
            *rest = end == start ? text : std::string(end);
        return false;
    }
    value = number;
    return true;
}

const char* leadingReal(const char* text, double& value)
{
    return ReadLeadingReal(text, value);
}

const char* anyBase(const char* text, long long& value)
{
    return ReadLeadingInteger(text, value, 0);
}

} // namespace

bool ReadEnteredReal(const std::string& text, double& value, std::string* rest)
{
    return readWhole(text, value, rest, leadingReal);
}

bool ReadEnteredInteger(const std::string& text, long long& value, std::string* rest)
{
    return readWhole(text, value, rest, anyBase);
}

bool ReadLeadingReal(const std::string& text, double& value)
{
    return ReadLeadingReal(text.c_str(), value) != text.c_str();
}

bool ReadLeadingInteger(const std::string& text, int& value)
{
    long long read = 0;
    if (ReadLeadingInteger(text.c_str(), read) == text.c_str())
        return false;
    value = int(read);
    return true;
}

void ShowEnteredValueError(const std::string& rest)
{
    ShowMessage({"Error in entered value at:", rest, "Try again..."});
}
