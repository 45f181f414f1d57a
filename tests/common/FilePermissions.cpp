#include "FilePermissions.h"

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

constexpr unsigned Overrides = (1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH);
constexpr unsigned OwnerOverrides = (1u << CAP_CHOWN) | (1u << CAP_FOWNER);

// The calling thread's capabilities (pid 0 in the header means this thread).
bool capabilities(__user_cap_data_struct (&Data)[2])
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    return syscall(SYS_capget, &header, Data) == 0;
}

bool setCapabilities(__user_cap_data_struct (&Data)[2])
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    return syscall(SYS_capset, &header, Data) == 0;
}

} // namespace

FilePermissionsHold::FilePermissionsHold(bool Owners)
{
    const unsigned dropped = Overrides | (Owners ? OwnerOverrides : 0u);
    __user_cap_data_struct data[2] = {};
    if (!capabilities(data)) {
        m_problem = QStringLiteral("capget: ") + QString::fromLocal8Bit(std::strerror(errno));
        return;
    }
    m_savedEffective = data[0].effective;
    if ((data[0].effective & dropped) == 0)
        return;
    data[0].effective &= ~dropped;
    if (!setCapabilities(data)) {
        m_problem = QStringLiteral("capset: ") + QString::fromLocal8Bit(std::strerror(errno));
        return;
    }
    m_dropped = true;
}

FilePermissionsHold::~FilePermissionsHold()
{
    __user_cap_data_struct data[2] = {};
    if (m_dropped && capabilities(data)) {
        data[0].effective = m_savedEffective;
        setCapabilities(data);
    }
}
