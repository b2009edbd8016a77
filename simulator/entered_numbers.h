// The numbers the simulator's dialogs take from their fields, read as the C library reads
// them but refused when they fall outside what they are kept in: a real too large for a
// double ("1e400"), or not finite at all ("inf", "nan"), and an integer beyond the 32 bits
// that the experiment files and the editors give it, are refused as letters are.
#pragma once

#include <string>

/// The field's whole text as a finite decimal real. On failure `rest` (when given) is the
/// text from where the reading stopped, or all of it when its number is out of range.
bool ReadEnteredReal(const std::string& text, double& value, std::string* rest = nullptr);

/// The field's whole text as an integer with its base taken from its prefix (decimal, 0x
/// hexadecimal, leading 0 octal), within the range of a 32-bit integer; `rest` as above.
bool ReadEnteredInteger(const std::string& text, long long& value, std::string* rest = nullptr);

/// The real the text begins with (after blanks, what "%lg" reads), when there is one and it is finite.
bool ReadLeadingReal(const std::string& text, double& value);

/// The decimal integer the text begins with (what "%d" reads), when there is one and it fits.
bool ReadLeadingInteger(const std::string& text, int& value);

/// The refusal of a field's text: "Error in entered value at:", the rest, "Try again...".
void ShowEnteredValueError(const std::string& rest);
