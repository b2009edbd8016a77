// The numbers the suite reads from its files and its fields, read as the C library
// reads them but refused when they cannot be what they are kept in: a real that is
// not finite ("nan", "inf") or too large for a double ("1e400"), an integer beyond the
// 32 bits that the files and the editors give it. Every reader of numbers goes through
// these, so that a number refused in a dialog is refused in a file as well; the lines
// that tell of a word refused in a file are made here too.
#pragma once

#include <string>
#include <vector>

/// The real at the start of the text as strtod reads it (blanks, a sign, digits, a point,
/// an exponent, and what else strtod takes): the end of what was read, or `text` itself when
/// no number starts there or the number is not finite. A number too small for a double reads
/// as (nearly) 0, which is what it means.
const char* ReadLeadingReal(const char* text, double& value);

/// The integer at the start of the text as strtoll reads it in the base (0: taken from its
/// prefix), within the range of a 32-bit integer: the end of what was read, or `text` when
/// no integer starts there or it does not fit.
const char* ReadLeadingInteger(const char* text, long long& value, int base = 10);

/// The whole word as a finite decimal real: no blanks around it, no hexadecimal form.
bool ReadFiniteReal(const std::string& word, double& value);

/// The whole word as a decimal integer (a sign allowed) that fits in 32 bits.
bool ReadInteger32(const std::string& word, int& value);

/// Why a word was refused where a number of that kind stands, for the message that names it.
inline constexpr const char* kRealRefusal = "a finite number is meant here";
inline constexpr const char* kIntegerRefusal = "an integer within range is meant here";

/// The lines of a read error in a file: the heading, the file, the place ("error in line
/// %d: %s." with the token's text, or "error at end of line %d." when there is none) and
/// the reason when one is given.
std::vector<std::string> ReadErrorLines(const std::string& heading, const std::string& file, int line,
                                        const std::string* token, const char* reason);
