#pragma once
// The bytes of a file that the package holds packed, as Windows unpacks it
// when it copies the file: a member of a disk's cabinet, or a file in its
// compressed form (name.sy_), which is a cabinet of one file or the older
// SZDD form. Unpacked with libmspack; a build without it says so.

#include <string>
#include <string_view>

namespace pkgcheck {

enum class UnpackResult { Unpacked, Unreadable, Failed, NotInThisBuild };

// The member of the cabinet in `cabinet` whose name is `member` (letter
// case aside, folders in the cabinet aside). `error` says why not.
UnpackResult CabinetMember(std::string_view cabinet, std::string_view member, std::string* bytes,
                           std::string* error);

// What a compressed file expands to. Bytes in neither form are taken as
// they are, as Windows copies a file that is not compressed.
UnpackResult Expand(std::string_view compressed, std::string* bytes, std::string* error);

// The bytes of the file at the host path `path` as Windows copies them:
// its member `member` when that is not empty, else what it expands to when
// `compressed`, else the file as it is. `error` says why not.
UnpackResult ReadAsCopied(const std::string& path, const std::string& member, bool compressed,
                          std::string* bytes, std::string* error);

}  // namespace pkgcheck
