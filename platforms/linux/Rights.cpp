#include "platforms/linux/Rights.h"

#include "platforms/linux/LinuxCalls.h"

#include <linux/capability.h>
#include <sys/auxv.h>
#include <unistd.h>

namespace zelfin::linuxos {

bool SecureExecution() {
    return ::getauxval(AT_SECURE) != 0;
}

bool HoldsRawIo() {
    SystemCalls calls;
    return ::geteuid() == 0 || calls.HasCapability(CAP_SYS_RAWIO);
}

} // namespace zelfin::linuxos
