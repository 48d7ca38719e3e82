// The device-file readers on any bytes, in each kind of code page: a file of
// no known format, in a broken encoding or of hostile size is refused in
// words, never read out of bounds; the names read are in the registry's
// order with no two differing only by letter case, and reading the same
// bytes again gives the same names.
//
// Input: one byte choosing the code page, then the file.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "pkgcheck/machines/DeviceFiles.h"
#include "pkgcheck/machines/Devices.h"
#include "pkgcheck/read/Text.h"
#include "tests/fuzz/FuzzCheck.h"

namespace {

using pkgcheck::DeviceList;
using pkgcheck::DevicesFailure;

// Code pages a check may be given: single-byte ones, and double-byte ones
// of both shapes of lead-byte ranges. They decide what Unicode text becomes.
constexpr int kCodePages[] = {1252, 932, 936, 1251, 949};

bool SameList(const DeviceList& a, const DeviceList& b) {
    if (a.format != b.format || a.failure != b.failure || a.error != b.error ||
        a.sortedHere != b.sortedHere || a.names.ToVector() != b.names.ToVector() ||
        a.warnings.size() != b.warnings.size())
        return false;
    for (std::size_t i = 0; i < a.warnings.size(); ++i)
        if (a.warnings[i].kind != b.warnings[i].kind || a.warnings[i].line != b.warnings[i].line ||
            a.warnings[i].message != b.warnings[i].message)
            return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const int codePage = kCodePages[data[0] % (sizeof kCodePages / sizeof kCodePages[0])];
    const std::string bytes(reinterpret_cast<const char*>(data + 1), size - 1);
    const DeviceList devices = pkgcheck::ParseDeviceFile(bytes, codePage, "fuzz.txt");
    Check(SameList(devices, pkgcheck::ParseDeviceFile(bytes, codePage, "fuzz.txt")));
    Check((devices.failure == DevicesFailure::None) == devices.error.empty());
    if (devices.failure != DevicesFailure::None) {
        Check(devices.names.empty());
        Check(!pkgcheck::DevicesError(devices, "fuzz.txt").message.empty());
        return 0;
    }
    Check(!devices.names.empty() && devices.sortedHere);
    for (std::size_t i = 0; i < devices.names.size(); ++i) {
        const std::string_view name = devices.names[i];
        Check(name.find('\n') == std::string_view::npos);
        if (i > 0) {
            const std::string_view before = devices.names[i - 1];
            Check(pkgcheck::PrecedesInRegistry(before, name));
            Check(!pkgcheck::EqualsIgnoringCase(before, name));
        }
        if (i < 4)
            Check(pkgcheck::HardwareIdsOf(name).size() == (pkgcheck::IsSubkeyName(name) ? 4u : 1u));
    }
    return 0;
}
