#pragma once
// The few file-system calls the check needs, on POSIX hosts and on Windows.

#include <string>
#include <vector>

namespace pkgcheck {

enum class EntryType { Missing, File, Directory, Other };

EntryType TypeOf(const std::string& path);
// Names in `dir` (without "." and ".."); false when it cannot be listed.
bool ListDirectory(const std::string& dir, std::vector<std::string>* names);
// The whole file; on failure `error` says why.
bool ReadFileBytes(const std::string& path, std::string* bytes, std::string* error);
// All of standard input, as bytes.
bool ReadStandardInput(std::string* bytes, std::string* error);
std::string JoinPath(const std::string& dir, const std::string& name);

}  // namespace pkgcheck
