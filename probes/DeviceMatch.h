#pragma once

#include <cstdint>
#include <string_view>

#include "platform/Mbcs.h"
#include "probes/SupportedIds.h"

namespace launcher {

// Where the system enumerates PCI devices, one subkey a device.
constexpr const char* kPciEnumPath = "SYSTEM\\CurrentControlSet\\Enum\\PCI";
// Subkey names longer than this buffer allows are a failed read.
constexpr std::uint32_t kSubkeyNameSize = 255;

// Index of the first identifier, in table order, that occurs in the device
// name byte for byte (starting at a character boundary), or -1. The
// identifiers lie in `text`.
int FindMatchingId(std::string_view deviceName, const char* text, const SupportedId* ids,
                   std::size_t count, const CodePage& cp);

}  // namespace launcher
