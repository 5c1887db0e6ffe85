// The guards of a run that belong to the machine: none yet beyond the drive holds.
#include "platforms/linux/LinuxPlatform.h"

namespace zelfin::linuxos {

void LinuxPlatform::BeginRun() {
}

void LinuxPlatform::EndRun() {
}

} // namespace zelfin::linuxos
