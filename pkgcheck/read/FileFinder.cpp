#include "pkgcheck/read/FileFinder.h"

#include <algorithm>

#include "pkgcheck/read/Text.h"

namespace pkgcheck {

Found FileFinder::Find(const std::string& dir, const std::string& shownDir,
                       const std::vector<std::string>& parts, EntryType type) {
    Found found{shownDir, dir, "", {}};
    std::size_t last = parts.size();
    while (last > 0 && (parts[last - 1].empty() || parts[last - 1] == ".")) --last;
    for (std::size_t i = 0; i < parts.size() && found.whyMissing.empty(); ++i) {
        const std::string& part = parts[i];
        if (part.empty() || part == ".") continue;
        if (part != "..") {
            Step(part, i + 1 == last ? type : EntryType::Directory, &found);
            continue;
        }
        const std::size_t cut = found.shown.rfind('\\');
        if (found.shown.empty()) {
            found.whyMissing = "the path leads out of the package";
            break;
        }
        found.shown.erase(cut == std::string::npos ? 0 : cut);
        found.path = JoinPath(found.path, "..");
    }
    return found;
}

const std::unordered_map<std::string, std::vector<std::string>>& FileFinder::Listing(
    const std::string& dir) {
    const auto known = listings_.find(dir);
    if (known != listings_.end()) return known->second;
    std::vector<std::string> names;
    ListDirectory(dir, &names);
    std::unordered_map<std::string, std::vector<std::string>>& byUpper = listings_[dir];
    byUpper.reserve(names.size());
    for (std::string& name : names) {
        std::vector<std::string>& spellings = byUpper[UpperAscii(name)];
        spellings.push_back(std::move(name));
        std::sort(spellings.begin(), spellings.end());
    }
    return byUpper;
}

// One part of the path: the spelling on disk, preferring the exact one
// where a case-sensitive file system holds several.
bool FileFinder::Step(const std::string& part, EntryType type, Found* found) {
    const std::string upper = UpperAscii(part);
    // A folder of many files is passed on the way to each.
    std::string* folder = nullptr;
    if (type == EntryType::Directory) {
        folder = &folders_[found->path + '\0' + part];
        if (!folder->empty()) {
            found->shown += (found->shown.empty() ? "" : "\\") + *folder;
            found->path = JoinPath(found->path, *folder);
            return true;
        }
    }
    const auto& listing = Listing(found->path);
    const auto spellings = listing.find(upper);
    std::vector<std::string> matches;
    if (spellings != listing.end())
        for (const std::string& n : spellings->second)
            if (TypeOf(JoinPath(found->path, n)) == type) matches.push_back(n);
    if (matches.empty()) {
        found->whyMissing = std::string(type == EntryType::File ? "no file " : "no directory ") +
                            part + " in " + found->path + ", in any letter case";
        return false;
    }
    const auto exact = std::find(matches.begin(), matches.end(), part);
    const std::string chosen = exact != matches.end() ? *exact : matches.front();
    if (matches.size() > 1 && told_.emplace(found->path, upper).second)
        found->ambiguous.push_back(matches);
    if (folder != nullptr) *folder = chosen;
    found->shown += (found->shown.empty() ? "" : "\\") + chosen;
    found->path = JoinPath(found->path, chosen);
    return true;
}

std::vector<std::string> PathParts(const std::string& path) {
    std::vector<std::string> parts(1);
    for (const char c : path) {
        if (c == '\\' || c == '/')
            parts.emplace_back();
        else
            parts.back() += c;
    }
    return parts;
}

}  // namespace pkgcheck
