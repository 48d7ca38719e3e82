#pragma once
// The device files a check is given, each read as one machine.

#include <string>
#include <vector>

#include "pkgcheck/machines/Devices.h"
#include "pkgcheck/read/Finding.h"

namespace pkgcheck {

// The files given, "-" standing for standard input and a directory for the
// files in it (in name order; subdirectories and names starting with "."
// left out).
struct DeviceFileSet {
    std::vector<std::string> files;
    // Several files, or a directory: one row a machine instead of the
    // detailed dry run.
    bool fleet = false;
    std::vector<Finding> errors;  // a directory with no device files
};
DeviceFileSet ListDeviceFiles(const std::vector<std::string>& given);

// How the report names a device file.
std::string DeviceFileName(const std::string& file);

// A device file, or standard input for "-", read and parsed (see
// ParseDeviceFile).
DeviceList ReadDeviceFile(const std::string& file, int codePage);

// The error that tells why `devices`, named `source`, gave no names.
Finding DevicesError(const DeviceList& devices, const std::string& source);

}  // namespace pkgcheck
