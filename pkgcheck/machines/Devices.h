#pragma once
// The PCI subkey names of a machine, in the order the launcher reads them.

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "pkgcheck/machines/NameList.h"
#include "pkgcheck/read/Finding.h"

namespace pkgcheck {

// Why a source of names gave none.
enum class DevicesFailure {
    None,
    Unreadable,     // the file cannot be read
    NoNames,        // the machine's own listing (sysfs, the registry) gave none
    UnknownFormat,  // not a device file of a known format
};

struct DeviceList {
    std::string format;  // what the names were read from
    NameList names;      // in enumeration order
    // Whether the order is the registry's sort order reconstructed here
    // rather than the order a registry handed out.
    bool sortedHere = false;
    DevicesFailure failure = DevicesFailure::None;
    std::string error;  // what went wrong, when `failure` is set
    std::vector<Finding> warnings;
};

// The subkey name Windows gives a PCI function.
std::string SubkeyName(unsigned vendor, unsigned device, unsigned subsystemVendor,
                       unsigned subsystemDevice, unsigned revision);

// Whether `name` has the form of every subkey name Windows gives a PCI
// function: VEN_hhhh&DEV_hhhh&SUBSYS_hhhhhhhh&REV_hh, upper-case hexadecimal.
bool IsSubkeyName(std::string_view name);

// The hardware IDs Windows gives the device of a subkey name, most specific
// first: PCI\VEN&DEV&SUBSYS&REV, PCI\VEN&DEV&SUBSYS, PCI\VEN&DEV&REV,
// PCI\VEN&DEV. A name of another form stands only for itself.
std::vector<std::string> HardwareIdsOf(std::string_view name);

// A device-file format as the usage text and the messages name it.
struct DeviceFormatInfo {
    const char* name;  // "reg export"
    const char* help;  // what it holds, or how it is made
    // Whether a name of any form is taken for a subkey name, so that only a
    // file without any is refused: a registry listing names each key as a
    // subkey of Enum\PCI, whatever its form.
    bool looseNames;
};
// The formats ParseDeviceFile reads, in the order they are told apart.
std::vector<DeviceFormatInfo> DeviceFormats();

// A device file of one of DeviceFormats(), told from the content. Text that
// is not in an ANSI code page is converted to the code page `codePage`, as
// the launcher's ANSI registry calls would see it. `file` names the file in
// the findings. The bytes are taken over and let go before the names are
// sorted.
DeviceList ParseDeviceFile(std::string bytes, int codePage, const std::string& file);

// The PCI functions under a sysfs directory such as /sys/bus/pci/devices.
DeviceList ReadSysfsDevices(const std::string& root);

}  // namespace pkgcheck
