#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Mbcs.h"

namespace launcher {

// Where the system enumerates PCI devices, one subkey a device.
constexpr const char* kPciEnumPath = "SYSTEM\\CurrentControlSet\\Enum\\PCI";
// Subkey names longer than this buffer allows are a failed read.
constexpr std::uint32_t kSubkeyNameSize = 255;

// Index of the first identifier, in table order, that occurs in the device
// name byte for byte (starting at a character boundary), or -1.
int FindMatchingId(std::string_view deviceName, const std::vector<std::string>& ids,
                   const CodePage& cp);

}  // namespace launcher
