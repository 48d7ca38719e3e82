#pragma once

#include "pkgcheck/machines/Devices.h"
#include "platform/Mbcs.h"

namespace pkgcheck {

// The PCI subkey names of the running machine: the registry on Windows,
// sysfs elsewhere.
DeviceList ReadThisMachine();

// The code page the launcher would use here, with its name and number: the
// system's on Windows; 1252 on other hosts.
launcher::CodePage DefaultCodePage(std::string* name, int* number);

}  // namespace pkgcheck
