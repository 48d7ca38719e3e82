#pragma once
// The names of the files a cabinet (.cab) holds, read from its header and
// file entries; nothing is unpacked.

#include <string>
#include <string_view>
#include <vector>

namespace pkgcheck {

// False, with the reason in `error`, when `bytes` are no cabinet or end
// inside its file list.
bool CabinetFileNames(std::string_view bytes, std::vector<std::string>* names, std::string* error);

}  // namespace pkgcheck
