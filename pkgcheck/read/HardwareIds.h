#pragma once
// A hardware ID's forms as strings, by the payload rules' one reading of
// them (payload/HardwareId.h).

#include <string>
#include <string_view>
#include <vector>

namespace pkgcheck {

// The forms the device of `id` goes by, most specific first, upper case:
// PCI\VEN&DEV&SUBSYS&REV, PCI\VEN&DEV&SUBSYS, PCI\VEN&DEV&REV, PCI\VEN&DEV.
// An ID of another form stands only for itself.
std::vector<std::string> HardwareIdForms(std::string_view id);

}  // namespace pkgcheck
