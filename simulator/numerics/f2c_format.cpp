// Fortran formatted internal writes through libf2c's internal-file I/O (s_wsfi, do_fio, e_wsfi).
// f2c.h defines macros (abs, min, max, ...) that clash with C++ headers, so it is included last
// and only here.
#include "simulator/numerics/f2c_format.h"

#include <vector>

extern "C" {
#include <f2c.h>
integer s_wsfi(icilist *);
integer do_fio(ftnint *, char *, ftnlen);
integer e_wsfi(void);
}

namespace numerics {

namespace {

std::string writeOne(const char *format, char *item, ftnlen itemLength, int width)
{
    std::vector<char> field(static_cast<std::size_t>(width > 0 ? width : 1), ' ');
    icilist unit{};
    unit.icierr = 1; // report errors instead of ending the process
    unit.iciunit = field.data();
    unit.icirlen = static_cast<ftnint>(field.size());
    unit.icirnum = 1;
    unit.icifmt = const_cast<char *>(format);
    ftnint count = 1;
    if (s_wsfi(&unit) != 0 || do_fio(&count, item, itemLength) != 0 || e_wsfi() != 0)
        return std::string(field.size(), '*');
    return std::string(field.data(), field.size());
}

} // namespace

std::string fortranWriteInteger(const char *format, long value, int width)
{
    integer item = static_cast<integer>(value);
    return writeOne(format, reinterpret_cast<char *>(&item), sizeof item, width);
}

std::string fortranWriteDouble(const char *format, double value, int width)
{
    doublereal item = value;
    return writeOne(format, reinterpret_cast<char *>(&item), sizeof item, width);
}

} // namespace numerics
