// Test support: the permission bits bind while the capabilities that bypass them are dropped
// from the effective set. They stay in the permitted set, so they can be taken back.
#include "platform/testing/permissions.h"

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace testsupport {

namespace {

constexpr unsigned kBypass = (1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH) | (1u << CAP_FOWNER);

bool readCapabilities(__user_cap_data_struct (&data)[2])
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    return ::syscall(SYS_capget, &header, data) == 0;
}

bool writeCapabilities(__user_cap_data_struct (&data)[2])
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    return ::syscall(SYS_capset, &header, data) == 0;
}

} // namespace

ScopedOrdinaryPermissions::ScopedOrdinaryPermissions()
{
    __user_cap_data_struct data[2] = {};
    if (!readCapabilities(data))
        return;
    m_savedEffective[0] = data[0].effective;
    m_savedEffective[1] = data[1].effective;
    if ((data[0].effective & kBypass) == 0) {
        m_binding = true;
        return;
    }
    data[0].effective &= ~kBypass;
    m_dropped = writeCapabilities(data);
    m_binding = m_dropped;
}

ScopedOrdinaryPermissions::~ScopedOrdinaryPermissions()
{
    if (!m_dropped)
        return;
    __user_cap_data_struct data[2] = {};
    if (!readCapabilities(data))
        return;
    data[0].effective = m_savedEffective[0];
    data[1].effective = m_savedEffective[1];
    writeCapabilities(data);
}

} // namespace testsupport
