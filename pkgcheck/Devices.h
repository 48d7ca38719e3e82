#pragma once
// The PCI subkey names of a machine, in the order the launcher reads them.

#include <string>
#include <string_view>
#include <vector>

namespace pkgcheck {

struct DeviceList {
    std::string format;              // what the names were read from
    std::vector<std::string> names;  // in enumeration order
    // Whether the order is the registry's sort order reconstructed here
    // rather than the order a registry handed out.
    bool sortedHere = false;
    std::string error;  // non-empty: no names could be read
};

// The subkey name Windows gives a PCI function.
std::string SubkeyName(unsigned vendor, unsigned device, unsigned subsystemVendor,
                       unsigned subsystemDevice, unsigned revision);

// Sorts as the registry keeps subkeys and drops names that differ from an
// earlier one by letter case only, since the registry cannot hold both.
void SortAsRegistry(std::vector<std::string>* names);

// A `reg export` of ...\Enum\PCI, the output of `lspci -vmmn`, or subkey
// names one a line; the format is told from the content.
DeviceList ParseDeviceFile(std::string_view bytes);

// The PCI functions under a sysfs directory such as /sys/bus/pci/devices.
DeviceList ReadSysfsDevices(const std::string& root);

}  // namespace pkgcheck
