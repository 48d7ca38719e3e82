#pragma once
// Files found as Windows finds them: each part of the path in any letter
// case. A directory is listed once however many files are sought in it, so
// a package of ten thousand files costs their number, not its square.

#include <set>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "pkgcheck/read/Files.h"

namespace pkgcheck {

struct Found {
    std::string shown;       // as spelled on disk, parts joined by '\'
    std::string path;        // host path to open
    std::string whyMissing;  // empty: found; else why not, in words
    // Places where a case-sensitive file system holds several names that
    // differ only in letter case: the names, sorted. Each place is told by
    // the first search that passes it.
    std::vector<std::vector<std::string>> ambiguous;
};

class FileFinder {
public:
    // `parts` below the directory `dir`, which messages call `shownDir`
    // (empty for the package itself); the last part is of `type`, the others
    // are directories. "." stays and ".." goes up; an empty part (from "a\\b"
    // or a leading backslash) is no step. Where several spellings exist the
    // exact one is taken, else the first in byte order.
    Found Find(const std::string& dir, const std::string& shownDir,
               const std::vector<std::string>& parts, EntryType type = EntryType::File);

private:
    // The names of `dir` by their upper-case form.
    const std::unordered_map<std::string, std::vector<std::string>>& Listing(
        const std::string& dir);
    bool Step(const std::string& part, EntryType type, Found* found);

    std::unordered_map<std::string, std::unordered_map<std::string, std::vector<std::string>>>
        listings_;
    std::set<std::pair<std::string, std::string>> told_;  // ambiguous places already told
    // Folders found before, by their parent's host path and the name as
    // sought: the spelling taken.
    std::unordered_map<std::string, std::string> folders_;
};

// The parts of a Windows path: split at '\' and '/'.
std::vector<std::string> PathParts(const std::string& path);

}  // namespace pkgcheck
