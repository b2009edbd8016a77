// Fortran formatted internal writes through the Fortran run-time library (libf2c),
// as the translated numerical routines make them.
#pragma once

#include <string>

namespace numerics {

/// Writes one integer with a Fortran format such as "(I8)" into a field of `width` characters.
std::string fortranWriteInteger(const char *format, long value, int width);

/// Writes one double with a Fortran format such as "(1PD15.6)" into a field of `width` characters.
std::string fortranWriteDouble(const char *format, double value, int width);

} // namespace numerics
