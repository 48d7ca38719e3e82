#include "pkgcheck/machines/DeviceFiles.h"

#include <algorithm>

#include "pkgcheck/read/Files.h"
#include "pkgcheck/read/Text.h"

namespace pkgcheck {
namespace {

// "reg export, reg query, lspci or subkey names (see pkgcheck --help)".
std::string FormatNames() {
    std::vector<std::string> names;
    for (const DeviceFormatInfo& format : DeviceFormats()) names.push_back(format.name);
    return Enumerated(names, "or") + " (see pkgcheck --help)";
}

}  // namespace

DeviceFileSet ListDeviceFiles(const std::vector<std::string>& given) {
    DeviceFileSet set;
    set.fleet = given.size() > 1;
    for (const std::string& path : given) {
        std::vector<std::string> names;
        if (path == "-" || TypeOf(path) != EntryType::Directory || !ListDirectory(path, &names)) {
            set.files.push_back(path);
            continue;
        }
        set.fleet = true;
        std::sort(names.begin(), names.end());
        const std::size_t before = set.files.size();
        for (const std::string& name : names)
            if (name.front() != '.' && TypeOf(JoinPath(path, name)) != EntryType::Directory)
                set.files.push_back(JoinPath(path, name));
        if (set.files.size() == before)
            set.errors.push_back(
                {"bad-devices", path, 0, 0, "no device files in it", Severity::Error});
    }
    return set;
}

std::string DeviceFileName(const std::string& file) {
    return file == "-" ? "standard input" : file;
}

DeviceList ReadDeviceFile(const std::string& file, int codePage) {
    std::string bytes;
    std::string error;
    const bool read =
        file == "-" ? ReadStandardInput(&bytes, &error) : ReadFileBytes(file, &bytes, &error);
    if (read) return ParseDeviceFile(std::move(bytes), codePage, DeviceFileName(file));
    DeviceList failed;
    failed.format = "unreadable";
    failed.failure = DevicesFailure::Unreadable;
    failed.error = "cannot read: " + error;
    return failed;
}

Finding DevicesError(const DeviceList& devices, const std::string& source) {
    if (devices.failure == DevicesFailure::Unreadable)
        return {"unreadable", source, 0, 0, devices.error, Severity::Error};
    std::string message = devices.format + ": " + devices.error;
    if (devices.failure == DevicesFailure::UnknownFormat)
        message += "; device files are " + FormatNames();
    return {"bad-devices", source, 0, 0, message, Severity::Error};
}

}  // namespace pkgcheck
